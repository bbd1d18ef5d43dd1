#include "text/CodePage936.h"

#include <gtest/gtest.h>

#include <random>

#include "HexBytes.h"
#include "ReferenceRoundTrip.h"

namespace {

using cytest::Hex;
namespace cp936 = text::cp936;

TEST(CodePage936, TrailByteCountsTheLeadBytesInFront) {
    struct Case {
        const char* hex;
        std::size_t i;
        bool trail;
    } cases[] = {
        {"D6 D0 3C", 2, false},     // two lead-range bytes in front: 3C starts a character
        {"61 D6 D0", 2, true},      // one
        {"81 40 D6 D0", 3, true},   // the walk stops at 40
        {"81 40 D6 D0", 1, true},   // 40 follows a lone lead byte
        {"D6 D0 D6 D0", 2, false},  // two in front: D6 begins the second character
        {"D6 D0 D6 D0", 3, true},  {"D6 D0", 0, false},  // offset 0 is never a trail byte
        {"80 D0", 1, false},                             // 80 and FF are outside the lead range
        {"FF D0", 1, false},       {"FE 41", 1, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp936::IsTrailByte(Hex(c.hex), c.i), c.trail) << c.hex << " @" << c.i;
        // A cut at i keeps whole characters only.
        EXPECT_EQ(cp936::WholeCharactersWithin(Hex(c.hex), c.i), c.trail ? c.i - 1 : c.i) << c.hex;
    }
}

TEST(CodePage936, ConvertsBothWaysAndMarksBadInputWithQuestionMarks) {
    EXPECT_EQ(cp936::ToUtf16(Hex("D6D0 61 00 80")), std::u16string(u"中a\0€", 4));
    EXPECT_EQ(cp936::FromUtf16(std::u16string(u"中a\0€", 4)), Hex("D6D0 61 00 80"));

    struct Bad {
        const char* hex;
        std::u16string utf16;
    } bad[] = {
        {"FF", u"?"},         {"61 D6", u"a?"},  // lead byte cut off at the end
        {"D6 3C 61", u"?<a"},                    // lead byte before a byte that cannot follow it
        {"A1 40 61", u"?a"},                     // a lead and trail pair with no character: one '?'
        {"81 7F", u"?\x7F"},
    };
    for (const auto& c : bad) {
        EXPECT_EQ(cp936::ToUtf16(Hex(c.hex)), c.utf16) << c.hex;
    }

    EXPECT_EQ(cp936::FromUtf16(u"a\u0E01b"), "a?b");    // Thai: not in GBK
    EXPECT_EQ(cp936::FromUtf16(u"\U0001F600x"), "?x");  // one '?' for a surrogate pair
    EXPECT_EQ(cp936::FromUtf16(std::u16string(u"\xD800"
                                              u"a")),
              "?a");                                                // lone high surrogate
    EXPECT_EQ(cp936::FromUtf16(std::u16string(u"a\xDC00")), "a?");  // lone low surrogate
    EXPECT_EQ(cp936::FromUtf16(std::u16string(u"a\xD800")), "a?");  // cut-off pair
}

// Every lead byte with every second byte: each pair alone, before an ASCII byte, and all of
// them in one text. The one-pass round trip gives what the two conversions give, except that
// the user-defined areas come back unchanged; a GBK character always comes back unchanged.
TEST(CodePage936, RoundTripOfEveryPairIsTheTwoConversionsWithUserDefinedAreasKept) {
    std::string all, expected;
    int kept = 0, userDefined = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int second = 0; second <= 0xFF; ++second) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(second)};
            const bool own = cp936::IsUserDefined(static_cast<unsigned char>(lead),
                                                  static_cast<unsigned char>(second));
            const std::string twoPass = cp936::RoundTripTwoPass(pair);
            const std::string back = cp936::RoundTrip(pair);
            ASSERT_EQ(back, own ? pair : twoPass) << std::hex << lead << ' ' << second;
            ASSERT_EQ(cp936::RoundTrip(pair + "A"),
                      own ? pair + "A" : cp936::RoundTripTwoPass(pair + "A"))
                << std::hex << lead << ' ' << second;
            kept += back == pair;
            userDefined += own;
            all += pair;
            expected += back;
        }
    }
    EXPECT_EQ(userDefined, 1894);
    EXPECT_GT(kept, 23000);  // GBK's characters and the user-defined ones
    EXPECT_EQ(cp936::RoundTrip(all), expected);
    EXPECT_EQ(cytest::ReferenceRoundTrip(all), expected);

    for (int b = 0; b <= 0xFF; ++b) {  // a lead byte alone is cut off at the end
        const std::string single(1, static_cast<char>(b));
        ASSERT_EQ(cp936::RoundTrip(single), cp936::RoundTripTwoPass(single)) << b;
    }
    EXPECT_EQ(cp936::RoundTrip(Hex("80")), Hex("80"));
    EXPECT_EQ(cp936::RoundTrip(Hex("D6D0 FF 3C D6")), Hex("D6D0") + "?<?");
    EXPECT_EQ(cp936::RoundTrip(Hex("AAA1 A140 FEFE D6")), Hex("AAA1 A140 FEFE") + "?");
}

