// Each loop of the byte searches (AVX2, SSE2, plain), forced in turn, against the plain
// std::string_view::find and a byte-by-byte newline scan. The texts are views into longer
// buffers whose bytes past the end (and before the start) would complete a match or hold a
// newline, so a loop that reads outside its range gives a wrong answer here.
#include "lookup/ByteSearch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using lookup::bytes::kNone;
using lookup::bytes::Path;

// Lengths on both sides of the 16- and 64-byte steps.
constexpr std::size_t kLengths[] = {0,  1,  2,  15, 16, 17, 31,  32,  33,  47,  63,
                                    64, 65, 66, 79, 80, 95, 127, 128, 129, 130, 191};

struct Search {
    std::string buffer;  // the text followed by bytes the search must not see
    std::size_t size;    // of the text
    std::string needle;
    std::size_t from;
};

// Needles of one byte (the memchr step), two (no inner bytes), a few, and one longer than a
// step, with zero and high bytes. The filler repeats the needle with one inner byte changed, so
// every offset is a candidate of first and last byte; the text holds the needle at `at` (or
// nowhere when at is beyond it) and ends with a prefix of the needle that the bytes after it
// would complete.
std::vector<Search> FindCases() {
    const std::string needles[] = {"<", std::string("\x85\0", 2), "<span>",
                                   std::string("\xD6\xD0\0\xFF\x80", 5),
                                   "</label><span class=\"fontred\">x"};
    std::vector<Search> cases;
    for (const std::string& needle : needles) {
        std::string decoy = needle;
        if (decoy.size() > 2) {
            decoy[decoy.size() / 2] ^= 0x20;
        }
        for (const std::size_t n : kLengths) {
            std::string filler;
            while (filler.size() < n + needle.size()) {
                filler += needle.size() > 2    ? decoy
                          : needle.size() == 2 ? needle.substr(0, 1)
                                               : "a";
            }
            for (std::size_t at = 0; at <= n + 1; ++at) {
                std::string text = filler.substr(0, n);
                if (at + needle.size() <= n) {
                    text.replace(at, needle.size(), needle);
                }
                // A needle that reaches into the last m - 1 bytes stays whole.
                const bool placedAtEnd = at + needle.size() <= n && at + 2 * needle.size() > n + 1;
                const std::size_t tail = placedAtEnd ? 0 : std::min(n, needle.size() - 1);
                text.replace(n - tail, tail, needle.substr(0, tail));
                for (const std::size_t from : {std::size_t{0}, at, at + 1, n}) {
                    cases.push_back({text + needle.substr(tail), n, needle, from});
                }
            }
        }
    }
    cases.push_back({"abc", 3, "", 3});       // an empty needle is found at `from`
    cases.push_back({"abc", 3, "", 4});       // but not beyond the text
    cases.push_back({"abcd", 3, "abcd", 0});  // longer than the text
    cases.push_back({std::string(70, 'a') + "b", 70, "ab", 0});
    return cases;
}

struct NewlineSearch {
    std::string text;
    std::size_t from, to;  // the range searched; the bytes around it are newlines
};

// Every newline byte, and the bytes beside them that are none, at each offset of ranges on both
// sides of the 16-byte step.
std::vector<NewlineSearch> NewlineCases() {
    const char newlines[] = {'\x0A', '\x0B', '\x0C', '\x0D', '\x85'};
    const std::string others("\x09\x0E\x84\x86\x8A\x8D\x00\xFF\x20", 9);
    std::vector<NewlineSearch> cases;
    for (const std::size_t n : kLengths) {
        std::string range;
        for (std::size_t k = 0; k < n; ++k) {
            range += others[k % others.size()];
        }
        for (std::size_t at = 0; at <= n; ++at) {
            for (const char nl : newlines) {
                std::string inside = range;
                if (at < n) {
                    inside[at] = nl;
                }
                cases.push_back({"\n" + inside + "\n", 1, n + 1});
                if (at + 1 < n) {  // a second newline: the first and the last differ
                    inside[n - 1] = '\r';
                    cases.push_back({"\n" + inside + "\n", 1, n + 1});
                }
            }
        }
    }
    return cases;
}

std::size_t PlainFirstNewline(const NewlineSearch& c) {
    for (std::size_t i = c.from; i < c.to; ++i) {
        if (lookup::bytes::IsAnyNewline(static_cast<unsigned char>(c.text[i]))) {
            return i;
        }
    }
    return c.to;
}

std::size_t PlainLastNewline(const NewlineSearch& c) {
    for (std::size_t i = c.to; i > c.from; --i) {
        if (lookup::bytes::IsAnyNewline(static_cast<unsigned char>(c.text[i - 1]))) {
            return i - 1;
        }
    }
    return kNone;
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (const unsigned char b : bytes) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        out += b >= 0x20 && b < 0x7F ? std::string(1, static_cast<char>(b)) : hex;
    }
    return out;
}

class ByteSearchPath : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override {
        if (!lookup::bytes::Has(GetParam())) {
            GTEST_SKIP() << "this processor or build has no such path; it would run a narrower one";
        }
    }
};

TEST_P(ByteSearchPath, FindAgreesWithThePlainSearch) {
    for (const Search& c : FindCases()) {
        const std::string_view text(c.buffer.data(), c.size);
        ASSERT_EQ(lookup::bytes::Find(GetParam(), text, c.needle, c.from),
                  text.find(c.needle, c.from))
            << "text \"" << Printable(text) << "\" needle \"" << Printable(c.needle) << "\" from "
            << c.from;
    }
}

TEST_P(ByteSearchPath, NewlineSearchesAgreeWithTheByteByByteScan) {
    for (const NewlineSearch& c : NewlineCases()) {
        ASSERT_EQ(lookup::bytes::FindNewline(GetParam(), c.text, c.from, c.to),
                  PlainFirstNewline(c))
            << Printable(c.text);
        ASSERT_EQ(lookup::bytes::FindLastNewline(GetParam(), c.text, c.from, c.to),
                  PlainLastNewline(c))
            << Printable(c.text);
    }
}

std::string PathName(const ::testing::TestParamInfo<Path>& info) {
    switch (info.param) {
        case Path::Avx2:
            return "Avx2";
        case Path::Sse2:
            return "Sse2";
        case Path::Plain:
            return "Plain";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(, ByteSearchPath, ::testing::Values(Path::Avx2, Path::Sse2, Path::Plain),
                         PathName);

}  // namespace
