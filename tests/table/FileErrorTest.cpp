#include "table/FileError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>

namespace {

// "没有那个文件或目录" (glibc's Chinese text for ENOENT) in GBK.
const std::string kNoSuchFileGbk =
    "\xC3\xBB\xD3\xD0\xC4\xC7\xB8\xF6\xCE\xC4\xBC\xFE\xBB\xF2\xC4\xBF\xC2\xBC";

struct LocaleCase {
    const char* locale;
    std::string noSuchFile;  // SystemErrorText(ENOENT) under that locale
};

class SystemErrorUnderLocale : public testing::TestWithParam<LocaleCase> {
protected:
    void SetUp() override {
        // LANGUAGE would override the locale's message language.
        unsetenv("LANGUAGE");
        if (!std::setlocale(LC_ALL, GetParam().locale)) {
            GTEST_FAIL() << "locale " << GetParam().locale << " missing: run scripts/setup";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

// The system's text arrives in the locale's character set and leaves as GBK, however the
// locale spells Chinese; the messages built on it carry the same bytes.
TEST_P(SystemErrorUnderLocale, GivesTheReasonInGbk) {
    EXPECT_EQ(table::SystemErrorText(ENOENT), GetParam().noSuchFile);
    const table::FileError e(table::FileError::Action::Open, "/x/a.txt",
                             table::SystemErrorText(ENOENT));
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"/x/a.txt\". " + GetParam().noSuchFile);
}

INSTANTIATE_TEST_SUITE_P(Locales, SystemErrorUnderLocale,
                         testing::Values(LocaleCase{"C", "No such file or directory"},
                                         LocaleCase{"zh_CN.UTF-8", kNoSuchFileGbk},
                                         LocaleCase{"zh_CN.GB18030", kNoSuchFileGbk}));

struct ConversionCase {
    const char* name;
    const char* codeset;
    std::string text;
    std::string gbk;
};

class LocaleText : public testing::TestWithParam<ConversionCase> {};

TEST_P(LocaleText, BecomesGbkWithQuestionMarksForWhatItCannotHold) {
    EXPECT_EQ(table::LocaleTextToGbk(GetParam().text, GetParam().codeset), GetParam().gbk);
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