// On any text the round trip gives what the two conversions give, the user-defined areas kept.
TEST(CodePage936, RoundTripAgreesWithTheTwoConversions) {
    std::mt19937 rng(20);
    std::uniform_int_distribution<int> any(0, 255), lead(0x81, 0xFE), trail(0x40, 0xFE), kind(0, 9),
        len(0, 48);
    for (int n = 0; n < 5000; ++n) {
        std::string text;
        for (int k = len(rng); k > 0; --k) {
            const int what = kind(rng);
            if (what < 5) {
                text.push_back(static_cast<char>(any(rng) & 0x7F));
            } else if (what < 9) {
                text.push_back(static_cast<char>(lead(rng)));
                text.push_back(static_cast<char>(trail(rng)));
            } else {
                text.push_back(static_cast<char>(any(rng)));
            }
        }
        ASSERT_EQ(cp936::RoundTrip(text), cytest::ReferenceRoundTrip(text));
    }
}

// The result of a round trip is valid GBK, so a second round trip changes nothing.
TEST(CodePage936, RoundTripIsIdempotentOnArbitraryBytes) {
    std::mt19937 rng(936);
    std::uniform_int_distribution<int> byte(0, 255), len(0, 64);
    for (int n = 0; n < 2000; ++n) {
        std::string text(static_cast<std::size_t>(len(rng)), '\0');
        for (char& c : text)
            c = static_cast<char>(byte(rng));
        const std::string once = cp936::RoundTrip(text);
        ASSERT_EQ(cp936::RoundTrip(once), once);
        ASSERT_LE(once.size(), text.size());
    }
}

struct ConversionCase {
    const char* name;
    const char* codeset;
    std::string text;
    std::string gbk;
};

class LocaleText : public testing::TestWithParam<ConversionCase> {};

TEST_P(LocaleText, BecomesGbkWithQuestionMarksForWhatItCannotHold) {
    EXPECT_EQ(cp936::LocaleTextToGbk(GetParam().text, GetParam().codeset), GetParam().gbk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocaleText,
    testing::Values(
        // "目录" in UTF-8 and in GB18030.
        ConversionCase{"Utf8", "UTF-8", "a \xE7\x9B\xAE\xE5\xBD\x95.", "a \xC4\xBF\xC2\xBC."},
        ConversionCase{"Gb18030", "GB18030", "\xC4\xBF\xC2\xBC", "\xC4\xBF\xC2\xBC"},
        // U+1F600 and the Korean syllable U+D55C have no GBK form: one '?' each.
        ConversionCase{"OutsideGbk", "UTF-8", "x\xF0\x9F\x98\x80y\xED\x95\x9Cz", "x?y?z"},
        // A stray continuation byte and a character cut short at the end.
        ConversionCase{"InvalidBytes", "UTF-8",
                       "a\x80"
                       "b\xE7\x9B",
                       "a?b??"},
        ConversionCase{"UnknownCodeset", "NO-SUCH-CODESET", "ok\xE7", "ok?"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
