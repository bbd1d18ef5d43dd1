#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "lookup/HostResolver.h"
#include "lookup/LookupError.h"
#include "lookup/LookupLimits.h"

// The program's one HTTP client for the lookup service (the main window's idhtp1).
namespace lookup {

class LookupClient {
public:
    LookupClient();
    // resolve turns the URL's host name into addresses (numeric hosts skip it); tests pass
    // one of their own.
    explicit LookupClient(const LookupLimits& limits, ResolveHost resolve = ResolveWithSystem);
    ~LookupClient();
    LookupClient(const LookupClient&) = delete;
    LookupClient& operator=(const LookupClient&) = delete;

    // One GET of a lookup URL ("http://host[:port]/..."); returns the body bytes unchanged, or
    // throws LookupError (HttpError when the service answered with something other than a
    // page). Safe to call from any number of threads: exchanges never interleave. The client
    // stays usable after any failure.
    std::string FetchPage(std::string_view url);

    // Cuts off the exchange in flight, if any, from any thread: its FetchPage throws
    // LookupError with Kind::Stopped at once (a host name still being resolved is waited
    // for). Lookups that start afterwards are not affected.
    void Abort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lookup
