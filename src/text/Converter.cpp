#include "text/Converter.h"

#include <cerrno>
#include <mutex>
#include <stdexcept>

namespace text {

namespace {

// Opening and closing descriptors on several threads makes glibc load and unload its code page
// modules (dlopen, dlclose) concurrently. The loader orders them with a lock inside ld.so that
// ThreadSanitizer cannot see, so it reports the module's memory as raced; one lock of ours
// around open and close makes that order visible. Conversions themselves run unlocked.
std::mutex& OpenCloseMutex() {
    static std::mutex m;
    return m;
}

iconv_t Open(const char* to, const char* from) {
    const std::lock_guard lock(OpenCloseMutex());
    return iconv_open(to, from);
}

}  // namespace

Converter::Converter(const char* to, const char* from) : cd_(Open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error(std::string("Code page conversion unavailable: ") + from + " -> " +
                                 to);
    }
}

Converter::~Converter() {
    const std::lock_guard lock(OpenCloseMutex());
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
