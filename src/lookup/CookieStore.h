#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "lookup/LookupLimits.h"

namespace lookup {

using CookieClock = std::chrono::system_clock;
// A cookie's expiry in whole seconds since 1970 (64 bits): every date the parser accepts (up to
// the end of year 9999) and now plus every max-age it accepts (12 digits) fit with room to
// spare, where a count of nanoseconds would overflow after April 2262.
using CookieTime = std::chrono::time_point<CookieClock, std::chrono::seconds>;

struct Cookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;  // empty when the cookie named none: such a cookie is never sent
    std::optional<CookieTime> expires;  // none: lasts for the rest of the run
    bool secure = false;
};

// An HTTP date (RFC 1123, RFC 850 or asctime form; the zone is taken as GMT), or nothing.
std::optional<CookieTime> ParseHttpDate(std::string_view text);

// One Set-Cookie value received for a request to requestHost: "name=value" then attributes
// path, expires, max-age, domain, secure (any letter case). Nothing when the cookie has no name
// or its domain is not acceptable: the domain must equal the request host, or begin with "."
// and equal the request host from the host's first "." on. A max-age counts from now taken
// down to the whole second.
std::optional<Cookie> ParseCookie(std::string_view header, std::string_view requestHost,
                                  CookieClock::time_point now);

// The cookies of the run, grouped by domain, the name being the key within a domain. Any number
// of lookups may read it at once; changes take it alone. The store is bounded as browsers bound
// theirs (LookupLimits: cookies per domain, cookies in all, bytes of name and value): a cookie
// over the byte bound is dropped, and a new cookie that finds its domain or the store full
// takes the place of the one least recently set there.
class CookieStore {
public:
    CookieStore() = default;
    explicit CookieStore(const LookupLimits& limits);

    // Parses and stores one Set-Cookie value; a cookie with the same domain and name is
    // replaced in its place (and counts as set now).
    void Add(std::string_view header, std::string_view requestHost, CookieClock::time_point now);
    // Drops every cookie whose expiry lies before now (to the nanosecond: a cookie set with
    // max-age 0 is gone by the next request).
    void RemoveExpired(CookieClock::time_point now);
    // The Cookie header value for a request: each cookie whose domain occurs (any letter case)
    // in the host, whose path is a prefix of requestPath, that is not secure and has a value,
    // as name=value joined with "; ", the path that sorts last (any letter case) first.
    // Empty when none applies.
    std::string RequestCookieList(std::string_view requestHost, std::string_view requestPath) const;
    // The same, written into `list` in place of what it held (its capacity kept).
    void RequestCookieList(std::string& list, std::string_view requestHost,
                           std::string_view requestPath) const;
    // A copy of every stored cookie.
    std::vector<Cookie> Cookies() const;

private:
    struct Stored {
        Cookie cookie;
        std::uint64_t setAt;  // when it was last set, counted over the whole store
    };
    using CookieList = std::list<Stored>;
    // The cookies of one domain in the order they first came, where each name stands among
    // them, and which was set least recently: every change costs time in the logarithm of the
    // store's size, so a head full of cookies is stored in time proportional to their number.
    struct Group {
        std::string domain;
        CookieList cookies;
        std::unordered_map<std::string, CookieList::iterator> byName;
        std::map<std::uint64_t, CookieList::iterator> bySetAt;
    };
    using GroupList = std::list<Group>;

    // With the lock held: takes one cookie out; a group left empty is removed.
    void Erase(GroupList::iterator group, CookieList::iterator cookie);

    std::size_t maxPerDomain_ = LookupLimits{}.maxCookiesPerDomain;
    std::size_t maxCookies_ = LookupLimits{}.maxCookies;
    std::size_t maxCookieBytes_ = LookupLimits{}.maxCookieBytes;
    mutable std::shared_mutex mutex_;
    GroupList groups_;  // in the order their domains first came
    std::unordered_map<std::string, GroupList::iterator> groupByDomain_;
    std::map<std::uint64_t, GroupList::iterator> bySetAt_;  // every cookie's group by setAt
    std::uint64_t nextSetAt_ = 0;
};

}  // namespace lookup
