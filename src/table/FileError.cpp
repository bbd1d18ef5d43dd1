#include "table/FileError.h"

#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace table {

namespace {

std::string Compose(FileError::Action action, std::string_view path, std::string_view reason) {
    std::string text =
        action == FileError::Action::Open ? "Cannot open file \"" : "Cannot create file \"";
    text.append(path);
    text.append("\". ");
    text.append(reason);
    return text;
}

// One iconv conversion descriptor, closed with its owner.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of in as possible, appending to out; returns false at the first byte
    // that cannot be converted (in then starts at that byte) or at an incomplete character
    // at the end.
    bool Convert(std::string_view& in, std::string& out) {
        char buffer[256];
        while (!in.empty()) {
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            in.remove_prefix(in.size() - srcLeft);
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
                return false;
            }
        }
        return true;
    }

private:
    iconv_t cd_;
};

// Code points as UTF-32 in this machine's byte order.
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

}  // namespace

std::string LocaleTextToGbk(std::string_view text, const char* codeset) {
    Converter decode(kUtf32, codeset);
    Converter encode("CP936", kUtf32);
    std::string gbk;
    if (!decode.ok() || !encode.ok()) {
        for (const char c : text)
            gbk.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return gbk;
    }
    // Decode to code points first, a bad byte becoming '?', so that each character that GBK
    // cannot hold is known by its own four bytes and replaced on its own.
    std::string utf32;
    const char32_t question = U'?';
    while (!decode.Convert(text, utf32)) {
        utf32.append(reinterpret_cast<const char*>(&question), sizeof question);
        text.remove_prefix(1);
    }
    for (std::size_t i = 0; i + sizeof(char32_t) <= utf32.size(); i += sizeof(char32_t)) {
        std::string_view one(utf32.data() + i, sizeof(char32_t));
        if (!encode.Convert(one, gbk))
            gbk.push_back('?');
    }
    return gbk;
}

FileError::FileError(Action action, std::string fullPath, std::string reason)
    : std::runtime_error(Compose(action, fullPath, reason)),
      action_(action),
      fullPath_(std::move(fullPath)),
      reason_(std::move(reason)) {}

std::string FileError::MessageFor(std::string_view shownPath) const {
    return Compose(action_, shownPath, reason_);
}

StreamWriteError::StreamWriteError() : std::runtime_error("Stream write error") {}

std::string SystemErrorText(int err) {
    // std::generic_category gives strerror's text without its thread-safety trouble.
    std::string text = LocaleTextToGbk(std::error_code(err, std::generic_category()).message(),
                                       nl_langinfo(CODESET));
    // Safe on GBK bytes: a double-byte character's second byte is never below 0x40.
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.back());
        if (c == ' ' || c == '.' || c < 0x20 || c == 0x7F) {
            text.pop_back();
        } else {
            break;
        }
    }
    return text;
}

std::string FullPathOf(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(name, ec);
    return ec || name.empty() ? name : full.string();
}

}  // namespace table
