#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/CodePage936.h"

namespace cytest {

// The batch worker's round trip written the plain way: the two conversions through UTF-16,
// except that a character of the user-defined areas comes back unchanged (the system's
// converter rejects those). The text is cut into characters as ToUtf16 cuts it (a lead byte with
// a byte of the trail range is one, any other byte is one), and the runs between user-defined
// characters go through the two conversions. A reference for text::cp936::RoundTrip.
inline std::string ReferenceRoundTrip(std::string_view text) {
    namespace cp936 = text::cp936;
    std::string out;
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (!cp936::IsLeadByte(lead) || i + 1 == text.size()) {
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        if (cp936::IsUserDefined(lead, trail)) {
            out += cp936::RoundTripTwoPass(text.substr(run, i - run));
            out.append(text.substr(i, 2));
            run = i + 2;
        }
        i += trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
    }
    return out + cp936::RoundTripTwoPass(text.substr(run));
}

}  // namespace cytest
