#include "lookup/CookieStore.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "text/AsciiText.h"

namespace lookup {

namespace {

// The blanks trimmed from the parts of a cookie header.
constexpr std::string_view kCookieBlanks = " \t\r\n";

// Small non-negative decimal, or -1.
long long Number(std::string_view s, std::size_t maxDigits) {
    if (!text::AllDigits(s) || s.size() > maxDigits) {
        return -1;
    }
    long long n = 0;
    for (char c : s) {
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

std::optional<CookieTime> ParseHttpDate(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    int month = 0;
    long long day = -1;
    long long year = -1;
    long long hms[3] = {-1, -1, -1};
    std::size_t i = 0;
    while (i < text.size()) {
        auto separator = [](char c) { return c == ' ' || c == ',' || c == '-' || c == '\t'; };
        while (i < text.size() && separator(text[i])) {
            ++i;
        }
        std::size_t end = i;
        while (end < text.size() && !separator(text[end])) {
            ++end;
        }
        const std::string_view token = text.substr(i, end - i);
        i = end;
        if (token.empty()) {
            continue;
        }
        if (token.find(':') != std::string_view::npos) {
            std::size_t p = 0;
            for (int part = 0; part < 3; ++part) {
                const std::size_t colon = token.find(':', p);
                hms[part] = Number(token.substr(p, colon - p), 2);
                if (colon == std::string_view::npos) {
                    if (part < 2) {
                        return std::nullopt;
                    }
                    break;
                }
                p = colon + 1;
            }
        } else if (text::AllDigits(token)) {
            if (day < 0) {
                day = Number(token, 2);
                if (day < 0) {  // a year before the day (not a form we know)
                    return std::nullopt;
                }
            } else if (year < 0) {
                year = Number(token, 4);
                if (year >= 0 && token.size() <= 2) {
                    year += year < 70 ? 2000 : 1900;
                }
            }
        } else if (month == 0 && token.size() >= 3) {
            const std::string name = text::AsciiLowerText(token.substr(0, 3));
            for (std::size_t m = 0; m < kMonths.size(); ++m) {
                if (name == kMonths[m]) {
                    month = static_cast<int>(m) + 1;
                }
            }
        }
    }
    if (month == 0 || day < 1 || day > 31 || year < 1601 || hms[0] < 0 || hms[0] > 23 ||
        hms[1] < 0 || hms[1] > 59 || hms[2] < 0 || hms[2] > 60) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(static_cast<int>(year)),
                              std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return CookieTime(sys_days(date)) + hours(hms[0]) + minutes(hms[1]) + seconds(hms[2]);
}

std::optional<Cookie> ParseCookie(std::string_view header, std::string_view requestHost,
                                  CookieClock::time_point now) {
    Cookie cookie;
    std::optional<CookieTime> expires;
    std::optional<long long> maxAge;
    std::optional<std::string> domain;
    bool first = true;
    std::size_t pos = 0;
    while (pos <= header.size()) {
        const std::size_t semi = std::min(header.find(';', pos), header.size());
        const std::string_view part = text::Trim(header.substr(pos, semi - pos), kCookieBlanks);
        pos = semi + 1;
        const std::size_t eq = part.find('=');
        const std::string_view key = text::Trim(part.substr(0, eq), kCookieBlanks);
        const std::string_view value = eq == std::string_view::npos
                                           ? std::string_view()
                                           : text::Trim(part.substr(eq + 1), kCookieBlanks);
        if (first) {
            first = false;
            cookie.name = key;
            cookie.value = value;
            continue;
        }
        const std::string attribute = text::AsciiLowerText(key);
        if (attribute == "path") {
            std::string_view path = value;
            if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
                path = path.substr(1, path.size() - 2);
            }
            cookie.path = path;
        } else if (attribute == "expires") {
            expires = ParseHttpDate(value);
        } else if (attribute == "max-age") {
            const long long seconds = Number(value, 12);
            if (seconds >= 0) {
                maxAge = seconds;
            }
        } else if (attribute == "domain") {
            domain = std::string(value);
        } else if (attribute == "secure") {
            cookie.secure = true;
        }
    }
    if (cookie.name.empty()) {
        return std::nullopt;
    }
    cookie.domain = domain ? *domain : std::string(requestHost);
    const std::size_t hostDot = requestHost.find('.');
    const bool accepted =
        cookie.domain == requestHost ||
        (!cookie.domain.empty() && cookie.domain.front() == '.' &&
         hostDot != std::string_view::npos && cookie.domain == requestHost.substr(hostDot));
    if (!accepted) {
        return std::nullopt;
    }
    if (expires) {
        cookie.expires = expires;
    } else if (maxAge) {
        cookie.expires =
            std::chrono::floor<std::chrono::seconds>(now) + std::chrono::seconds(*maxAge);
    }
    return cookie;
}

CookieStore::CookieStore(const LookupLimits& limits)
    : maxPerDomain_(std::max<std::size_t>(limits.maxCookiesPerDomain, 1)),
      maxCookies_(std::max<std::size_t>(limits.maxCookies, 1)),
      maxCookieBytes_(limits.maxCookieBytes) {}

void CookieStore::Erase(GroupList::iterator group, CookieList::iterator cookie) {
    bySetAt_.erase(cookie->setAt);
    group->bySetAt.erase(cookie->setAt);
    group->byName.erase(cookie->cookie.name);
    group->cookies.erase(cookie);
    if (group->cookies.empty()) {
        groupByDomain_.erase(group->domain);
        groups_.erase(group);
    }
}

void CookieStore::Add(std::string_view header, std::string_view requestHost,
                      CookieClock::time_point now) {
    std::optional<Cookie> cookie = ParseCookie(header, requestHost, now);
    if (!cookie || cookie->name.size() + cookie->value.size() > maxCookieBytes_) {
        return;
    }
    std::unique_lock lock(mutex_);
    const std::uint64_t setAt = nextSetAt_++;
    auto found = groupByDomain_.find(cookie->domain);
    if (found != groupByDomain_.end()) {
        const GroupList::iterator group = found->second;
        if (const auto named = group->byName.find(cookie->name); named != group->byName.end()) {
            const CookieList::iterator stored = named->second;
            bySetAt_.erase(stored->setAt);
            group->bySetAt.erase(stored->setAt);
            stored->cookie = std::move(*cookie);
            stored->setAt = setAt;
            bySetAt_.emplace(setAt, group);
            group->bySetAt.emplace(setAt, stored);
            return;
        }
        if (group->cookies.size() >= maxPerDomain_) {
            Erase(group, group->bySetAt.begin()->second);
        }
    }
    if (bySetAt_.size() >= maxCookies_) {
        const GroupList::iterator oldest = bySetAt_.begin()->second;
        Erase(oldest, oldest->bySetAt.begin()->second);
    }
    // An eviction may have emptied, and so removed, the cookie's own group.
    found = groupByDomain_.find(cookie->domain);
    GroupList::iterator group;
    if (found == groupByDomain_.end()) {
        group = groups_.insert(groups_.end(), Group{cookie->domain, {}, {}, {}});
        groupByDomain_.emplace(group->domain, group);
    } else {
        group = found->second;
    }
    const CookieList::iterator stored =
        group->cookies.insert(group->cookies.end(), Stored{std::move(*cookie), setAt});
    group->byName.emplace(stored->cookie.name, stored);
    group->bySetAt.emplace(setAt, stored);
    bySetAt_.emplace(setAt, group);
}

void CookieStore::RemoveExpired(CookieClock::time_point now) {
    // expires < now holds exactly when expires < now rounded up to the second; comparing in
    // nanoseconds instead would overflow for the far-future expiries.
    const CookieTime limit = std::chrono::ceil<std::chrono::seconds>(now);
    std::unique_lock lock(mutex_);
    for (auto group = groups_.begin(); group != groups_.end();) {
        const auto nextGroup = std::next(group);
        // Erasing a group's last cookie removes the group: walk by its cookies' count.
        for (auto cookie = group->cookies.begin(), last = std::prev(group->cookies.end());;) {
            const bool atLast = cookie == last;
            const auto next = std::next(cookie);
            if (cookie->cookie.expires && *cookie->cookie.expires < limit) {
                Erase(group, cookie);
            }
            if (atLast) {
                break;
            }
            cookie = next;
        }
        group = nextGroup;
    }
}

std::string CookieStore::RequestCookieList(std::string_view requestHost,
                                           std::string_view requestPath) const {
    std::string list;
    RequestCookieList(list, requestHost, requestPath);
    return list;
}

void CookieStore::RequestCookieList(std::string& list, std::string_view requestHost,
                                    std::string_view requestPath) const {
    const std::string host = text::AsciiLowerText(requestHost);
    std::vector<const Cookie*> chosen;
    std::shared_lock lock(mutex_);
    for (const Group& group : groups_) {
        if (host.find(text::AsciiLowerText(group.domain)) == std::string::npos) {
            continue;
        }
        for (const Stored& stored : group.cookies) {
            const Cookie& c = stored.cookie;
            if (!c.path.empty() && requestPath.substr(0, c.path.size()) == c.path && !c.secure &&
                !c.value.empty()) {
                chosen.push_back(&c);
            }
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
        return text::AsciiLowerText(a->path) > text::AsciiLowerText(b->path);
    });
    std::size_t size = 0;
    for (const Cookie* c : chosen) {
        size += c->name.size() + c->value.size() + 3;
    }
    list.clear();
    list.reserve(size);
    for (const Cookie* c : chosen) {
        if (!list.empty()) {
            list += "; ";
        }
        list += c->name;
        list += '=';
        list += c->value;
    }
}

std::vector<Cookie> CookieStore::Cookies() const {
    std::shared_lock lock(mutex_);
    std::vector<Cookie> all;
    for (const Group& group : groups_) {
        for (const Stored& stored : group.cookies) {
            all.push_back(stored.cookie);
        }
    }
    return all;
}

}  // namespace lookup
