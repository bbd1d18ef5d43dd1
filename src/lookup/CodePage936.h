#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Code page 936 (GBK): the one code page of every text the program handles. The core keeps
// text as GBK bytes; these helpers convert at the edges (the screen, typed text) and give the
// batch worker its round trip through UTF-16.
namespace lookup::cp936 {

// 0x81..0xFE begin a double-byte character.
constexpr bool IsLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// True when the byte at offset i is the second byte of a double-byte character: the number of
// lead-range bytes immediately before i (walking back to the first byte outside the range or
// to the start) is odd. The byte at offset 0 is never a trail byte.
bool IsTrailByte(std::string_view text, std::size_t i);

// GBK -> UTF-16. A byte sequence that is not valid GBK becomes '?' (one per bad sequence).
std::u16string ToUtf16(std::string_view gbk);

// UTF-16 -> GBK. A character that GBK cannot hold (or a lone surrogate) becomes '?'.
std::string FromUtf16(std::u16string_view utf16);

// The batch worker's page conversion: GBK -> UTF-16 -> GBK. Valid GBK comes back byte for
// byte; invalid sequences come back as '?'.
std::string RoundTrip(std::string_view gbk);

}  // namespace lookup::cp936
