#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace table {

// The four text cells of a domain row, in column order after the row caption.
enum class Cell : int { Domain = 0, FilingNo = 1, Sponsor = 2, ReviewDate = 3 };
inline constexpr int kCellCount = 4;

// "没有备案" in GBK: written into the Filing number cell of a domain whose page holds no
// filing number, and compared byte for byte by the exports.
inline constexpr std::string_view NotFiledMark{"\xC3\xBB\xD3\xD0\xB1\xB8\xB0\xB8", 8};

// Identity of a row that stays valid while the row exists; never reused for another row.
using RowId = std::uint64_t;

struct DomainRow {
    std::uint32_t number = 0;  // 1-based position within the append that added the row
    std::array<std::string, kCellCount> cells;
    // Why the row's last lookup failed (GBK); empty when it succeeded or none failed. Not a
    // cell: the view shows it as the row's tooltip and the exports never see it.
    std::string failure;

    std::string Caption() const { return std::to_string(number); }
    const std::string& operator[](Cell c) const { return cells[static_cast<int>(c)]; }
};

// A cell read together with the identity of the row it came from.
struct CellRead {
    RowId id;
    std::string text;
};

// Raised when a row index or a row id names no current row (for instance after a clear).
class RowMissing : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// The in-memory domain list. Every operation takes the table's lock, so any thread may call
// any of them; structural changes (append, clear) are made by the GUI thread through the view
// adapter, which brackets them with the model's begin/end notifications.
//
// Rows are only appended at the end or cleared all at once, so the ids of the current rows
// are consecutive: the row at index i has id FirstId() + i. That makes id <-> index O(1).
class DomainTable {
public:
    DomainTable() = default;
    DomainTable(const DomainTable&) = delete;
    DomainTable& operator=(const DomainTable&) = delete;

    // Appends one row per line, numbered 1..n for this call; Domain = the line unchanged,
    // the other cells empty.
    void AppendDomainRows(std::span<const std::string_view> lines);
    void AppendDomainRows(std::span<const std::string> lines);
    void Clear();

    std::size_t RowCount() const;
    DomainRow Row(std::size_t index) const;                    // throws RowMissing
    std::string ReadCell(std::size_t index, Cell c) const;     // throws RowMissing
    CellRead ReadCellWithId(std::size_t index, Cell c) const;  // throws RowMissing
    RowId IdAt(std::size_t index) const;                       // throws RowMissing
    std::optional<std::size_t> IndexOf(RowId id) const;

    // Replaces a result cell of the row with this id; throws RowMissing when that row is gone.
    // The Domain cell is never written after the append.
    void WriteCell(RowId id, Cell c, std::string text);
    // Records how the row's latest lookup ended: an empty reason is a success (the page was
    // fetched and read), any other the reason of a failure, kept on the row. Throws RowMissing
    // when that row is gone. A change of the reason counts as a write for the view.
    void SetFailure(RowId id, std::string reason);
    std::string Failure(std::size_t index) const;  // throws RowMissing

    // A row is unfinished from its append until a lookup of it succeeds, and again whenever its
    // latest lookup failed. The flags are kept apart from the rows, one byte each, so finding
    // the unfinished rows of a million-row table is one pass over a megabyte.
    bool Unfinished(std::size_t index) const;  // throws RowMissing
    std::size_t UnfinishedCount() const;
    // The ids of the rows unfinished now, in table order.
    std::vector<RowId> UnfinishedRows() const;
    // The Domain cell of the row with this id; throws RowMissing when that row is gone.
    std::string ReadDomainOf(RowId id) const;

    // Calls f for every row in order while the table is locked, so the whole pass sees one
    // consistent table. f must not call back into the table.
    void ForEachRow(const std::function<void(const DomainRow&)>& f) const;

    // Change notification for the view. The listener runs on the writing thread, outside the
    // table's lock, once per burst: when the first write after a TakeDirtyRange() arrives.
    void SetDirtyListener(std::function<void()> listener);
    struct IndexRange {
        std::size_t first;
        std::size_t last;  // inclusive
    };
    // The index range of rows written since the last call that still exist, and resets it.
    std::optional<IndexRange> TakeDirtyRange();

private:
    template <typename Line>
    void AppendLines(std::span<const Line> lines);
    std::size_t IndexOrThrow(RowId id) const;
    // Widens the dirty range by the row; returns the listener to call (outside the lock) when
    // this is the first write since the last TakeDirtyRange().
    std::function<void()> MarkDirty(RowId id);

    mutable std::mutex mutex_;
    std::vector<DomainRow> rows_;
    std::vector<std::uint8_t> unfinished_;  // beside rows_: 1 while the row is unfinished
    std::size_t unfinishedCount_ = 0;
    RowId firstId_ = 0;  // id of rows_[0]; the next appended row gets firstId_ + rows_.size()
    bool dirty_ = false;
    RowId dirtyMin_ = 0;
    RowId dirtyMax_ = 0;
    std::function<void()> dirtyListener_;
};

}  // namespace table
