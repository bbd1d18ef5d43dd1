#include "lookup/CodePage936.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <vector>

namespace lookup::cp936 {

namespace {

// One iconv conversion descriptor, closed when it goes out of scope.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("Code page conversion unavailable: ") + from +
                                     " -> " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; returns false at an invalid or incomplete sequence, with
    // in/inLeft pointing at it. Output grows as needed.
    bool Run(const char*& in, std::size_t& inLeft, std::string& out) {
        while (inLeft > 0) {
            char buf[4096];
            char* outPtr = buf;
            std::size_t outLeft = sizeof buf;
            char* inPtr = const_cast<char*>(in);
            const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int err = errno;
            in = inPtr;
            out.append(buf, static_cast<std::size_t>(outPtr - buf));
            if (rc != static_cast<std::size_t>(-1)) {
                continue;
            }
            if (err == E2BIG) {
                continue;
            }
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
            return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

bool IsTrailRange(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The UTF-16 unit stored little-endian at p.
char16_t UnitAt(const char* p) {
    return static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                 (static_cast<unsigned char>(p[1]) << 8));
}

}  // namespace

bool IsTrailByte(std::string_view text, std::size_t i) {
    if (i == 0 || i >= text.size()) {
        return false;
    }
    std::size_t count = 0;
    for (std::size_t j = i; j > 0 && IsLeadByte(static_cast<unsigned char>(text[j - 1])); --j) {
        ++count;
    }
    return count % 2 == 1;
}

std::u16string ToUtf16(std::string_view gbk) {
    Converter conv("UTF-16LE", "CP936");
    std::string bytes;
    bytes.reserve(gbk.size() * 2);
    const char* in = gbk.data();
    std::size_t left = gbk.size();
    while (!conv.Run(in, left, bytes)) {
        // A lead byte with a byte of the trail range is one unmapped character; anything else
        // is one bad byte. Either becomes one '?'.
        const auto lead = static_cast<unsigned char>(in[0]);
        const std::size_t skip =
            (IsLeadByte(lead) && left >= 2 && IsTrailRange(static_cast<unsigned char>(in[1]))) ? 2
                                                                                               : 1;
        bytes.append("?\0", 2);
        in += skip;
        left -= skip;
    }
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t k = 0; k < out.size(); ++k) {
        out[k] = UnitAt(&bytes[2 * k]);
    }
    return out;
}

std::string FromUtf16(std::u16string_view utf16) {
    std::string le;
    le.reserve(utf16.size() * 2);
    for (char16_t c : utf16) {
        le.push_back(static_cast<char>(c & 0xFF));
        le.push_back(static_cast<char>(c >> 8));
    }
    Converter conv("CP936", "UTF-16LE");
    std::string out;
    out.reserve(utf16.size() * 2);
    const char* in = le.data();
    std::size_t left = le.size();
    while (!conv.Run(in, left, out)) {
        // An unmappable character (or a lone surrogate) becomes '?'; skip its UTF-16 unit(s).
        const char16_t unit = UnitAt(in);
        std::size_t skip = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
            const char16_t next = UnitAt(in + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 4;
            }
        }
        out.push_back('?');
        in += std::min(skip, left);
        left -= std::min(skip, left);
    }
    return out;
}

namespace {

// Which characters come back from GBK -> UTF-16 -> GBK as the very same bytes: every byte below
// 0x80, and (worked out once, through iconv itself) each single byte of 0x80..0xFF and each
// lead-byte pair that does. Lets RoundTrip skip both conversions for a page made only of such
// characters, which is nearly every page, with the same result.
class StableCharacters {
public:
    StableCharacters() {
        Converter decode("UTF-16LE", "CP936");
        Converter encode("CP936", "UTF-16LE");
        auto sameAfterRoundTrip = [&](std::string_view bytes) {
            std::string utf16, back;
            const char* in = bytes.data();
            std::size_t left = bytes.size();
            if (!decode.Run(in, left, utf16) || utf16.empty()) {
                return false;
            }
            in = utf16.data();
            left = utf16.size();
            return encode.Run(in, left, back) && back == bytes;
        };
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char c = static_cast<char>(b);
            single_[b] = !IsLeadByte(static_cast<unsigned char>(b)) &&
                         sameAfterRoundTrip(std::string_view(&c, 1));
        }
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                pair_[lead * 256 + trail] = trail != 0x7F && sameAfterRoundTrip({pair, 2});
            }
        }
    }

    // True when every character of text comes back unchanged.
    bool AllStable(std::string_view text) const {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        for (std::size_t i = 0; i < n;) {
            const unsigned char b = p[i];
            if (b < 0x80) {
                ++i;
            } else if (IsLeadByte(b)) {
                if (i + 1 >= n || !pair_[b * 256 + p[i + 1]]) {
                    return false;
                }
                i += 2;
            } else if (single_[b]) {
                ++i;
            } else {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<bool> pair_ = std::vector<bool>(65536, false);
    std::array<bool, 256> single_{};
};

}  // namespace

std::string RoundTrip(std::string_view gbk) {
    static const StableCharacters stable;
    if (stable.AllStable(gbk)) {
        return std::string(gbk);
    }
    return FromUtf16(ToUtf16(gbk));
}

}  // namespace lookup::cp936
