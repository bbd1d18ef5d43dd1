#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lookup {

// What resolving one host name gave.
struct ResolvedHost {
    std::vector<std::string> addresses;  // numeric IPv4/IPv6 addresses, in the order to try
    std::string error;                   // empty on success, else the resolver's own message
};

// Resolves a host name; may block for as long as it likes.
using ResolveHost = std::function<ResolvedHost(const std::string& host)>;

// The system's resolver (getaddrinfo, addresses this machine can reach).
ResolvedHost ResolveWithSystem(const std::string& host);

// Resolves host names within a time limit, whatever the resolver does. A running getaddrinfo
// cannot be interrupted, so each resolution runs on a thread of its own that the caller stops
// waiting for at its deadline. The abandoned thread ends when the resolver gives up; until then
// it counts against kMaxRunning, and a later lookup of the same host waits for that same
// resolution instead of starting another. So a name server that never answers costs at most
// kMaxRunning threads, never one per lookup.
class HostResolver {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxRunning = 2;

    explicit HostResolver(ResolveHost resolve = ResolveWithSystem);
    ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // The addresses of host, in the order to try. A numeric address is returned at once.
    // Throws LookupError "Connect timed out." when deadline passes first (waiting for a free
    // resolution slot included), or "Cannot resolve host <host>: <message>" when it fails.
    std::vector<std::string> Resolve(const std::string& host, Clock::time_point deadline);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;  // shared with the resolution threads, which may outlive us
};

}  // namespace lookup
