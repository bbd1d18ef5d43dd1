#include "table/DomainTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using table::Cell;
using table::DomainTable;

std::vector<std::string> Captions(const DomainTable& t) {
    std::vector<std::string> out;
    t.ForEachRow([&](const table::DomainRow& r) { out.push_back(r.Caption()); });
    return out;
}

TEST(DomainTable, NotFiledMarkIsItsEightGbkBytes) {
    EXPECT_EQ(table::NotFiledMark.size(), 8u);
    EXPECT_EQ(table::NotFiledMark, std::string_view("\xC3\xBB\xD3\xD0\xB1\xB8\xB0\xB8"));
    // The mark followed by a blank is another text.
    EXPECT_NE(std::string(table::NotFiledMark) + " ", table::NotFiledMark);
}

TEST(DomainTable, AppendKeepsLinesExactlyAndNumbersFromOne) {
    DomainTable t;
    const std::vector<std::string> lines{"example.com", "", " example.cn "};
    t.AppendDomainRows(lines);
    ASSERT_EQ(t.RowCount(), 3u);
    EXPECT_EQ(Captions(t), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(t.ReadCell(0, Cell::Domain), "example.com");
    EXPECT_EQ(t.ReadCell(1, Cell::Domain), "");
    EXPECT_EQ(t.ReadCell(2, Cell::Domain), " example.cn ");
    for (std::size_t i = 0; i < 3; ++i) {
        for (Cell c : {Cell::FilingNo, Cell::Sponsor, Cell::ReviewDate}) {
            EXPECT_EQ(t.ReadCell(i, c), "");
        }
    }
}

TEST(DomainTable, EveryAppendRestartsNumbering) {
    DomainTable t;
    const std::vector<std::string> four{"a", "b", "c", "d"}, two{"e", "f"}, none;
    t.AppendDomainRows(four);
    t.AppendDomainRows(none);
    t.AppendDomainRows(two);
    EXPECT_EQ(Captions(t), (std::vector<std::string>{"1", "2", "3", "4", "1", "2"}));
}

TEST(DomainTable, ClearedRowsAreMissingForReadsAndWrites) {
    DomainTable t;
    const std::vector<std::string> lines{"a", "b"};
    t.AppendDomainRows(lines);
    const auto read = t.ReadCellWithId(1, Cell::Domain);
    t.Clear();
    t.Clear();  // clearing an empty table is harmless
    EXPECT_EQ(t.RowCount(), 0u);
    EXPECT_THROW(t.ReadCell(0, Cell::Domain), table::RowMissing);
    EXPECT_THROW(t.WriteCell(read.id, Cell::FilingNo, "x"), table::RowMissing);

    // New rows at the same index have new identities: a late write for the old row misses.
    const std::vector<std::string> fresh{"c", "d"};
    t.AppendDomainRows(fresh);
    EXPECT_THROW(t.WriteCell(read.id, Cell::FilingNo, "x"), table::RowMissing);
    EXPECT_EQ(t.ReadCell(1, Cell::FilingNo), "");
    const auto now = t.ReadCellWithId(1, Cell::Domain);
    EXPECT_NE(now.id, read.id);
    t.WriteCell(now.id, Cell::FilingNo, "x");
    EXPECT_EQ(t.ReadCell(1, Cell::FilingNo), "x");
    EXPECT_EQ(t.IndexOf(now.id), 1u);
    EXPECT_EQ(t.IndexOf(read.id), std::nullopt);
}

TEST(DomainTable, TheDomainCellIsNotWritable) {
    DomainTable t;
    const std::vector<std::string> lines{"a"};
    t.AppendDomainRows(lines);
    EXPECT_THROW(t.WriteCell(t.IdAt(0), Cell::Domain, "b"), std::invalid_argument);
    EXPECT_EQ(t.ReadCell(0, Cell::Domain), "a");
}

TEST(DomainTable, DirtyRangeCoversWritesOfLiveRowsAndNotifiesOncePerBurst) {
    DomainTable t;
    int notified = 0;
    t.SetDirtyListener([&] { ++notified; });
    const std::vector<std::string> lines{"a", "b", "c", "d", "e"};
    t.AppendDomainRows(lines);
    t.WriteCell(t.IdAt(3), Cell::Sponsor, "s");
    t.WriteCell(t.IdAt(1), Cell::Sponsor, "s");
    t.WriteCell(t.IdAt(2), Cell::Sponsor, "s");
    EXPECT_EQ(notified, 1);
    auto range = t.TakeDirtyRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 1u);
    EXPECT_EQ(range->last, 3u);
    EXPECT_FALSE(t.TakeDirtyRange());

    // Writes made before a clear are dropped from the range.
    t.WriteCell(t.IdAt(4), Cell::Sponsor, "s");
    EXPECT_EQ(notified, 2);
    t.Clear();
    t.AppendDomainRows(lines);
    EXPECT_FALSE(t.TakeDirtyRange());
}

TEST(DomainTable, ConcurrentWritersAndAppendsKeepEveryRowConsistent) {
    DomainTable t;
    std::vector<std::string> lines(200);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i] = "d" + std::to_string(i);
    }
    t.AppendDomainRows(lines);
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&] {
            while (!stop) {
                for (std::size_t i = 0; i < 200; ++i) {
                    try {
                        auto read = t.ReadCellWithId(i, Cell::Domain);
                        t.WriteCell(read.id, Cell::FilingNo, read.text);
                    } catch (const table::RowMissing&) {
                    }
                }
            }
        });
    }
    for (int round = 0; round < 50; ++round) {
        t.Clear();
        t.AppendDomainRows(lines);
        (void)t.TakeDirtyRange();
    }
    stop = true;
    for (auto& w : writers) {
        w.join();
    }
    // Each written Filing number is the Domain of its own row.
    t.ForEachRow([](const table::DomainRow& r) {
        if (!r[Cell::FilingNo].empty()) {
            EXPECT_EQ(r[Cell::FilingNo], r[Cell::Domain]);
        }
    });
}

}  // namespace
