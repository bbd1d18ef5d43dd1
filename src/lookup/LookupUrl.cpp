#include "lookup/LookupUrl.h"

namespace lookup {

const std::string& LookupBaseUrl() {
    static const std::string url =
        std::string("http://") + CY_LOOKUP_HOST + "/icp/details.asp?CertType=0&Domain=";
    return url;
}

std::string_view TrimDomain(std::string_view domain) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!domain.empty() && blank(domain.front())) {
        domain.remove_prefix(1);
    }
    while (!domain.empty() && blank(domain.back())) {
        domain.remove_suffix(1);
    }
    return domain;
}

std::string LookupUrl(std::string_view domain, std::string_view baseUrl) {
    std::string url(baseUrl);
    url.append(TrimDomain(domain));
    return url;
}

}  // namespace lookup
