#include "lookup/CookieStore.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using lookup::CookieClock;
using lookup::CookieStore;
using lookup::ParseCookie;
using lookup::ParseHttpDate;

const CookieClock::time_point kNow = CookieClock::from_time_t(1700000000);  // 2023-11-14

TEST(CookieStore, ParsesNameValueAndAttributesInAnyCase) {
    const auto c =
        ParseCookie(" sid = a=b ;PATH=\"/icp/\"; Secure ; DOMAIN=www.example.com; other=1",
                    "www.example.com", kNow);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->name, "sid");
    EXPECT_EQ(c->value, "a=b");
    EXPECT_EQ(c->path, "/icp/");
    EXPECT_EQ(c->domain, "www.example.com");
    EXPECT_TRUE(c->secure);
    EXPECT_FALSE(c->expires);

    const auto bare = ParseCookie("flag", "h.cn", kNow);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->value, "");
    EXPECT_EQ(bare->path, "");
    EXPECT_EQ(bare->domain, "h.cn");
    EXPECT_FALSE(ParseCookie("=v; path=/", "h.cn", kNow));
}

TEST(CookieStore, DomainMustBeTheHostOrADotSuffixFromItsFirstDot) {
    struct Case {
        const char* domain;
        const char* host;
        bool stored;
    } cases[] = {
        {"www.example.com", "www.example.com", true},
        {".example.com", "www.example.com", true},
        {".example.com", "a.b.example.com", false},  // from the host's first "." only
        {"example.com", "www.example.com", false},
        {".example.com", "example.com", false},
        {"WWW.example.com", "www.example.com", false},
        {".0.0.1", "127.0.0.1", true},
        {".localhost", "localhost", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseCookie(std::string("a=1; domain=") + c.domain, c.host, kNow).has_value(),
                  c.stored)
            << c.domain << " from " << c.host;
    }
}

TEST(CookieStore, ExpiryFromHttpDateOrMaxAge) {
    const auto expected = CookieClock::from_time_t(784111777);  // Sun, 06 Nov 1994 08:49:37 GMT
    for (const char* date : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                             "Sun Nov  6 08:49:37 1994", "Sun, 06-Nov-1994 08:49:37 GMT"}) {
        EXPECT_EQ(ParseHttpDate(date), expected) << date;
    }
    for (const char* bad : {"", "tomorrow", "Sun, 31 Feb 1994 08:49:37 GMT",
                            "Sun, 06 Nov 1994 25:00:00 GMT", "06 Nov 1994"}) {
        EXPECT_FALSE(ParseHttpDate(bad)) << bad;
    }

    EXPECT_EQ(ParseCookie("a=1; max-age=60", "h", kNow)->expires, kNow + 60s);
    EXPECT_EQ(ParseCookie("a=1; max-age=0", "h", kNow)->expires, kNow);
    EXPECT_FALSE(ParseCookie("a=1; max-age=-5", "h", kNow)->expires);
    EXPECT_FALSE(ParseCookie("a=1; max-age=soon", "h", kNow)->expires);
    // expires comes first when both are given
    EXPECT_EQ(
        ParseCookie("a=1; Max-Age=60; Expires=Sun, 06 Nov 1994 08:49:37 GMT", "h", kNow)->expires,
        expected);
}

