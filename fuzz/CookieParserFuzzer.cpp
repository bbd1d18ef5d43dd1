// Arbitrary Set-Cookie values (and request hosts) through the cookie parser and store.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lookup/CookieStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // "host\nheader\nheader..."
    const std::size_t nl = input.find('\n');
    const std::string_view host = input.substr(0, nl);
    std::string_view rest =
        nl == std::string_view::npos ? std::string_view() : input.substr(nl + 1);
    const auto now = lookup::CookieClock::from_time_t(1700000000);
    lookup::CookieStore store;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view header = rest.substr(0, end);
        lookup::ParseHttpDate(header);
        store.Add(header, host, now);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    store.RemoveExpired(now + std::chrono::seconds(1));
    store.RequestCookieList(host, "/icp/");
    return 0;
}
