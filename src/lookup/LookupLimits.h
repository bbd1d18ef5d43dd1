#pragma once

#include <chrono>
#include <cstddef>

namespace lookup {

// Every bound the lookup client puts on the network and on what a response may make it hold.
// The defaults are the program's; tests shorten the time limits.
struct LookupLimits {
    // Resolving the host and connecting, together.
    std::chrono::milliseconds connect{std::chrono::seconds(10)};
    // A write or read that makes no progress for this long fails the lookup.
    std::chrono::milliseconds stall{std::chrono::seconds(30)};
    // Each piece of a failure response's body (the error page) is waited for at most this long.
    std::chrono::milliseconds failureBodyPiece{2000};
    // Writing the request and reading the whole response, together. Without it a service that
    // trickles a byte now and then, never stalling long, would hold the client (and every
    // lookup waiting for it) for as long as it liked.
    std::chrono::milliseconds exchange{std::chrono::minutes(2)};

    // A status, header or chunk-size line may hold at most this many bytes before its LF.
    std::size_t maxLine = 16384;
    // All header blocks of one response together (100 blocks included).
    std::size_t maxHeaderBlock = std::size_t{1} << 20;  // 1 MiB
    // The body of one response.
    std::size_t maxBody = std::size_t{64} << 20;  // 64 MiB

    // The cookie store, bounded as browsers bound theirs (in the spirit of RFC 6265 section
    // 6.1): without bounds one response could add tens of thousands of cookies, and every later
    // request would carry them all. When a domain or the whole store is full, the cookie least
    // recently set there goes first.
    std::size_t maxCookiesPerDomain = 50;
    std::size_t maxCookies = 3000;
    // A cookie whose name and value together are longer is dropped.
    std::size_t maxCookieBytes = 4096;
};

}  // namespace lookup
