#include "lookup/ByteSearch.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lookup::bytes {

namespace {

#if defined(__SSE2__)
__m128i Load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// One bit per byte of the 16 at p that is a newline byte.
unsigned NewlineMask(const char* p) {
    const __m128i v = Load(p);
    // (v - 0x0A) <= 3, unsigned: LF, VT, FF, CR.
    const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(0x0A));
    const __m128i inRange = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(3)), shifted);
    const __m128i nel = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x85)));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(inRange, nel)));
}
#endif

bool IsNewlineAt(const char* p) {
    return IsAnyNewline(static_cast<unsigned char>(*p));
}

}  // namespace

std::size_t Find(std::string_view text, std::string_view needle, std::size_t from) {
    const std::size_t n = text.size();
    const std::size_t m = needle.size();
    if (from > n) {
        return kNone;
    }
    if (m == 0) {
        return from;
    }
    if (m > n - from) {
        return kNone;
    }
    const char* h = text.data();
    if (m == 1) {
        const void* p = std::memchr(h + from, needle[0], n - from);
        return p == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(p) - h);
    }
    const std::size_t last = n - m;  // the last offset at which the needle fits
    std::size_t i = from;
#if defined(__SSE2__)
    // Candidates are the offsets whose byte equals the needle's first byte and whose byte m - 1
    // further on equals its last; only those are compared in full.
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i lastByte = _mm_set1_epi8(needle[m - 1]);
    for (; i <= last && last - i >= 15; i += 16) {
        const __m128i a = _mm_cmpeq_epi8(Load(h + i), first);
        const __m128i b = _mm_cmpeq_epi8(Load(h + i + m - 1), lastByte);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(a, b)));
        while (mask != 0) {
            const unsigned j = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(h + i + j + 1, needle.data() + 1, m - 2) == 0) {
                return i + j;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (h[i] == needle[0] && std::memcmp(h + i, needle.data(), m) == 0) {
            return i;
        }
    }
    return kNone;
}

std::size_t FindNewline(std::string_view text, std::size_t from, std::size_t to) {
    const char* h = text.data();
    std::size_t i = from;
#if defined(__SSE2__)
    for (; i < to && to - i >= 16; i += 16) {
        const unsigned mask = NewlineMask(h + i);
        if (mask != 0) {
            return i + static_cast<unsigned>(__builtin_ctz(mask));
        }
    }
#endif
    for (; i < to; ++i) {
        if (IsNewlineAt(h + i)) {
            return i;
        }
    }
    return to;
}

std::size_t FindLastNewline(std::string_view text, std::size_t from, std::size_t to) {
    const char* h = text.data();
    std::size_t i = to;  // bytes [from, i) are still to look at
#if defined(__SSE2__)
    for (; i > from && i - from >= 16; i -= 16) {
        const unsigned mask = NewlineMask(h + i - 16);
        if (mask != 0) {
            return i - 16 + static_cast<unsigned>(31 - __builtin_clz(mask));
        }
    }
#endif
    for (; i > from; --i) {
        if (IsNewlineAt(h + i - 1)) {
            return i - 1;
        }
    }
    return kNone;
}

}  // namespace lookup::bytes
