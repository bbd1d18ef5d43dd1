// Import and export against files that are not what a user means to pick: binaries, huge or
// sparse files, endless pipes, names that lead nowhere, targets that cannot take the text.
// Each ends with the right rows or the exact message, in bounded time and memory, and nothing
// already on disk is lost.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FileFailures.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PeakMemory.h"
#include "TempFolder.h"
#include "table/DomainExport.h"
#include "table/DomainImport.h"
#include "table/FileError.h"

namespace {

using namespace std::chrono_literals;
using cytest::ExpectCreateFailure;
using cytest::ExpectOpenFailure;
using table::Cell;
using table::DomainTable;
using table::StagingMemo;
using testsupport::PeakMemory;
using testsupport::ReadBytes;
using testsupport::TempFolder;
using testsupport::WriteBytes;

std::vector<std::string> DomainsOf(const DomainTable& t) {
    std::vector<std::string> domains;
    t.ForEachRow([&](const table::DomainRow& r) { domains.push_back(r[Cell::Domain]); });
    return domains;
}

std::size_t FilesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// --- Import -------------------------------------------------------------------------------

TEST(HostileImport, AnExecutableGivesTheRowBeforeItsFirstZeroByte) {
    // This test's own program: "\x7F" "ELF" and a few header bytes, then a zero byte.
    DomainTable t;
    StagingMemo memo;
    table::ImportDomainFile("/proc/self/exe", memo, t);
    const std::string program = ReadBytes("/proc/self/exe");
    const std::string head = program.substr(0, program.find('\0'));
    ASSERT_EQ(head.substr(0, 4),
              "\x7F"
              "ELF");
    ASSERT_LT(head.size(), 16u);
    EXPECT_EQ(DomainsOf(t), std::vector<std::string>{head});
}

TEST(HostileImport, BinaryBytesWithoutZeroBecomeTheMemosLines) {
    // A megabyte of every byte value but zero: lead bytes before CR and LF, lone CRs and LFs.
    std::string bytes;
    std::mt19937 random(20261208);
    while (bytes.size() < (1u << 20)) {
        const char c = static_cast<char>(random() % 255 + 1);
        bytes += c;
    }
    TempFolder folder;
    const std::string path = folder / "random.bin";
    WriteBytes(path, bytes);

    DomainTable t;
    StagingMemo memo;
    const auto start = std::chrono::steady_clock::now();
    table::ImportDomainFile(path, memo, t);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    // One row per memo line, and the rows put back together with CR LF are the memo's text:
    // no byte is lost or made up between the file's text and the table.
    const std::vector<std::string> domains = DomainsOf(t);
    ASSERT_EQ(domains.size(), memo.LineCount());
    ASSERT_GT(domains.size(), 1000u);
    std::string joined;
    for (const std::string& d : domains) {
        ASSERT_LT(d.size(), StagingMemo::kMaxLineBytes);  // no line of random bytes is that long
        joined += d;
        joined += "\r\n";
    }
    const std::string& text = memo.Text();
    const bool endsWithBreak = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    if (!endsWithBreak) {
        joined.resize(joined.size() - 2);
    }
    EXPECT_TRUE(joined == text);
    // Only breaks were added: the memo's text is the file with CR LF for each lone CR or LF.
    EXPECT_GE(text.size(), bytes.size());
}

TEST(HostileImport, SparseTwoGigabyteFileIsRefusedWithoutReadingIt) {
    TempFolder folder;
    const std::string path = folder / "sparse.txt";
    WriteBytes(path, "a.com\r\n");
    ASSERT_EQ(::truncate(path.c_str(), off_t{2} << 30), 0);

    DomainTable t;
    StagingMemo memo;
    memo.AppendLine("earlier");
    PeakMemory peak;
    try {
        table::ImportDomainFile(path, memo, t);
        FAIL() << "no exception";
    } catch (const table::MemoCapacityExceeded& e) {
        EXPECT_STREQ(e.what(), "Text exceeds memo capacity");
    }
    EXPECT_LT(peak.GrowthBytes(), std::size_t{16} << 20);
    EXPECT_EQ(t.RowCount(), 0u);
    EXPECT_EQ(memo.Text(), "");
}

TEST(HostileImport, TenMegabyteLineIsOneRowCutTo4096Bytes) {
    TempFolder folder;
    const std::string path = folder / "long.txt";
    WriteBytes(path, std::string(10 << 20, 'x') + "\r\nnext.cn\n");

    DomainTable t;
    StagingMemo memo;
    PeakMemory peak;
    table::ImportDomainFile(path, memo, t);
    // The file once as read, once in the memo, and slack: far below a copy per row or byte.
    EXPECT_LT(peak.GrowthBytes(), std::size_t{64} << 20);
    EXPECT_EQ(DomainsOf(t), (std::vector<std::string>{std::string(4096, 'x'), "next.cn"}));
}

TEST(HostileImport, PipeWithAnEndlessWriterEndsWithoutWaiting) {
    TempFolder folder;
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    std::string block;
    while (block.size() < 4000) {
        block += "a.cn\n";
    }
    // The pipe is full before the import begins, and the writer keeps it so.
    while (::write(writer, block.data(), block.size()) > 0) {
    }
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop) {
            if (::write(writer, block.data(), block.size()) < 0) {
                std::this_thread::yield();  // full: the importer is behind
            }
        }
    });

    DomainTable t;
    StagingMemo memo;
    const auto start = std::chrono::steady_clock::now();
    try {
        table::ImportDomainFile(fifo, memo, t);
        // It took what was waiting; every row is a whole or cut line of the stream.
        EXPECT_GT(t.RowCount(), 0u);
        for (const std::string& d : DomainsOf(t)) {
            ASSERT_TRUE(d.size() <= 4 && std::string("a.cn").compare(0, d.size(), d) == 0) << d;
        }
    } catch (const table::MemoCapacityExceeded&) {
        // A writer faster than the reader fills the memo instead; that ends it too.
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    stop = true;
    feeder.join();
    ::close(writer);
}

