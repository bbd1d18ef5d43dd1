#include "text/Converter.h"

#include <cerrno>
#include <stdexcept>

namespace text {

Converter::Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("Code page conversion unavailable: ") + from + " -> " +
                                 to);
    }
}

Converter::~Converter() {
    iconv_close(cd_);
}

bool Converter::Convert(std::string_view& in, std::string& out) {
    char buffer[4096];
    while (!in.empty()) {
        // iconv takes a non-const input pointer but never writes through it.
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        in.remove_prefix(in.size() - srcLeft);
        if (rc == static_cast<std::size_t>(-1) && err != E2BIG) {
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
            return false;
        }
    }
    return true;
}

}  // namespace text
