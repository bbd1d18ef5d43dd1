#include "lookup/LookupUrl.h"

#include <gtest/gtest.h>

namespace {

TEST(LookupUrl, BaseUrlHasTheFixedPathAndQuery) {
    const std::string& base = lookup::LookupBaseUrl();
    ASSERT_EQ(base.rfind("http://", 0), 0u);
    const std::string tail = "/icp/details.asp?CertType=0&Domain=";
    ASSERT_GE(base.size(), tail.size());
    EXPECT_EQ(base.substr(base.size() - tail.size()), tail);
}

TEST(LookupUrl, TrimStripsControlBytesAndBlanksOnlyAtBothEnds) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {" example.com\r\n", "example.com"},
        {"\t\x01\x1f example.com \x20", "example.com"},
        {"a b", "a b"},
        {" \t\r\n", ""},
        {"", ""},
        {"\xD6\xD0\xCE\xC4.cn ", "\xD6\xD0\xCE\xC4.cn"},  // 中文.cn stays raw GBK
        {"\x7f"
         "x\x7f",
         "\x7f"
         "x\x7f"},  // DEL is above 0x20: kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lookup::TrimDomain(c.in), c.out) << c.in;
        EXPECT_EQ(lookup::LookupUrl(c.in), lookup::LookupBaseUrl() + c.out);
    }
}

}  // namespace
