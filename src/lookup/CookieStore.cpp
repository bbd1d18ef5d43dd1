#include "lookup/CookieStore.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

namespace lookup {

namespace {

std::string_view Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string LowerText(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Small non-negative decimal, or -1.
long long Number(std::string_view s, std::size_t maxDigits) {
    if (!AllDigits(s) || s.size() > maxDigits) {
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
        } else if (AllDigits(token)) {
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
            const std::string name = LowerText(token.substr(0, 3));
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
        const std::string_view part = Trim(header.substr(pos, semi - pos));
        pos = semi + 1;
        const std::size_t eq = part.find('=');
        const std::string_view key = Trim(part.substr(0, eq));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : Trim(part.substr(eq + 1));
        if (first) {
            first = false;
            cookie.name = key;
            cookie.value = value;
            continue;
        }
        const std::string attribute = LowerText(key);
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

void CookieStore::Add(std::string_view header, std::string_view requestHost,
                      CookieClock::time_point now) {
    std::optional<Cookie> cookie = ParseCookie(header, requestHost, now);
    if (!cookie) {
        return;
    }
    std::unique_lock lock(mutex_);
    auto group = std::find_if(domains_.begin(), domains_.end(),
                              [&](const Group& g) { return g.domain == cookie->domain; });
    if (group == domains_.end()) {
        domains_.push_back(Group{cookie->domain, {}, {}});
        group = std::prev(domains_.end());
    }
    const auto [at, added] = group->byName.try_emplace(cookie->name, group->cookies.size());
    if (added) {
        group->cookies.push_back(std::move(*cookie));
    } else {
        group->cookies[at->second] = std::move(*cookie);
    }
}

void CookieStore::RemoveExpired(CookieClock::time_point now) {
    // expires < now holds exactly when expires < now rounded up to the second; comparing in
    // nanoseconds instead would overflow for the far-future expiries.
    const CookieTime limit = std::chrono::ceil<std::chrono::seconds>(now);
    std::unique_lock lock(mutex_);
    for (Group& group : domains_) {
        if (std::erase_if(group.cookies, [limit](const Cookie& c) {
                return c.expires && *c.expires < limit;
            }) > 0) {
            group.byName.clear();
            for (std::size_t i = 0; i < group.cookies.size(); ++i) {
                group.byName.emplace(group.cookies[i].name, i);
            }
        }
    }
    std::erase_if(domains_, [](const Group& g) { return g.cookies.empty(); });
}

std::string CookieStore::RequestCookieList(std::string_view requestHost,
                                           std::string_view requestPath) const {
    const std::string host = LowerText(requestHost);
    std::vector<const Cookie*> chosen;
    std::shared_lock lock(mutex_);
    for (const Group& group : domains_) {
        if (host.find(LowerText(group.domain)) == std::string::npos) {
            continue;
        }
        for (const Cookie& c : group.cookies) {
            if (!c.path.empty() && requestPath.substr(0, c.path.size()) == c.path && !c.secure &&
                !c.value.empty()) {
                chosen.push_back(&c);
            }
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
        return LowerText(a->path) > LowerText(b->path);
    });
    std::string list;
    for (const Cookie* c : chosen) {
        if (!list.empty()) {
            list += "; ";
        }
        list += c->name;
        list += '=';
        list += c->value;
    }
    return list;
}

std::vector<Cookie> CookieStore::Cookies() const {
    std::shared_lock lock(mutex_);
    std::vector<Cookie> all;
    for (const Group& group : domains_) {
        all.insert(all.end(), group.cookies.begin(), group.cookies.end());
    }
    return all;
}

}  // namespace lookup
