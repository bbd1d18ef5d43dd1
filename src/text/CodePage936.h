#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Code page 936 (GBK): the one code page of every text the program handles. The core keeps
// text as GBK bytes; these helpers convert at the edges (the screen, typed text) and give the
// batch worker its round trip through UTF-16.
namespace text::cp936 {

// 0x81..0xFE begin a double-byte character.
constexpr bool IsLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// True when the byte at offset i is the second byte of a double-byte character: the number of
// lead-range bytes immediately before i (walking back to the first byte outside the range or
// to the start) is odd. The byte at offset 0 is never a trail byte.
bool IsTrailByte(std::string_view text, std::size_t i);

// The length of the longest start of text, at most limit bytes, that does not split a
// double-byte character: where a text is cut to a byte limit.
std::size_t WholeCharactersWithin(std::string_view text, std::size_t limit);

// GBK -> UTF-16. A byte sequence that is not valid GBK becomes '?' (one per bad sequence).
std::u16string ToUtf16(std::string_view gbk);

// UTF-16 -> GBK. A character that GBK cannot hold (or a lone surrogate) becomes '?'.
std::string FromUtf16(std::u16string_view utf16);

// text, in character set codeset (an iconv name such as "UTF-8" or "GB18030"), converted to
// GBK: how a message of the system (strerror and the like, in the locale's character set)
// joins one of ours. A character GBK cannot hold, and a byte that does not begin a valid
// character of codeset, becomes '?'. An unknown codeset keeps ASCII bytes and turns every other
// byte into '?'.
std::string LocaleTextToGbk(std::string_view text, const char* codeset);

// The three user-defined areas of code page 936: lead bytes AA..AF and F8..FE with trail bytes
// A1..FE, and lead bytes A1..A7 with trail bytes 40..A0 (7F excepted). Their characters are
// valid (the private use area U+E000 onward), though the system's converter rejects them.
constexpr bool IsUserDefined(unsigned char lead, unsigned char trail) {
    if ((lead >= 0xAA && lead <= 0xAF) || lead >= 0xF8) {
        return lead <= 0xFE && trail >= 0xA1 && trail <= 0xFE;
    }
    return lead >= 0xA1 && lead <= 0xA7 && trail >= 0x40 && trail <= 0xA0 && trail != 0x7F;
}

// The batch worker's page conversion, GBK -> UTF-16 -> GBK, in one pass over the text with
// tables worked out once: valid GBK (the user-defined areas included) comes back byte for
// byte, anything else as '?' (one per bad sequence, as ToUtf16 counts them). The result is
// never longer than the text. Converts the string it is given in place: pass an rvalue (the
// page just fetched) and nothing is copied or allocated.
std::string RoundTrip(std::string gbk);

// The same conversion through ToUtf16 and FromUtf16, where the user-defined areas come back as
// '?': the reference RoundTrip is checked against.
std::string RoundTripTwoPass(std::string_view gbk);

}  // namespace text::cp936
