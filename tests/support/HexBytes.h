#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace cytest {

// Bytes written as hexadecimal pairs, spaces ignored: Hex("D6 D0") is the GBK text of 中.
// Lets a test state expected GBK bytes independently of the literals in the code.
inline std::string Hex(std::string_view hex) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        throw std::invalid_argument("not a hex digit");
    };
    std::string out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ')
            continue;
        const int n = nibble(c);
        if (high < 0) {
            high = n;
        } else {
            out.push_back(static_cast<char>(high * 16 + n));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return out;
}

}  // namespace cytest
