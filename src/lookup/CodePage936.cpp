#include "lookup/CodePage936.h"

#include <iconv.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

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

std::string RoundTripTwoPass(std::string_view gbk) {
    return FromUtf16(ToUtf16(gbk));
}

namespace {

// The length of the run of bytes below 0x80 at the start of p[0, n).
std::size_t AsciiRun(const unsigned char* p, std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; n - k >= 16; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        if (const int high = _mm_movemask_epi8(v); high != 0) {
            return k + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
        }
    }
#endif
    while (k < n && p[k] < 0x80) {
        ++k;
    }
    return k;
}

// What GBK -> UTF-16 -> GBK makes of each character, worked out once through the two
// conversions themselves, so that RoundTrip writes each character's result directly: a bit per
// lead byte and second byte for the pairs that come back as themselves (4 KB, nearly all valid
// pairs and the user-defined areas), the result of each single byte, and the rare pair that
// comes back as another one.
class RoundTripTable {
public:
    RoundTripTable() {
        for (int b = 0; b <= 0xFF; ++b) {
            if (IsLeadByte(static_cast<unsigned char>(b))) {
                continue;
            }
            const char c = static_cast<char>(b);
            const std::string back = RoundTripTwoPass(std::string_view(&c, 1));
            single_[b] = back.size() == 1 ? back[0] : '?';
            if (b < 0x80 && single_[b] != c) {
                // Apply copies runs of such bytes as they are.
                throw std::runtime_error("Code page conversion changes ASCII");
            }
        }
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const auto l = static_cast<unsigned char>(lead);
                const auto t = static_cast<unsigned char>(trail);
                if (!IsTrailRange(t)) {
                    continue;  // ToUtf16 replaces the lead byte alone
                }
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const std::string back = IsUserDefined(l, t)
                                             ? std::string(pair, 2)
                                             : RoundTripTwoPass(std::string_view(pair, 2));
                const std::size_t index = Index(l, t);
                if (back == std::string_view(pair, 2)) {
                    keep_[index / 64] |= std::uint64_t{1} << (index % 64);
                } else if (back != "?") {
                    // Not seen with the system's tables; kept so that the result stays exact
                    // should a converter do so. At most two bytes, as the pair.
                    other_.emplace(index, back.substr(0, 2));
                }
            }
        }
    }

    // Converts text[0, n) in place (the result is never longer, so each result is written at
    // or before where its input was read); returns the result's length.
    std::size_t Apply(char* text, std::size_t n) const {
        const auto* in = reinterpret_cast<const unsigned char*>(text);
        std::size_t i = 0, o = 0;
        while (i < n) {
            // Chinese text: four double-byte characters at a time when all eight bytes are at
            // 0x80 or above and each pair comes back as itself (a lead byte's row in the table
            // is empty for 0x80 and 0xFF, which are no lead bytes).
            if (n - i >= 8) {
                std::uint64_t eight;
                std::memcpy(&eight, in + i, 8);
                constexpr std::uint64_t kHighBits = 0x8080808080808080;
                if ((eight & kHighBits) == kHighBits && KeepsFour(in + i)) {
                    std::memcpy(text + o, &eight, 8);
                    i += 8;
                    o += 8;
                    continue;
                }
            }
            const unsigned char b = in[i];
            if (b < 0x80) {
                const std::size_t run = AsciiRun(in + i, n - i);
                if (o != i) {
                    std::memmove(text + o, text + i, run);
                }
                i += run;
                o += run;
            } else if (!IsLeadByte(b)) {
                text[o++] = single_[b];
                ++i;
            } else if (i + 1 == n) {
                text[o++] = '?';  // a lead byte cut off at the end
                ++i;
            } else if (const unsigned char t = in[i + 1]; Keeps(b, t)) {
                text[o] = static_cast<char>(b);
                text[o + 1] = static_cast<char>(t);
                o += 2;
                i += 2;
            } else if (!IsTrailRange(t)) {
                text[o++] = '?';  // the lead byte alone; the next byte starts afresh
                ++i;
            } else {
                const auto other = other_.find(Index(b, t));
                if (other == other_.end()) {
                    text[o++] = '?';
                } else {
                    for (const char c : other->second) {
                        text[o++] = c;
                    }
                }
                i += 2;
            }
        }
        return o;
    }

private:
    // A row of 256 per byte from 0x80 to 0xFF.
    static std::size_t Index(unsigned char lead, unsigned char trail) {
        return static_cast<std::size_t>(lead - 0x80) * 256 + trail;
    }
    std::uint64_t Bit(unsigned char lead, unsigned char trail) const {
        const std::size_t index = Index(lead, trail);
        return (keep_[index / 64] >> (index % 64)) & 1;
    }
    bool Keeps(unsigned char lead, unsigned char trail) const { return Bit(lead, trail) != 0; }
    // Whether the four pairs at p all come back as themselves: one test, not four branches.
    bool KeepsFour(const unsigned char* p) const {
        return (Bit(p[0], p[1]) & Bit(p[2], p[3]) & Bit(p[4], p[5]) & Bit(p[6], p[7])) != 0;
    }

    std::array<char, 256> single_{};
    std::array<std::uint64_t, 128 * 256 / 64> keep_{};
    std::map<std::size_t, std::string> other_;
};

const RoundTripTable& Table() {
    static const RoundTripTable table;
    return table;
}

}  // namespace

std::string RoundTrip(std::string gbk) {
    gbk.resize(Table().Apply(gbk.data(), gbk.size()));
    return gbk;
}

}  // namespace lookup::cp936
