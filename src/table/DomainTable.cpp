#include "table/DomainTable.h"

#include <algorithm>

namespace table {

namespace {
const char* kNoSuchRow = "No domain row at this position";
}

template <typename Line>
void DomainTable::AppendLines(std::span<const Line> lines) {
    std::lock_guard lock(mutex_);
    rows_.reserve(rows_.size() + lines.size());
    unfinished_.resize(unfinished_.size() + lines.size(), 1);
    unfinishedCount_ += lines.size();
    std::uint32_t number = 0;
    for (const auto& line : lines) {
        DomainRow& row = rows_.emplace_back();
        row.number = ++number;
        row.cells[static_cast<int>(Cell::Domain)].assign(line.data(), line.size());
    }
}

void DomainTable::AppendDomainRows(std::span<const std::string_view> lines) {
    AppendLines(lines);
}
void DomainTable::AppendDomainRows(std::span<const std::string> lines) {
    AppendLines(lines);
}

void DomainTable::Clear() {
    std::lock_guard lock(mutex_);
    firstId_ += rows_.size();
    // Release the memory too: a cleared million-row table should not keep its buffer.
    std::vector<DomainRow>().swap(rows_);
    std::vector<std::uint8_t>().swap(unfinished_);
    unfinishedCount_ = 0;
}

std::size_t DomainTable::RowCount() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
}

DomainRow DomainTable::Row(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        throw RowMissing(kNoSuchRow);
    }
    return rows_[index];
}

std::string DomainTable::ReadCell(std::size_t index, Cell c) const {
    return ReadCellWithId(index, c).text;
}

CellRead DomainTable::ReadCellWithId(std::size_t index, Cell c) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        throw RowMissing(kNoSuchRow);
    }
    return {firstId_ + index, rows_[index][c]};
}

RowId DomainTable::IdAt(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        throw RowMissing(kNoSuchRow);
    }
    return firstId_ + index;
}

std::optional<std::size_t> DomainTable::IndexOf(RowId id) const {
    std::lock_guard lock(mutex_);
    if (id < firstId_ || id - firstId_ >= rows_.size()) {
        return std::nullopt;
    }
    return id - firstId_;
}

std::size_t DomainTable::IndexOrThrow(RowId id) const {
    if (id < firstId_ || id - firstId_ >= rows_.size()) {
        throw RowMissing("The domain row is gone");
    }
    return id - firstId_;
}

void DomainTable::WriteCell(RowId id, Cell c, std::string text) {
    if (c == Cell::Domain) {
        throw std::invalid_argument("The Domain cell is not a result cell");
    }
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        const std::size_t index = IndexOrThrow(id);
        rows_[index].cells[static_cast<int>(c)] = std::move(text);
        notify = MarkDirty(id);
    }
    if (notify) {
        notify();
    }
}

void DomainTable::SetFailure(RowId id, std::string reason) {
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        const std::size_t index = IndexOrThrow(id);
        const std::uint8_t unfinished = reason.empty() ? 0 : 1;
        if (unfinished_[index] != unfinished) {
            unfinished_[index] = unfinished;
            unfinished ? ++unfinishedCount_ : --unfinishedCount_;
        }
        std::string& failure = rows_[index].failure;
        if (failure == reason) {
            return;  // the common case, a success after a success: nothing to redraw
        }
        failure = std::move(reason);
        notify = MarkDirty(id);
    }
    if (notify) {
        notify();
    }
}

std::string DomainTable::Failure(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        throw RowMissing(kNoSuchRow);
    }
    return rows_[index].failure;
}

bool DomainTable::Unfinished(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        throw RowMissing(kNoSuchRow);
    }
    return unfinished_[index] != 0;
}

std::size_t DomainTable::UnfinishedCount() const {
    std::lock_guard lock(mutex_);
    return unfinishedCount_;
}

std::vector<RowId> DomainTable::UnfinishedRows() const {
    std::lock_guard lock(mutex_);
    std::vector<RowId> ids;
    ids.reserve(unfinishedCount_);
    // A plain pass over one byte per row, ending at the last unfinished one.
    for (std::size_t i = 0; i < unfinished_.size() && ids.size() < unfinishedCount_; ++i) {
        if (unfinished_[i] != 0) {
            ids.push_back(firstId_ + i);
        }
    }
    return ids;
}

std::string DomainTable::ReadDomainOf(RowId id) const {
    std::lock_guard lock(mutex_);
    return rows_[IndexOrThrow(id)][Cell::Domain];
}

std::function<void()> DomainTable::MarkDirty(RowId id) {
    if (!dirty_) {
        dirty_ = true;
        dirtyMin_ = dirtyMax_ = id;
        return dirtyListener_;
    }
    dirtyMin_ = std::min(dirtyMin_, id);
    dirtyMax_ = std::max(dirtyMax_, id);
    return {};
}

void DomainTable::ForEachRow(const std::function<void(const DomainRow&)>& f) const {
    std::lock_guard lock(mutex_);
    for (const DomainRow& row : rows_) {
        f(row);
    }
}

void DomainTable::SetDirtyListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    dirtyListener_ = std::move(listener);
}

std::optional<DomainTable::IndexRange> DomainTable::TakeDirtyRange() {
    std::lock_guard lock(mutex_);
    if (!dirty_) {
        return std::nullopt;
    }
    dirty_ = false;
    const RowId end = firstId_ + rows_.size();  // one past the last current id
    const RowId lo = std::max(dirtyMin_, firstId_);
    const RowId hi = std::min(dirtyMax_, end == 0 ? 0 : end - 1);
    if (rows_.empty() || dirtyMax_ < firstId_ || lo > hi) {
        return std::nullopt;
    }
    return IndexRange{lo - firstId_, hi - firstId_};
}

}  // namespace table
