#include "lookup/PageParser.h"

#include <gtest/gtest.h>
#include <pcre.h>

#include <random>

#include "HexBytes.h"
#include "ReferenceMarkerSearch.h"

namespace {

using cytest::Hex;

// The page's markup, built from the bytes the lookup page holds (not from the code's literals).
const std::string kLabelEnd = "</label><span class=\"fontred\">";
const std::string kEnd = "</span></div>";
const std::string kFilingStart = Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA") + kLabelEnd;
const std::string kJingIcp = Hex("BEA9 494350 B1B8 3030303030303031 BAC5");  // 京ICP备00000001号
const std::string kZhong = Hex("D6D0");                                      // 中
const std::string kHomeBlock = "<div><span>" + Hex("CAD7 D2B3") + kEnd;      // ...首页...

std::string Filing(const std::string& no) {
    return kFilingStart + no + kEnd;
}
std::string Sponsor(const std::string& name) {
    return Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + kLabelEnd + name + kEnd;  // 主办单位名称：
}
std::string ReviewDate(const std::string& date) {
    return Hex("C9F3 BACB CDA8 B9FD CAB1 BCE4 A3BA") + kLabelEnd + date + kEnd;  // 审核通过时间：
}
std::string FilingNo(const std::string& page) {
    return lookup::TextBetween(page, kFilingStart, kEnd);
}

const std::string kSponsorPattern = Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") +
                                    R"(<\/label><span class="fontred">(.*?)<\/span><\/div>)";
const std::string kReviewPattern = Hex("C9F3 BACB CDA8 B9FD CAB1 BCE4 A3BA") +
                                   R"(<\/label><span class="fontred">(.*?)<\/span><\/div>)";
std::string SponsorOf(const std::string& page) {
    return lookup::RegexGroupText(page, kSponsorPattern);
}

TEST(TextBetween, FilingNumberCases) {
    const std::string nul(1, '\0');
    struct Case {
        const char* what;
        std::string page, expected;
    } cases[] = {
        {"plain", "<div><label>" + Filing(kJingIcp), kJingIcp},
        {"nothing trimmed", Filing(" " + kJingIcp + "\r\n"), " " + kJingIcp + "\r\n"},
        {"tags and entities kept", Filing("<b>1</b>&nbsp;"), "<b>1</b>&nbsp;"},
        {"empty between markers", Filing(""), ""},
        {"no start marker", "<div>" + kJingIcp + kEnd, ""},
        {"no end marker", kFilingStart + kJingIcp + "</span>", ""},
        {"sponsor block first", Sponsor("x") + Filing(kJingIcp), ""},
        {"home block first", kHomeBlock + Filing(kJingIcp), ""},
        {"review block behind", Filing(kJingIcp) + ReviewDate("2010-05-20"), kJingIcp},
        {"ASCII colon", Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5") + ":" + kLabelEnd + kJingIcp + kEnd,
         ""},
        {"single quotes",
         Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA") + "</label><span class='fontred'>" +
             kJingIcp + kEnd,
         ""},
        {"capitals",
         Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA") + "</label><span class=\"FONTRED\">" +
             kJingIcp + kEnd,
         ""},
        {"zero byte in front", "<div>" + nul + Filing(kJingIcp), ""},
        {"zero byte in the number", Filing("1" + nul + "2"), ""},
        {"zero byte behind", Filing(kJingIcp) + nul, kJingIcp},
        {"lone lead byte in front", Hex("D6") + Filing(kJingIcp), ""},
        {"three lead bytes in front", kZhong + Hex("D6") + Filing(kJingIcp), ""},
        {"character in front", kZhong + Filing(kJingIcp), kJingIcp},
        {"letter in front", "a" + Filing(kJingIcp), kJingIcp},
        // An end marker behind a lone lead byte is skipped and the next one taken.
        {"end marker on a trail byte", Filing("12" + Hex("D6")) + "x" + kEnd,
         "12" + Hex("D6") + kEnd + "x"},
        {"end marker behind a character", Filing("12" + kZhong) + "x" + kEnd, "12" + kZhong},
        {"empty page", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilingNo(c.page), c.expected) << c.what;
    }
    EXPECT_EQ(lookup::TextBetween(Filing("1"), "", kEnd), "");  // empty marker: not found
}

// The marker search carries the lead-byte run forward instead of walking back for every
// candidate; it must agree with the plain definition on pages dense in lead bytes. Pages up to
// a few hundred bytes and markers up to six take the byte search through its 64-, 16- and
// 1-byte steps and their edges.
TEST(TextBetween, MarkerSearchAgreesWithTheTrailByteTestOnRandomPages) {
    const char alphabet[] = {'\xD6', '\xD0', '\xB1', '<', '/', 'a'};
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> pick(0, 60), len(0, 300);
    auto random = [&](int n) {  // now and then a zero byte
        std::string s(static_cast<std::size_t>(n), ' ');
        for (char& c : s) {
            const int k = pick(rng);
            c = k < 60 ? alphabet[k % 6] : '\0';
        }
        return s;
    };
    for (int n = 0; n < 20000; ++n) {
        const std::string page = random(len(rng)), marker = random(1 + len(rng) % 6);
        ASSERT_EQ(lookup::FindMarker(page, marker), cytest::ReferenceFindMarker(page, marker));
    }
}

TEST(RegexGroupText, FieldPatternCases) {
    const std::string kMou = Hex("C4B3 C4B3");                                 // 某某
    const std::string kCo = Hex("B9AB CBBE");                                  // 公司
    const std::string kName = Hex("C4B3 C4B3 BFC6 BCBC D3D0 CFDE B9AB CBBE");  // 某某科技有限公司
    struct Case {
        const char* what;
        std::string page, expected;
    } cases[] = {
        {"one fragment", "<div>" + Sponsor(kName) + "\r\n", kName},
        {"two fragments joined", Sponsor(Hex("BCD7") + kCo) + "\n" + Sponsor(Hex("D2D2") + kCo),
         Hex("BCD7") + kCo + Hex("D2D2") + kCo},  // 甲公司乙公司
        {"split by LF", Sponsor("A\nB"), ""},
        {"split by CR", Sponsor("A\rB") + Sponsor(kName), kName},
        {"split by VT", Sponsor("A\vB") + Sponsor(kName), kName},
        {"split by FF", Sponsor("A\fB") + Sponsor(kName), kName},
        {"split by 0x85", Sponsor("A" + Hex("85") + "B") + Sponsor(kName), kName},
        {"name holding 畢", Sponsor(Hex("AE85") + kCo), ""},
        {"tags kept", Sponsor(kMou + "<b>" + kCo + "</b>"), kMou + "<b>" + kCo + "</b>"},
        {"first of two end tags", Sponsor(kName) + kEnd, kName},
        {"behind a zero byte", std::string(3, '\0') + Sponsor(kName), kName},
        {"zero byte in the value", Sponsor(std::string("a\0b", 3)), std::string("a\0b", 3)},
        {"label on a trail byte", Hex("D6") + Sponsor(kName), kName},  // no boundary test
        {"capitals",
         Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + "</label><span class=\"FONTRED\">x" + kEnd,
         ""},
        {"review date only", ReviewDate("2010-05-20"), ""},
        {"empty page", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SponsorOf(c.page), c.expected) << c.what;
    }
    EXPECT_EQ(lookup::RegexGroupText(Sponsor(kName) + ReviewDate("2010-05-20"), kReviewPattern),
              "2010-05-20");
}

TEST(RegexGroupText, MatchLoopRules) {
    struct Case {
        const char* what;
        std::string page, pattern, expected;
    } cases[] = {
        {"matches do not overlap", "aaaaa", "(aa)", "aaaa"},
        {"empty matches are refused", "bab", "(a*)", "a"},
        {"no group 1", "abc", "b", ""},
        {"group 1 not taking part", "yy", "(x)?y", ""},
        {"only group 1 is taken", "ab", "(a)(b)", "a"},
        {"pattern ends at its zero byte", "xa", std::string("(a)\0x", 5), "a"},
        {"any newline ends dot",
         "a\x85"
         "b\r\nc",
         "(.+)", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lookup::RegexGroupText(c.page, c.pattern), c.expected) << c.what;
    }
}

// Patterns of the shape literal "(.*?)" literal are matched line by line; the result must be
// the plain loop's on pages that make the plain loop work hard, and with literals that overlap.
TEST(RegexGroupText, LineByLineAgreesWithThePlainLoop) {
    const std::string kName = Hex("C4B3 C4B3 B9AB CBBE");  // 某某公司
    const std::string kLabel = Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + kLabelEnd;
    std::string hostile;  // labels without an end tag on one line
    for (int i = 0; i < 300; ++i) {
        hostile += kLabel + kName + "</span>";
    }
    struct Case {
        const char* what;
        std::string page, pattern;
    } cases[] = {
        {"hostile line, then a fragment", hostile + "\r\n" + Sponsor(kName), kSponsorPattern},
        {"fragment, then a hostile rest", Sponsor(kName) + hostile + "\n" + Sponsor("x"),
         kSponsorPattern},
        {"hostile rest behind the last end tag", hostile + kEnd + hostile, kSponsorPattern},
        {"fragments on lines ended by each newline byte",
         Sponsor("1") + "\r" + Sponsor("2") + "\v" + Sponsor("3") + "\f" + Sponsor("4") +
             Hex("85") + Sponsor("5") + "\n" + Sponsor("6"),
         kSponsorPattern},
        {"value split by a newline byte", kLabel + "a" + Hex("85") + "b" + kEnd + kEnd,
         kSponsorPattern},
        {"zero bytes", std::string("\0\n", 2) + Sponsor(std::string("\0", 1)) + '\0',
         kSponsorPattern},
        {"review date among sponsors",
         Sponsor("x") + ReviewDate("2010") + hostile + ReviewDate("9"), kReviewPattern},
        {"overlapping literals", "abab ba\nababa\nbaba ab ba\nab\nba", "ab(.*?)ba"},
        {"self-overlapping literals", "aaaaa\naaa aa aaaa\naa\raa", "aa(.*?)aa"},
        {"escaped slashes", "a/x/a/y/a\n/a/", R"(a\/(.*?)\/a)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lookup::RegexGroupText(c.page, c.pattern),
                  lookup::RegexGroupTextPlain(c.page, c.pattern))
            << c.what;
    }
    EXPECT_EQ(SponsorOf(hostile + "\r\n" + Sponsor(kName)), kName);
    // Also a pattern whose tail holds a byte its prefix lacks (PCRE then looks for that byte
    // before each attempt, so measuring an attempt's cost needs that byte within reach): a
    // 4 MB line of prefixes, hours for the plain loop, takes a scan.
    EXPECT_EQ(lookup::RegexGroupText(std::string(4 << 20, 'a') + "\naxb", "a(.*?)b"), "x");
}

// The plain loop stops at the first attempt that exceeds PCRE's match limit: a label followed
// by more bytes than the limit allows up to the line's end. Around that length, the fragment on
// the next line must be found by both or by neither; with a small limit and with the library's.
TEST(RegexGroupText, LineByLineStopsAtTheMatchLimitLikeThePlainLoop) {
    const std::string kLabel = Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + kLabelEnd;
    unsigned long libraryLimit = 0;
    pcre_config(PCRE_CONFIG_MATCH_LIMIT, &libraryLimit);
    struct Case {
        unsigned long limit;  // 0: the library's
        unsigned long around;
    } cases[] = {{100, 100}, {333, 333}, {0, libraryLimit}};
    for (const auto& c : cases) {
        int found = 0, stopped = 0;
        for (unsigned long r = c.around - 8; r <= c.around + 1; ++r) {
            const std::string page = "x" + kLabel + std::string(r, 'y') + "\n" + Sponsor("z");
            const std::string fast = lookup::RegexGroupText(page, kSponsorPattern, c.limit);
            ASSERT_EQ(fast, lookup::RegexGroupTextPlain(page, kSponsorPattern, c.limit))
                << c.limit << " " << r;
            (fast == "z" ? found : stopped) += 1;
            // A label closed at once is a match with an empty value: the search goes on behind
            // it, so the long rest of its line costs no attempt.
            const std::string closed =
                "x" + kLabel + kEnd + std::string(r, 'y') + "\n" + Sponsor("z");
            ASSERT_EQ(lookup::RegexGroupText(closed, kSponsorPattern, c.limit), "z") << r;
            ASSERT_EQ(lookup::RegexGroupTextPlain(closed, kSponsorPattern, c.limit), "z") << r;
        }
        EXPECT_GT(found, 0) << c.limit;  // both sides of the limit were reached
        EXPECT_GT(stopped, 0) << c.limit;
    }
}

TEST(RegexGroupText, RejectsEmptyAndMalformedPatterns) {
    auto message = [](const std::string& pattern) {
        try {
            lookup::RegexGroupText("", pattern);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message(""),
              "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first");
    EXPECT_EQ(message("ab("), "TPerlRegEx.Compile() - Error in regex at offset 3: missing )");
    EXPECT_EQ(message("a**"),
              "TPerlRegEx.Compile() - Error in regex at offset 2: nothing to repeat");
}

#define CY_STR2(x) #x
#define CY_STR(x) CY_STR2(x)

// The library the matcher runs on is the PCRE 8 the build found: its version string is the one
// of the header compiled against and of the package pkg-config named (a PCRE 8 built by hand but
// another one found first on the library path fails here).
TEST(RegexGroupText, RunsOnThePcre8ItWasBuiltAgainst) {
    const std::string version = pcre_version();
    EXPECT_EQ(PCRE_MAJOR, 8);
    EXPECT_EQ(version, CY_STR(PCRE_MAJOR) "." CY_STR(PCRE_MINOR) " " CY_STR(PCRE_DATE));
    EXPECT_EQ(version.substr(0, version.find(' ')), CY_PCRE_VERSION);
}

}  // namespace