// Expiries from 1601 to past year 9999, in every date form servers send: each cookie is kept
// (sent on the next request) or dropped as its expiry says, and none wraps around (far-future
// dates overflowed a count of nanoseconds and came out in the past).
TEST(CookieStore, ExpiriesFrom1601ToPast9999KeptOrDroppedWithoutOverflow) {
    using std::chrono::seconds;
    struct Case {
        const char* attributes;
        std::optional<lookup::CookieTime> expires;  // none: the cookie lasts for the run
        bool sent;
    } cases[] = {
        {"expires=Mon, 01 Jan 1601 00:00:00 GMT", lookup::CookieTime(seconds(-11644473600)), false},
        {"expires=Thu, 01 Jan 1970 00:00:00 GMT", lookup::CookieTime(seconds(0)), false},
        {"expires=Sunday, 06-Nov-94 08:49:37 GMT", lookup::CookieTime(seconds(784111777)), false},
        {"expires=Sun Nov  6 08:49:37 1994", lookup::CookieTime(seconds(784111777)), false},
        {"expires=Tue, 19 Jan 2038 03:14:08 GMT", lookup::CookieTime(seconds(2147483648)), true},
        {"expires=Wednesday, 06-Nov-69 08:49:37 GMT", lookup::CookieTime(seconds(3150953377)),
         true},  // two-digit years below 70 are 20xx
        {"expires=Sat, 12 Apr 2262 00:00:00 GMT", lookup::CookieTime(seconds(9223372800)), true},
        {"expires=Fri, 31 Dec 9999 23:59:59 GMT", lookup::CookieTime(seconds(253402300799)), true},
        {"expires=Fri Dec 31 23:59:59 9999", lookup::CookieTime(seconds(253402300799)), true},
        {"max-age=9999999999", lookup::CookieTime(seconds(1700000000 + 9999999999LL)), true},
        {"max-age=999999999999", lookup::CookieTime(seconds(1700000000 + 999999999999LL)), true},
        {"max-age=0", lookup::CookieTime(seconds(1700000000)), false},
        // Not dates the parser accepts: no expiry, so the cookie lasts for the run.
        {"expires=Sat, 01 Jan 10000 00:00:00 GMT", std::nullopt, true},
        {"expires=Sat, 01 Jan 1600 00:00:00 GMT", std::nullopt, true},
    };
    for (const Case& c : cases) {
        const std::string header = std::string("a=1; path=/; ") + c.attributes;
        const auto cookie = ParseCookie(header, "127.0.0.1", kNow);
        ASSERT_TRUE(cookie) << header;
        EXPECT_EQ(cookie->expires, c.expires) << header;
        CookieStore store;
        store.Add(header, "127.0.0.1", kNow);
        store.RemoveExpired(kNow + std::chrono::nanoseconds(1));
        EXPECT_EQ(store.RequestCookieList("127.0.0.1", "/icp/"), c.sent ? "a=1" : "") << header;
    }
}

TEST(CookieStore, RequestListSelectsOrdersAndDropsExpired) {
    CookieStore store;
    const std::string host = "www.example.com";
    store.Add("root=1; path=/", host, kNow);
    store.Add("icp=2; path=/icp/", host, kNow);
    store.Add("upper=3; path=/ICP", host, kNow);     // case-sensitive prefix: not sent
    store.Add("other=4; path=/other/", host, kNow);  // not a prefix of /icp/
    store.Add("nopath=5", host, kNow);               // stored, never sent
    store.Add("empty=; path=/", host, kNow);         // empty value: not sent
    store.Add("sec=6; path=/; secure", host, kNow);  // never sent over plain HTTP
    store.Add("dot=7; path=/i; domain=.example.com", host, kNow);
    store.Add("soon=8; path=/; max-age=10", host, kNow);
    store.Add("stranger=9; path=/; domain=evil.com", host, kNow);  // dropped
    EXPECT_EQ(store.Cookies().size(), 9u);

    // The path that sorts last comes first; equal paths keep their order.
    EXPECT_EQ(store.RequestCookieList(host, "/icp/"), "icp=2; dot=7; root=1; soon=8");
    // The domain only has to occur somewhere in the host, in any letter case.
    EXPECT_EQ(store.RequestCookieList("WWW.EXAMPLE.COM.proxy", "/icp/"),
              "icp=2; dot=7; root=1; soon=8");
    EXPECT_EQ(store.RequestCookieList("other.org", "/icp/"), "");
    // Written into the string of an earlier list, as the client does, the new list replaces it.
    std::string reused = "old=list; of=more; bytes=than; the=new";
    store.RequestCookieList(reused, "other.org", "/icp/");
    EXPECT_EQ(reused, "");
    store.RequestCookieList(reused, host, "/icp/");
    EXPECT_EQ(reused, "icp=2; dot=7; root=1; soon=8");

    // Same domain and name replaces the value in place.
    store.Add("root=changed; path=/", host, kNow);
    EXPECT_EQ(store.RequestCookieList(host, "/icp/"), "icp=2; dot=7; root=changed; soon=8");

    store.RemoveExpired(kNow + 10s);
    EXPECT_EQ(store.RequestCookieList(host, "/icp/"), "icp=2; dot=7; root=changed; soon=8");
    store.RemoveExpired(kNow + 11s);
    EXPECT_EQ(store.RequestCookieList(host, "/icp/"), "icp=2; dot=7; root=changed");
    EXPECT_EQ(store.Cookies().size(), 8u);
}

}  // namespace

