#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lookup {

// A lookup URL split into what the request needs.
struct HttpUrl {
    std::string host;  // without the port
    std::uint16_t port = 80;
    std::string target;  // starts with "/"

    // The Host header's value: the host, plus ":" and the port only when the port is not 80.
    std::string HostHeader() const;
    // The directory of the target's path ("/icp/" for "/icp/details.asp?..."), which cookie
    // paths are matched against.
    std::string Directory() const;
};

// Splits "http://host[:port]/target". Every "\" that is not the second byte of a double-byte
// character becomes "/" first; the first "#" after the "?" cuts the target. Throws LookupError
// for another scheme, an empty host or a bad port.
HttpUrl ParseHttpUrl(std::string_view url);

}  // namespace lookup
