#include "lookup/HttpUrl.h"

#include <algorithm>

#include "lookup/LookupError.h"
#include "text/AsciiText.h"
#include "text/CodePage936.h"

namespace lookup {

namespace {

constexpr std::string_view kScheme = "http://";

}  // namespace

std::string HttpUrl::HostHeader() const {
    return port == 80 ? host : host + ":" + std::to_string(port);
}

std::string HttpUrl::Directory() const {
    const std::string_view path = std::string_view(target).substr(0, target.find('?'));
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? "/" : path.substr(0, slash + 1));
}

HttpUrl ParseHttpUrl(std::string_view url) {
    std::string text(url);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && !text::cp936::IsTrailByte(url, i)) {
            text[i] = '/';
        }
    }
    if (!text::StartsWithNoCase(text, kScheme)) {
        throw LookupError("Unsupported URL: " + std::string(url));
    }
    const std::size_t hostStart = kScheme.size();
    const std::size_t slash = text.find('/', hostStart);
    std::string authority = text.substr(hostStart, slash - hostStart);

    HttpUrl parts;
    parts.target = slash == std::string::npos ? "/" : text.substr(slash);
    const std::size_t query = parts.target.find('?');
    if (query != std::string::npos) {
        const std::size_t hash = parts.target.find('#', query);
        if (hash != std::string::npos) {
            parts.target.resize(hash);
        }
    }

    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        unsigned long port = 0;
        const bool ok = !digits.empty() && digits.size() <= 5 &&
                        std::all_of(digits.begin(), digits.end(),
                                    [](char c) { return c >= '0' && c <= '9'; }) &&
                        (port = std::stoul(digits)) >= 1 && port <= 65535;
        if (!ok) {
            throw LookupError("Invalid port in URL: " + std::string(url));
        }
        parts.port = static_cast<std::uint16_t>(port);
        authority.resize(colon);
    }
    if (authority.empty()) {
        throw LookupError("No host in URL: " + std::string(url));
    }
    parts.host = std::move(authority);
    return parts;
}

}  // namespace lookup
