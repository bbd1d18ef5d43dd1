#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Pulls the three fields of a filing record out of a lookup page. Pages and literals are GBK
// bytes; all matching is on bytes.
namespace lookup {

// Offset of the first occurrence of `marker` in the page that does not begin on a trail byte
// (text::cp936::IsTrailByte), searched only up to the page's first zero byte. Nothing when the page
// (up to that zero byte) or the marker is empty, or when there is no such occurrence.
std::optional<std::size_t> FindMarker(std::string_view page, std::string_view marker);

// The text strictly between the start marker and the end marker, both found by FindMarker from
// the page's start (the end marker is not searched behind the start marker). Empty when either
// is missing or the end marker does not lie behind the start marker. Nothing is trimmed.
std::string TextBetween(std::string_view page, std::string_view startMarker,
                        std::string_view endMarker);

// Capture group 1 of every non-overlapping match of the PCRE pattern over the whole page
// (zero bytes included), joined without separator. The pattern is taken up to its first zero
// byte and compiled with PCRE_NEWLINE_ANY, in 8-bit mode without UTF-8. A matching error (such
// as PCRE's match limit) ends the search quietly with what was found so far. Throws
// std::runtime_error for an empty or malformed pattern. `matchLimit` is PCRE's match limit for
// each start position; 0, what the program passes, keeps the library's default.
//
// The result is always that of RegexGroupTextPlain. For a pattern made of a literal, "(.*?)"
// and a literal (the shape of both field patterns) it is worked out line by line, in time
// linear in the page's size; any other pattern runs the plain loop.
std::string RegexGroupText(std::string_view page, const std::string& pattern,
                           unsigned long matchLimit = 0);

// The plain loop: one pcre_exec after another over the whole page, each from the end of the
// previous match. Quadratic on a long line that holds many starts of a match and no end of one;
// the reference RegexGroupText is checked against.
std::string RegexGroupTextPlain(std::string_view page, const std::string& pattern,
                                unsigned long matchLimit = 0);

}  // namespace lookup
