#include "lookup/ByteSearch.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
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

#if defined(__x86_64__)
// One bit per offset of the 32 from `at` whose byte equals the needle's first byte and whose
// byte m - 1 further on equals its last.
__attribute__((target("avx2"))) std::uint32_t Candidates32(const char* at, std::size_t m,
                                                           __m256i first, __m256i last) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + m - 1));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
}

// Find's candidate filter 64 bytes at a time with AVX2, for processors that have it (nearly all
// x86-64 ones made since 2013). A page that holds the needle's first byte often, as the lookup
// pages hold "<", is scanned several times faster than 16 bytes at a time. Returns the offset
// found or kNone, and leaves `i` where the caller's narrower loops go on.
__attribute__((target("avx2"))) std::size_t FindAvx2(const char* h, std::size_t last,
                                                     std::string_view needle, std::size_t& i) {
    const std::size_t m = needle.size();
    const __m256i first = _mm256_set1_epi8(needle[0]);
    const __m256i lastByte = _mm256_set1_epi8(needle[m - 1]);
    for (; i <= last && last - i >= 63; i += 64) {
        const std::uint64_t mask =
            Candidates32(h + i, m, first, lastByte) |
            (static_cast<std::uint64_t>(Candidates32(h + i + 32, m, first, lastByte)) << 32);
        for (std::uint64_t rest = mask; rest != 0; rest &= rest - 1) {
            const auto j = static_cast<std::size_t>(__builtin_ctzll(rest));
            if (std::memcmp(h + i + j + 1, needle.data() + 1, m - 2) == 0) {
                return i + j;
            }
        }
    }
    return kNone;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

Path Widest() {
#if defined(__x86_64__)
    if (HasAvx2()) {
        return Path::Avx2;
    }
#endif
#if defined(__SSE2__)
    return Path::Sse2;
#else
    return Path::Plain;
#endif
}

}  // namespace

bool Has(Path path) {
    switch (path) {
        case Path::Avx2:
#if defined(__x86_64__)
            return HasAvx2();
#else
            return false;
#endif
        case Path::Sse2:
#if defined(__SSE2__)
            return true;
#else
            return false;
#endif
        case Path::Plain:
            return true;
    }
    return false;
}

std::size_t Find(std::string_view text, std::string_view needle, std::size_t from) {
    return Find(Widest(), text, needle, from);
}

std::size_t Find([[maybe_unused]] Path path, std::string_view text, std::string_view needle,
                 std::size_t from) {
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
#if defined(__x86_64__)
    if (path == Path::Avx2 && HasAvx2()) {
        if (const std::size_t at = FindAvx2(h, last, needle, i); at != kNone) {
            return at;
        }
    }
#endif
#if defined(__SSE2__)
    // Candidates are the offsets whose byte equals the needle's first byte and whose byte m - 1
    // further on equals its last; only those are compared in full.
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i lastByte = _mm_set1_epi8(needle[m - 1]);
    for (; path != Path::Plain && i <= last && last - i >= 15; i += 16) {
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
    return FindNewline(Widest(), text, from, to);
}

std::size_t FindNewline([[maybe_unused]] Path path, std::string_view text, std::size_t from,
                        std::size_t to) {
    const char* h = text.data();
    std::size_t i = from;
#if defined(__SSE2__)
    for (; path != Path::Plain && i < to && to - i >= 16; i += 16) {
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
    return FindLastNewline(Widest(), text, from, to);
}

std::size_t FindLastNewline([[maybe_unused]] Path path, std::string_view text, std::size_t from,
                            std::size_t to) {
    const char* h = text.data();
    std::size_t i = to;  // bytes [from, i) are still to look at
#if defined(__SSE2__)
    for (; path != Path::Plain && i > from && i - from >= 16; i -= 16) {
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
