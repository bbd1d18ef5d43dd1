#pragma once

#include <memory>
#include <string>
#include <string_view>

// The program's one HTTP client for the lookup service (the main window's idhtp1).
namespace lookup {

class LookupClient {
public:
    LookupClient();
    ~LookupClient();
    LookupClient(const LookupClient&) = delete;
    LookupClient& operator=(const LookupClient&) = delete;

    // One GET of a lookup URL ("http://host[:port]/..."); returns the body bytes unchanged, or
    // throws. Safe to call from any number of threads: exchanges never interleave.
    std::string FetchPage(std::string_view url);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lookup
