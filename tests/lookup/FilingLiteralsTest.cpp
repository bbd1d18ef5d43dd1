#include "lookup/FilingLiterals.h"

#include <gtest/gtest.h>

#include "HexBytes.h"

namespace {

using cytest::Hex;

TEST(FilingLiterals, AreExactlyTheirGbkBytes) {
    const std::string tail = R"(<\/label><span class="fontred">(.*?)<\/span><\/div>)";
    ASSERT_EQ(tail.size(), 51u);
    struct Case {
        std::string_view literal;
        std::string bytes;
        std::size_t size;
    } cases[] = {
        {lookup::FilingNoStartMarker,
         Hex("B1 B8 B0 B8 2F D0 ED BF C9 D6 A4 BA C5 A3 BA") +
             Hex("3C2F6C6162656C3E 3C7370616E 20 636C6173733D 22 666F6E74726564 22 3E"),
         45},
        {lookup::FilingNoEndMarker, Hex("3C2F7370616E3E 3C2F6469763E"), 13},
        {lookup::ReviewDatePattern, Hex("C9 F3 BA CB CD A8 B9 FD CA B1 BC E4 A3 BA") + tail, 65},
        {lookup::SponsorPattern, Hex("D6 F7 B0 EC B5 A5 CE BB C3 FB B3 C6 A3 BA") + tail, 65},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.literal.size(), c.size);
        EXPECT_EQ(std::string(c.literal), c.bytes);
    }
}

}  // namespace
