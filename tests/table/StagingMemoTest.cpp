#include "table/StagingMemo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using table::StagingMemo;
using Lines = std::vector<std::string>;

Lines LinesOf(const StagingMemo& memo) {
    Lines out;
    for (std::string_view line : memo.Lines()) {
        out.emplace_back(line);
    }
    // Lines() and Line(i) must agree.
    EXPECT_EQ(out.size(), memo.LineCount());
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(memo.Line(i), out[i]) << "line " << i;
    }
    return out;
}

struct LoadCase {
    const char* name;
    std::string input;
    std::string text;  // the memo's text afterwards
    Lines lines;
};

class MemoLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(MemoLoad, MakesBreaksUniformAndSplitsLines) {
    const LoadCase& c = GetParam();
    StagingMemo memo;
    memo.Load(c.input);
    EXPECT_EQ(memo.Text(), c.text);
    EXPECT_EQ(LinesOf(memo), c.lines);
    // Loading the memo's own text again changes nothing.
    StagingMemo again;
    again.Load(memo.Text());
    EXPECT_EQ(again.Text(), c.text);
    EXPECT_EQ(LinesOf(again), c.lines);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Breaks, MemoLoad,
    testing::Values(
        LoadCase{"CrLf", "A\r\nB\r\n", "A\r\nB\r\n", {"A", "B"}},
        LoadCase{"NoFinalBreak", "A\r\nB", "A\r\nB", {"A", "B"}},
        LoadCase{"LoneLf", "A\nB\n", "A\r\nB\r\n", {"A", "B"}},
        LoadCase{"LoneCr", "A\rB\r", "A\r\nB\r\n", {"A", "B"}},
        LoadCase{"Mixed", "A\r\nB\nC\rD", "A\r\nB\r\nC\r\nD", {"A", "B", "C", "D"}},
        // LF then CR are two breaks, not one reversed pair.
        LoadCase{"LfCr", "A\n\rB", "A\r\n\r\nB", {"A", "", "B"}},
        LoadCase{"CrCrLf", "A\r\r\nB", "A\r\n\r\nB", {"A", "", "B"}},
        LoadCase{"CrLfCrLf", "A\r\n\r\n", "A\r\n\r\n", {"A", ""}},
        LoadCase{"EmptyLineBetween", "A\r\n\r\nB\r\n", "A\r\n\r\nB\r\n", {"A", "", "B"}},
        LoadCase{"Empty", "", "", {}}, LoadCase{"OnlyCrLf", "\r\n", "\r\n", {""}},
        LoadCase{"OnlyLf", "\n", "\r\n", {""}}, LoadCase{"OneLineNoBreak", "A", "A", {"A"}},
        LoadCase{"BlanksAndTabsKept", " \tA \t\r\n\t", " \tA \t\r\n\t", {" \tA \t", "\t"}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Bytes, MemoLoad,
    testing::Values(
        LoadCase{"Utf8BomKept",
                 "\xEF\xBB\xBF"
                 "a.com\r\nb.com",
                 "\xEF\xBB\xBF"
                 "a.com\r\nb.com",
                 {"\xEF\xBB\xBF"
                  "a.com",
                  "b.com"}},
        LoadCase{"ZeroByteEndsText", "A\r\nB\0C\r\nD"s, "A\r\nB", {"A", "B"}},
        LoadCase{"ZeroByteFirst", "\0A\r\n"s, "", {}},
        // 备案 (B1 B8 B0 B8) followed by a break: whole characters, the break stays a break.
        LoadCase{"GbkThenBreak",
                 "\xB1\xB8\xB0\xB8\nx",
                 "\xB1\xB8\xB0\xB8\r\nx",
                 {"\xB1\xB8\xB0\xB8", "x"}},
        // A lead byte takes the CR after it, so only the LF breaks the line.
        LoadCase{"LeadByteTakesCr", "a\x81\r\nb", "a\x81\r\r\nb", {"a\x81\r", "b"}},
        LoadCase{"LeadByteTakesLf", "a\xFE\nb", "a\xFE\nb", {"a\xFE\nb"}},
        // 0x80 and 0xFF are single-byte characters.
        LoadCase{"NotLeadBytes", "\x80\n\xFF\r", "\x80\r\n\xFF\r\n", {"\x80", "\xFF"}},
        LoadCase{"LeadByteAtEnd", "a\r\nb\xB1", "a\r\nb\xB1", {"a", "b\xB1"}},
        LoadCase{"LeadByteBeforeZero", "a\xB1\0\nb"s, "a\xB1", {"a\xB1"}}),
    [](const auto& info) { return info.param.name; });

TEST(StagingMemo, LineIsCutAt4096BytesWithoutSplittingACharacter) {
    const std::string longLine(5000, 'a');
    // Byte 4095 begins a double-byte character: the cut goes before it.
    const std::string straddling = std::string(4095, 'b') + "\xB1\xB8" + "tail";
    StagingMemo memo;
    memo.Load(longLine + "\r\n" + straddling + "\r\nshort");
    ASSERT_EQ(memo.LineCount(), 3u);
    EXPECT_EQ(memo.Line(0), std::string(4096, 'a'));
    EXPECT_EQ(memo.Line(1), std::string(4095, 'b'));
    EXPECT_EQ(memo.Line(2), "short");
    // The text itself keeps every byte, and a long line is never split into more lines.
    EXPECT_EQ(memo.Text().size(), 5000u + 2 + straddling.size() + 2 + 5);
    EXPECT_THROW(static_cast<void>(memo.Line(3)), std::out_of_range);
}

struct AppendCase {
    const char* name;
    std::string loaded;
    Lines appended;
    std::string text;
    Lines lines;
};

class MemoAppend : public testing::TestWithParam<AppendCase> {};

TEST_P(MemoAppend, AddsLinesWhereTheLineCountBegins) {
    const AppendCase& c = GetParam();
    StagingMemo memo;
    memo.Load(c.loaded);
    for (const std::string& s : c.appended) {
        memo.AppendLine(s);
    }
    EXPECT_EQ(memo.Text(), c.text);
    EXPECT_EQ(LinesOf(memo), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoAppend,
    testing::Values(
        AppendCase{"ToEmpty",
                   "",
                   {"x", "", "\xC3\xBB\xD3\xD0 "},
                   "x\r\n\r\n\xC3\xBB\xD3\xD0 \r\n",
                   {"x", "", "\xC3\xBB\xD3\xD0 "}},
        AppendCase{"AfterFinalBreak", "A\r\n", {"B"}, "A\r\nB\r\n", {"A", "B"}},
        AppendCase{"AfterEmptyLines", "\r\n\r\n", {"B"}, "\r\n\r\nB\r\n", {"", "", "B"}},
        // A text without a final break gets the break before the new line and none after.
        AppendCase{"NoFinalBreak", "A", {"B", "C"}, "A\r\nB\r\nC", {"A", "B", "C"}},
        // A line ending in a lone lead byte still ends at the CR LF added after it.
        AppendCase{"LeadByteAtEnd", "", {"a\x81", "b"}, "a\x81\r\nb\r\n", {"a\x81", "b"}},
        AppendCase{"LongLine",
                   "",
                   {std::string(5000, 'z')},
                   std::string(5000, 'z') + "\r\n",
                   {std::string(4096, 'z')}}),
    [](const auto& info) { return info.param.name; });

TEST(StagingMemo, ClearAndLoadReplaceEverything) {
    StagingMemo memo;
    memo.AppendLine("old");
    memo.Load("new\n");
    EXPECT_EQ(memo.Text(), "new\r\n");
    memo.Clear();
    EXPECT_EQ(memo.Text(), "");
    EXPECT_EQ(memo.LineCount(), 0u);
    memo.AppendLine("a");
    EXPECT_EQ(memo.Text(), "a\r\n");
}

TEST(StagingMemo, TextBeyondCapacityFailsAndLeavesTheMemoEmpty) {
    using table::MemoCapacityExceeded;
    StagingMemo memo;
    memo.Load("before");
    // Too many bytes once every lone LF has grown into CR LF.
    std::string grows(StagingMemo::kCapacityBytes - 1, 'a');
    grows[10] = '\n';
    grows[20] = '\n';
    try {
        memo.Load(grows);
        FAIL() << "no exception";
    } catch (const MemoCapacityExceeded& e) {
        EXPECT_STREQ(e.what(), "Text exceeds memo capacity");
    }
    EXPECT_EQ(memo.LineCount(), 0u);
    EXPECT_EQ(memo.Text(), "");
    // The same text with one break fewer fits exactly.
    grows[20] = 'a';
    memo.Load(grows);
    EXPECT_EQ(memo.Text().size(), StagingMemo::kCapacityBytes);
    EXPECT_EQ(memo.LineCount(), 2u);
    EXPECT_THROW(memo.AppendLine(""), MemoCapacityExceeded);
    EXPECT_EQ(memo.LineCount(), 2u);
    memo.Clear();
    grows = std::string();

    // Too many lines, even in few bytes.
    EXPECT_THROW(memo.Load(std::string(StagingMemo::kCapacityLines + 1, '\n')),
                 MemoCapacityExceeded);
    EXPECT_EQ(memo.Text(), "");
    memo.Load(std::string(StagingMemo::kCapacityLines, '\n'));
    EXPECT_EQ(memo.LineCount(), StagingMemo::kCapacityLines);
}

}  // namespace
