#include "text/CodePage936.h"

#include "text/Converter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace text::cp936 {

namespace {

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

std::size_t WholeCharactersWithin(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    // The byte at limit is cut off; when it is a character's second byte, so is its first.
    return IsTrailByte(text, limit) ? limit - 1 : limit;
}

std::u16string ToUtf16(std::string_view gbk) {
    Converter conv("UTF-16LE", "CP936");
    std::string bytes;
    bytes.reserve(gbk.size() * 2);
    std::string_view in = gbk;
    while (!conv.Convert(in, bytes)) {
        // A lead byte with a byte of the trail range is one unmapped character; anything else
        // is one bad byte. Either becomes one '?'.
        const auto lead = static_cast<unsigned char>(in[0]);
        const std::size_t skip =
            (IsLeadByte(lead) && in.size() >= 2 && IsTrailRange(static_cast<unsigned char>(in[1])))
                ? 2
                : 1;
        bytes.append("?\0", 2);
        in.remove_prefix(skip);
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
    std::string_view in = le;
    while (!conv.Convert(in, out)) {
        // An unmappable character (or a lone surrogate) becomes '?'; skip its UTF-16 unit(s).
        const char16_t unit = UnitAt(in.data());
        std::size_t skip = 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && in.size() >= 4) {
            const char16_t next = UnitAt(in.data() + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                skip = 4;
            }
        }
        out.push_back('?');
        in.remove_prefix(std::min(skip, in.size()));
    }
    return out;
}

namespace {

// Code points as UTF-32 in this machine's byte order.
constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

}  // namespace

std::string LocaleTextToGbk(std::string_view text, const char* codeset) {
    std::optional<Converter> decode;
    try {
        decode.emplace(kUtf32, codeset);
    } catch (const std::runtime_error&) {
        std::string gbk;
        for (const char c : text) {
            gbk.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        }
        return gbk;
    }
    Converter encode("CP936", kUtf32);
    // Decode to code points first, a bad byte becoming '?', so that each character that GBK
    // cannot hold is known by its own four bytes and replaced on its own.
    std::string utf32;
    const char32_t question = U'?';
    while (!decode->Convert(text, utf32)) {
        utf32.append(reinterpret_cast<const char*>(&question), sizeof question);
        text.remove_prefix(1);
    }
    std::string gbk;
    for (std::size_t i = 0; i + sizeof(char32_t) <= utf32.size(); i += sizeof(char32_t)) {
        std::string_view one(utf32.data() + i, sizeof(char32_t));
        if (!encode.Convert(one, gbk)) {
            gbk.push_back('?');
        }
    }
    return gbk;
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

}  // namespace text::cp936
