#pragma once

#include <string>
#include <string_view>

// Pulls the three fields of a filing record out of a lookup page. Pages and literals are GBK
// bytes; all matching is on bytes.
namespace lookup {

// The text strictly between the first start marker that does not begin on a trail byte and
// the first such end marker, both searched from the page's start and only up to its first zero
// byte. Empty when either is missing or the end marker does not lie behind the start marker.
std::string TextBetween(std::string_view page, std::string_view startMarker,
                        std::string_view endMarker);

// Capture group 1 of every non-overlapping match of the PCRE pattern over the whole page
// (zero bytes included), joined without separator. Throws std::runtime_error for an empty or
// malformed pattern.
std::string RegexGroupText(std::string_view page, const std::string& pattern);

}  // namespace lookup
