#pragma once

#include <cstddef>
#include <string_view>

// Byte searches over pages that may be tens of megabytes: a substring search and the newline
// bytes of PCRE's any-newline rule, each a single forward (or backward) scan, 16 bytes at a time
// where the processor has SSE2 (the substring search 64 at a time where it has AVX2).
namespace lookup::bytes {

inline constexpr std::size_t kNone = std::string_view::npos;

// The loops a search can take. The functions without a Path take the widest this processor
// has; the others take the one named, so each can be checked on its own. A path this build or
// processor lacks runs the next narrower one, and the newline searches have no AVX2 loop.
enum class Path { Avx2, Sse2, Plain };

// Whether this build and this processor run `path` as named.
bool Has(Path path);

// The newline bytes of PCRE_NEWLINE_ANY in 8-bit mode without UTF-8: LF, VT, FF, CR and 0x85.
// PCRE's "." matches none of them.
constexpr bool IsAnyNewline(unsigned char b) {
    return (b >= 0x0A && b <= 0x0D) || b == 0x85;
}

// Offset of the first occurrence of `needle` in `text` that begins at or after `from`; kNone
// when there is none. An empty needle is found at `from` (when from <= text.size()). Zero
// bytes are ordinary bytes. Cost: linear in the bytes scanned times at most the needle's size.
std::size_t Find(std::string_view text, std::string_view needle, std::size_t from = 0);
std::size_t Find(Path path, std::string_view text, std::string_view needle, std::size_t from);

// First offset in [from, to) whose byte is a newline byte; `to` when there is none.
std::size_t FindNewline(std::string_view text, std::size_t from, std::size_t to);
std::size_t FindNewline(Path path, std::string_view text, std::size_t from, std::size_t to);

// Last offset in [from, to) whose byte is a newline byte; kNone when there is none.
std::size_t FindLastNewline(std::string_view text, std::size_t from, std::size_t to);
std::size_t FindLastNewline(Path path, std::string_view text, std::size_t from, std::size_t to);

}  // namespace lookup::bytes
