#include "lookup/HttpUrl.h"

#include <gtest/gtest.h>

#include "lookup/LookupError.h"

namespace {

using lookup::ParseHttpUrl;

TEST(HttpUrl, SplitsHostPortAndTarget) {
    struct Case {
        std::string url, host;
        int port;
        std::string target, hostHeader;
    } cases[] = {
        {"http://127.0.0.1/icp/details.asp?CertType=0&Domain=a.cn", "127.0.0.1", 80,
         "/icp/details.asp?CertType=0&Domain=a.cn", "127.0.0.1"},
        {"http://localhost:8080/x", "localhost", 8080, "/x", "localhost:8080"},
        {"HTTP://h:80/", "h", 80, "/", "h"},
        {"http://h", "h", 80, "/", "h"},
        // "\" becomes "/" anywhere, host included
        {"http://h\\icp\\d.asp?Domain=a\\b", "h", 80, "/icp/d.asp?Domain=a/b", "h"},
        // ... but not as the second byte of a double-byte character (\x5C after \x81..\xFE)
        {"http://h/?Domain=\xD5\x5C\\", "h", 80, "/?Domain=\xD5\x5C/", "h"},
        // "#" after "?" cuts the target; before "?" it does not
        {"http://h/a#b?Domain=x#y#z", "h", 80, "/a#b?Domain=x", "h"},
        {"http://h/?Domain=#", "h", 80, "/?Domain=", "h"},
        // blanks and other bytes are sent as they are
        {"http://h/?Domain=a b&c=d", "h", 80, "/?Domain=a b&c=d", "h"},
    };
    for (const auto& c : cases) {
        const lookup::HttpUrl u = ParseHttpUrl(c.url);
        EXPECT_EQ(u.host, c.host) << c.url;
        EXPECT_EQ(u.port, c.port) << c.url;
        EXPECT_EQ(u.target, c.target) << c.url;
        EXPECT_EQ(u.HostHeader(), c.hostHeader) << c.url;
    }
    EXPECT_EQ(ParseHttpUrl("http://h/icp/details.asp?x=/y").Directory(), "/icp/");
    EXPECT_EQ(ParseHttpUrl("http://h/?x=/y").Directory(), "/");
}

TEST(HttpUrl, RejectsWhatItCannotRequest) {
    for (const char* url : {"https://h/", "ftp://h/", "http:///x", "http://h:/", "http://h:0/",
                            "http://h:65536/", "http://h:8o/"}) {
        EXPECT_THROW(ParseHttpUrl(url), lookup::LookupError) << url;
    }
}

}  // namespace
