#include "table/DomainExport.h"

#include <sys/mount.h>
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

using cytest::ExpectCreateFailure;
using table::Cell;
using table::DomainTable;
using table::ExportKind;
using table::StagingMemo;
using testsupport::ReadBytes;
using testsupport::TempFolder;
using testsupport::WriteBytes;

// 京ICP备12345678号: a filing number as the lookup writes it.
const std::string kFilingNo =
    "\xBE\xA9ICP\xB1\xB8"
    "12345678\xBA\xC5";
const std::string kMark(table::NotFiledMark);
const std::string kNine(9, ' ');

// Rows never looked up, filed, marked not filed, and the mark with a blank after it, with a
// repeated domain last.
void FillTable(DomainTable& t) {
    const std::vector<std::string> domains{"a.com", "b.com", "c.com", "d.com", "b.com"};
    t.AppendDomainRows(domains);
    t.WriteCell(t.IdAt(1), Cell::FilingNo, kFilingNo);
    t.WriteCell(t.IdAt(2), Cell::FilingNo, kMark);
    t.WriteCell(t.IdAt(3), Cell::FilingNo, kMark + " ");
    t.WriteCell(t.IdAt(4), Cell::FilingNo, "X");
    t.WriteCell(t.IdAt(1), Cell::Sponsor, "not exported");
}

struct ExportCase {
    const char* name;
    ExportKind kind;
    std::string bytes;
};

class Export : public testing::TestWithParam<ExportCase> {};

TEST_P(Export, WritesTheRowsTakenAsExactBytes) {
    const ExportCase& c = GetParam();
    DomainTable t;
    FillTable(t);
    StagingMemo memo;
    table::BuildExportLines(t, c.kind, memo);
    EXPECT_EQ(memo.Text(), c.bytes);

    TempFolder folder;
    const std::string path = folder / "out.txt";
    table::WriteExportFile(path, memo.Text());
    EXPECT_EQ(ReadBytes(path), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Export,
                         testing::Values(ExportCase{"All", ExportKind::AllRows,
                                                    "a.com" + kNine + "\r\n" +                  //
                                                        "b.com" + kNine + kFilingNo + "\r\n" +  //
                                                        "c.com" + kNine + kMark + "\r\n" +      //
                                                        "d.com" + kNine + kMark + " \r\n" +     //
                                                        "b.com" + kNine + "X\r\n"},
                                         ExportCase{"Filed", ExportKind::FiledRows,
                                                    "a.com" + kNine + "\r\n" +                  //
                                                        "b.com" + kNine + kFilingNo + "\r\n" +  //
                                                        "d.com" + kNine + kMark + " \r\n" +     //
                                                        "b.com" + kNine + "X\r\n"},
                                         ExportCase{"Unfiled", ExportKind::UnfiledDomains,
                                                    "c.com\r\n"}),
                         [](const auto& info) { return info.param.name; });

TEST(Export, NoRowTakenGivesAnEmptyFile) {
    TempFolder folder;
    DomainTable empty;
    DomainTable filedOnly;
    const std::vector<std::string> one{"a.com"};
    filedOnly.AppendDomainRows(one);
    filedOnly.WriteCell(filedOnly.IdAt(0), Cell::FilingNo, kFilingNo);
    for (const DomainTable* t : {&empty, &filedOnly}) {
        for (ExportKind kind :
             {ExportKind::AllRows, ExportKind::FiledRows, ExportKind::UnfiledDomains}) {
            if (t == &filedOnly && kind != ExportKind::UnfiledDomains) {
                continue;
            }
            StagingMemo memo;
            table::BuildExportLines(*t, kind, memo);
            const std::string path = folder / "out.txt";
            WriteBytes(path, "old contents");
            table::WriteExportFile(path, memo.Text());
            EXPECT_TRUE(std::filesystem::is_regular_file(path));
            EXPECT_EQ(ReadBytes(path), "");
        }
    }
}

TEST(ExportFile, NameIsUsedExactlyAsGiven) {
    TempFolder folder;
    table::WriteExportFile(folder / "domains", "a\r\n");
    EXPECT_EQ(ReadBytes(folder / "domains"), "a\r\n");
    // Nothing else is left in the folder: no extension added, no temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

TEST(ExportFile, ReplacesAnExistingFileKeepingItsPermissions) {
    TempFolder folder;
    const std::string path = folder / "out.txt";
    WriteBytes(path, std::string(1000, 'o'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    table::WriteExportFile(path, "new\r\n");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);

    // A name that is a link replaces the file it points to and stays a link.
    const std::string link = folder / "link.txt";
    std::filesystem::create_symlink(path, link);
    table::WriteExportFile(link, "through the link\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(path), "through the link\r\n");
}

TEST(ExportFailure, UncreatableNamesGiveTheExactMessage) {
    TempFolder folder;
    ExpectCreateFailure(folder / "missing/out.txt", "No such file or directory");
    ExpectCreateFailure(folder.Path().string(), "Is a directory");
    ExpectCreateFailure("no-such-folder-here/out.txt", "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST(ExportFailure, FullDeviceGivesStreamWriteError) {
    try {
        table::WriteExportFile("/dev/full", "a.com\r\n");
        FAIL() << "no exception";
    } catch (const table::StreamWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    // An empty text writes nothing, so nothing fails.
    EXPECT_NO_THROW(table::WriteExportFile("/dev/full", ""));
}

// A small tmpfs mounted on a new folder for one test.
cytest::ScopedMount TinyFileSystem(const std::filesystem::path& where) {
    std::filesystem::create_directory(where);
    return cytest::ScopedMount("tmpfs", where, "tmpfs", 0, "size=64k");
}

TEST(ExportFailure, FullDiskKeepsTheOldFile) {
    TempFolder folder;
    auto disk = TinyFileSystem(folder.Path() / "disk");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string path = folder / "disk/out.txt";
    WriteBytes(path, "old\r\n");
    EXPECT_THROW(table::WriteExportFile(path, std::string(200 * 1024, 'x')),
                 table::StreamWriteError);
    EXPECT_EQ(ReadBytes(path), "old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path() / "disk"), {}), 1);
    // A text that fits still replaces it.
    table::WriteExportFile(path, "new\r\n");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
}

TEST(ExportFailure, ReadOnlyFileIsNotCreated) {
    TempFolder folder;
    auto disk = TinyFileSystem(folder.Path() / "disk");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string existing = folder / "disk/out.txt";
    WriteBytes(existing, "old\r\n");
    if (!disk.MakeReadOnly()) {
        GTEST_SKIP() << "cannot make the tmpfs read-only";
    }
    ExpectCreateFailure(existing, "Read-only file system");
    EXPECT_EQ(ReadBytes(existing), "old\r\n");
    ExpectCreateFailure(folder / "disk/new.txt", "Read-only file system");
}

TEST(ExportFailure, ReadOnlyFileForAnOrdinaryUser) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes files whatever their permissions";
    }
    TempFolder folder;
    const std::string path = folder / "out.txt";
    WriteBytes(path, "old\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ExpectCreateFailure(path, "Permission denied");
    EXPECT_EQ(ReadBytes(path), "old\r\n");
}

}  // namespace