TEST(HostileImport, NamesThatLeadNowhereGiveTheExactMessage) {
    TempFolder folder;
    // The file a link named was removed after it was chosen.
    const std::string gone = folder / "gone.txt";
    WriteBytes(gone, "a.cn\r\n");
    std::filesystem::create_symlink(gone, folder / "link.txt");
    std::filesystem::remove(gone);
    ExpectOpenFailure(folder / "link.txt", "No such file or directory");
    // A file taken for a folder, a name longer than the system takes.
    WriteBytes(folder / "file.txt", "a.cn\r\n");
    ExpectOpenFailure(folder / "file.txt/a.txt", "Not a directory");
    ExpectOpenFailure(folder / std::string(300, 'n'), "File name too long");
}

// --- Export -------------------------------------------------------------------------------

TEST(HostileExport, ReadOnlyFileInAWritableFolderIsLeftAsItWas) {
    TempFolder folder;
    const std::string path = folder / "out.txt";
    const std::string old = "old.cn         \xC3\xBB\xD3\xD0\xB1\xB8\xB0\xB8\r\n";  // ... 没有备案
    WriteBytes(path, old);
    // The file is mounted read-only on itself; its folder stays writable.
    cytest::ScopedMount bind(path, path, nullptr, MS_BIND);
    if (!bind.MakeReadOnly(MS_BIND)) {
        GTEST_SKIP() << "cannot bind-mount a file read-only here";
    }
    ExpectCreateFailure(path, "Read-only file system");
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FilesIn(folder.Path()), 1u);  // no new file left beside it
}

TEST(HostileExport, TargetsThatCannotTakeTheTextGiveTheExactMessage) {
    TempFolder folder;
    // A pipe nobody reads: refused at once instead of waiting for a reader.
    const std::string fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    ExpectCreateFailure(fifo, "No such device or address");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // A link into a folder that was removed.
    std::filesystem::create_symlink(folder / "removed/out.txt", folder / "link.txt");
    ExpectCreateFailure(folder / "link.txt", "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(folder / "removed"));
    EXPECT_EQ(FilesIn(folder.Path()), 2u);
}

TEST(HostileExport, FullDeviceBehindALinkIsAStreamWriteError) {
    TempFolder folder;
    std::filesystem::create_symlink("/dev/full", folder / "full.txt");
    try {
        table::WriteExportFile(folder / "full.txt", "a.cn\r\n");
        FAIL() << "no exception";
    } catch (const table::StreamWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "full.txt"));  // still the link
}

}  // namespace