namespace {

std::vector<std::string> Names(const CookieStore& store) {
    std::vector<std::string> names;
    for (const auto& c : store.Cookies()) {
        names.push_back(c.name);
    }
    return names;
}

// The store keeps at most 50 cookies per domain and 3,000 in all; when full, the cookie least
// recently set goes first (setting one again makes it recent). A name and value over 4,096
// bytes together is dropped and leaves a stored cookie of that name alone.
TEST(CookieStore, BoundedPerDomainAndInAllLeastRecentlySetGoesFirst) {
    const lookup::LookupLimits limits;
    ASSERT_EQ(limits.maxCookiesPerDomain, 50u);
    ASSERT_EQ(limits.maxCookies, 3000u);
    ASSERT_EQ(limits.maxCookieBytes, 4096u);

    CookieStore store;
    const std::string host = "www.example.com";
    for (int i = 0; i < 50; ++i) {
        store.Add("c" + std::to_string(i) + "=v; path=/", host, kNow);
    }
    store.Add("c0=again; path=/", host, kNow);  // c0 is now the most recent, in its place
    store.Add("late=1; path=/", host, kNow);    // c1 goes
    store.Add("dot=1; path=/; domain=.example.com", host, kNow);  // another domain: nothing goes
    std::vector<std::string> names = Names(store);
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(names[0], "c0");
    EXPECT_EQ(names[1], "c2");
    EXPECT_EQ(names[49], "late");
    EXPECT_EQ(names[50], "dot");
    EXPECT_EQ(store.Cookies()[0].value, "again");

    store.Add("c0=" + std::string(4096, 'x'), host, kNow);                // 4,098 bytes: dropped
    store.Add("big=" + std::string(4093, 'x') + "; path=/", host, kNow);  // 4,096 bytes: kept
    names = Names(store);
    ASSERT_EQ(names.size(), 51u);
    EXPECT_EQ(store.Cookies()[0].value, "again");  // the dropped c0 changed nothing
    EXPECT_EQ(names[1], "c3");  // c2, now least recently set, made room for "big"
    EXPECT_EQ(names[49], "big");

    // 61 domains of 50: the first domain's cookies, set first, make room for the last ones.
    CookieStore all;
    for (int d = 0; d < 61; ++d) {
        for (int i = 0; i < 50; ++i) {
            all.Add("c" + std::to_string(i) + "=v; path=/", "d" + std::to_string(d) + ".test",
                    kNow);
        }
    }
    const auto cookies = all.Cookies();
    ASSERT_EQ(cookies.size(), 3000u);
    EXPECT_EQ(cookies.front().domain, "d1.test");
    EXPECT_EQ(cookies.back().domain, "d60.test");
    EXPECT_EQ(all.RequestCookieList("d0.test", "/icp/"), "");
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        expected += (i ? "; c" : "c") + std::to_string(i) + "=v";
    }
    EXPECT_EQ(all.RequestCookieList("d60.test", "/icp/"), expected);
}

}  // namespace
