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

}  // namespace
