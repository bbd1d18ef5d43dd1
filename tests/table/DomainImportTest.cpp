#include "table/DomainImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FileFailures.h"

#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "table/FileError.h"

namespace {

using cytest::ExpectOpenFailure;
using table::Cell;
using table::DomainTable;
using table::StagingMemo;
using testsupport::TempFolder;

struct Row {
    std::string caption;
    std::string domain;
    bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.caption << ", \"" << r.domain << "\"}";
}

std::vector<Row> RowsOf(const DomainTable& t) {
    std::vector<Row> rows;
    t.ForEachRow([&](const table::DomainRow& r) {
        rows.push_back({r.Caption(), r[Cell::Domain]});
        EXPECT_EQ(r[Cell::FilingNo], "");
        EXPECT_EQ(r[Cell::Sponsor], "");
        EXPECT_EQ(r[Cell::ReviewDate], "");
    });
    return rows;
}

struct ImportCase {
    const char* name;
    std::string fileName;
    std::string bytes;
    std::vector<Row> newRows;  // rows after the three already in the table
};

class Import : public testing::TestWithParam<ImportCase> {};

TEST_P(Import, AppendsOneRowPerLineAfterTheExistingRows) {
    const ImportCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / c.fileName;
    testsupport::WriteBytes(path, c.bytes);

    DomainTable t;
    const std::vector<std::string> existing{"x.com", "y.com", "z.com"};
    t.AppendDomainRows(existing);
    StagingMemo memo;
    memo.AppendLine("left over from an earlier use");
    table::ImportDomainFile(path, memo, t);

    std::vector<Row> expected{{"1", "x.com"}, {"2", "y.com"}, {"3", "z.com"}};
    expected.insert(expected.end(), c.newRows.begin(), c.newRows.end());
    EXPECT_EQ(RowsOf(t), expected);
    // The memo keeps the file's text.
    EXPECT_EQ(memo.LineCount(), c.newRows.size());
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, Import,
    testing::Values(
        ImportCase{"TwoLines", "d.txt", "a.com\r\nb.com\r\n", {{"1", "a.com"}, {"2", "b.com"}}},
        ImportCase{"EmptyFile", "d.txt", "", {}},
        ImportCase{"OnlyCrLf", "d.txt", "\r\n", {{"1", ""}}},
        ImportCase{"BomKept",
                   "d.txt",
                   "\xEF\xBB\xBF"
                   "a.com\r\n",
                   {{"1",
                     "\xEF\xBB\xBF"
                     "a.com"}}},
        ImportCase{
            "ZeroByte", "d.txt", "a.com\r\nb.c\0om\r\nc.com"s, {{"1", "a.com"}, {"2", "b.c"}}},
        ImportCase{"NoExtension", "list", "a.com", {{"1", "a.com"}}}),
    [](const auto& info) { return info.param.name; });

TEST(ImportFailure, MissingFileAndFolderGiveTheExactMessage) {
    TempFolder folder;
    ExpectOpenFailure(folder / "missing.txt", "No such file or directory");
    ExpectOpenFailure(folder.Path().string(), "Is a directory");
    // A relative name is shown as a full path.
    ExpectOpenFailure("no-such-folder-here/list.txt", "No such file or directory");
}

TEST(ImportFailure, UnreadableFileGivesTheExactMessage) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permissions";
    }
    TempFolder folder;
    const std::string path = folder / "locked.txt";
    testsupport::WriteBytes(path, "a.com\r\n");
    ::chmod(path.c_str(), 0);
    ExpectOpenFailure(path, "Permission denied");
}

TEST(ImportFailure, FileBeyondCapacityIsRefusedBeforeReading) {
    TempFolder folder;
    const std::string path = folder / "huge.txt";
    // A sparse file: refused by its size, so the test neither writes nor reads 256 MiB.
    testsupport::WriteBytes(path, "");
    ASSERT_EQ(::truncate(path.c_str(), StagingMemo::kCapacityBytes + 1), 0);
    DomainTable t;
    StagingMemo memo;
    EXPECT_THROW(table::ImportDomainFile(path, memo, t), table::MemoCapacityExceeded);
    EXPECT_EQ(t.RowCount(), 0u);
}

TEST(ImportSpecialFiles, PipesAndDevicesGiveWhatIsWaitingWithoutBlocking) {
    TempFolder folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // No writer: nothing to read, and no wait for one.
    EXPECT_EQ(table::ReadDomainFile(fifo), "");

    // A writer that keeps the pipe open: the bytes already written, then no wait for more.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "a.com\nb.com", 11), 11);
    EXPECT_EQ(table::ReadDomainFile(fifo), "a.com\nb.com");
    ::close(writer);

    // An endless device ends at its first zero byte.
    EXPECT_EQ(table::ReadDomainFile("/dev/zero"), "");
    EXPECT_EQ(table::ReadDomainFile("/dev/null"), "");
}

}  // namespace
