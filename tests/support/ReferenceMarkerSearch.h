#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/CodePage936.h"

namespace cytest {

// The marker search written the plain way: every occurrence in the text before the first zero
// byte, in order, asking the trail-byte test (which walks back) of each. Slow on pages dense in
// lead bytes; a reference for lookup::FindMarker.
inline std::optional<std::size_t> ReferenceFindMarker(std::string_view page,
                                                      std::string_view marker) {
    const std::string_view text = page.substr(0, page.find('\0'));
    if (text.empty() || marker.empty())
        return std::nullopt;
    for (std::size_t at = text.find(marker); at != text.npos; at = text.find(marker, at + 1)) {
        if (!text::cp936::IsTrailByte(text, at))
            return at;
    }
    return std::nullopt;
}

}  // namespace cytest
