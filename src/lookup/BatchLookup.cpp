#include "lookup/BatchLookup.h"

#include <string>

#include "lookup/FailureReason.h"
#include "lookup/FilingFields.h"
#include "lookup/LookupClient.h"
#include "lookup/LookupUrl.h"
#include "text/CodePage936.h"

namespace lookup {

namespace {

table::Cell CellOf(FilingField field) {
    switch (field) {
        case FilingField::FilingNo:
            return table::Cell::FilingNo;
        case FilingField::ReviewDate:
            return table::Cell::ReviewDate;
        case FilingField::Sponsor:
            break;
    }
    return table::Cell::Sponsor;
}

// Writes each field into the row as soon as it is extracted; an empty filing number becomes
// NotFiledMark. Then the row no longer carries a failure. Returns whether the row is filed.
bool WriteFields(table::DomainTable& table, table::RowId row, std::string_view page,
                 bool stopWhenNotFiled) {
    bool filed = false;
    ExtractFilingFields(page, stopWhenNotFiled, [&](FilingField field, std::string text) {
        if (field == FilingField::FilingNo) {
            filed = !text.empty();
            if (!filed) {
                text = table::NotFiledMark;
            }
        }
        table.WriteCell(row, CellOf(field), std::move(text));
    });
    table.SetFailure(row, {});
    return filed;
}

// Leaves the cause of the failure being handled on the row, if the row still exists.
void NoteFailure(table::DomainTable& table, std::optional<table::RowId> row,
                 const std::string& cause) {
    if (!row) {
        return;
    }
    try {
        table.SetFailure(*row, RowFailureText(cause));
    } catch (const table::RowMissing&) {
        // Cleared meanwhile: nobody is left to tell.
    }
}

}  // namespace

namespace {

using Outcome = BatchProgress::Outcome;

// One row of a batch: looks the row's Domain up and writes what the page gives, or leaves the
// failure's reason on the row. Returns nothing when a stop cut the exchange off: that is no
// outcome of the row, and the batch ends. RowMissing from read() passes through.
template <typename Read>
std::optional<Outcome> LookUpRow(table::DomainTable& table, LookupClient& client,
                                 std::string_view baseUrl, BatchProgress* progress,
                                 std::uint64_t generation, Read read) {
    std::optional<table::RowId> row;
    try {
        const table::CellRead domain = read();
        row = domain.id;
        const std::string page =
            text::cp936::RoundTrip(client.FetchPage(LookupUrl(domain.text, baseUrl)));
        return WriteFields(table, domain.id, page, /*stopWhenNotFiled=*/true) ? Outcome::Filed
                                                                              : Outcome::Unfiled;
    } catch (const table::RowMissing&) {
        if (!row) {
            throw;  // the row to look up is gone
        }
        return Outcome::Gone;  // gone while it was looked up
    } catch (...) {
        // A failed lookup keeps what the row holds and leaves its reason; go on. A lookup
        // cut off by a stop is no failure of the row: the batch ends here.
        if (progress && CurrentFailureIsStop() && progress->StopRequested(generation)) {
            return std::nullopt;
        }
        NoteFailure(table, row, CurrentFailureCause());
        return Outcome::Failed;
    }
}

}  // namespace

namespace {

// The batch over n rows, the k-th read by readRow(k); without progress, nothing counts and
// nothing stops it. A row that is gone is skipped when goneEndsBatch is false (new rows may stand
// at the remaining indices); otherwise it ends the batch with the rest counted as gone.
template <class ReadRow>
void RunRows(table::DomainTable& table, LookupClient& client, std::string_view baseUrl,
             BatchProgress* progress, std::uint64_t generation, std::size_t n, bool goneEndsBatch,
             ReadRow readRow) {
    for (std::size_t k = 0; k < n; ++k) {
        if (progress && progress->StopRequested(generation)) {
            break;
        }
        std::optional<Outcome> outcome = Outcome::Gone;
        try {
            outcome =
                LookUpRow(table, client, baseUrl, progress, generation, [&] { return readRow(k); });
        } catch (const table::RowMissing&) {
            if (goneEndsBatch) {
                if (progress) {
                    progress->RowDone(Outcome::Gone, n - k);
                }
                break;
            }
        }
        if (!outcome) {
            break;
        }
        if (progress) {
            progress->RowDone(*outcome);
        }
    }
    if (progress) {
        progress->EndBatch(generation);
    }
}

// The batch over the table's first n rows.
void RunFirstRows(table::DomainTable& table, LookupClient& client, std::string_view baseUrl,
                  BatchProgress* progress, std::uint64_t generation, std::size_t n) {
    RunRows(table, client, baseUrl, progress, generation, n, /*goneEndsBatch=*/false,
            [&](std::size_t i) { return table.ReadCellWithId(i, table::Cell::Domain); });
}

// The batch over the rows named by ids. Ids are never reused and rows leave only all at once,
// so a row that is gone means the table was cleared after the ids were taken: every remaining
// row is gone too.
void RunListedRows(table::DomainTable& table, LookupClient& client,
                   std::span<const table::RowId> rows, std::string_view baseUrl,
                   BatchProgress* progress, std::uint64_t generation) {
    RunRows(table, client, baseUrl, progress, generation, rows.size(), /*goneEndsBatch=*/true,
            [&](std::size_t k) {
                return table::CellRead{rows[k], table.ReadDomainOf(rows[k])};
            });
}

}  // namespace

void RunBatch(table::DomainTable& table, LookupClient& client, std::string_view baseUrl,
              BatchProgress* progress) {
    const std::size_t n = table.RowCount();
    RunFirstRows(table, client, baseUrl, progress, progress ? progress->BeginBatch(n) : 0, n);
}

void RunBatch(table::DomainTable& table, LookupClient& client, std::string_view baseUrl,
              BatchProgress& progress, std::uint64_t generation, std::size_t n) {
    RunFirstRows(table, client, baseUrl, &progress, generation, n);
}

void RunBatchOver(table::DomainTable& table, LookupClient& client,
                  std::span<const table::RowId> rows, std::string_view baseUrl,
                  BatchProgress* progress) {
    RunListedRows(table, client, rows, baseUrl, progress,
                  progress ? progress->BeginBatch(rows.size()) : 0);
}

void RunBatchOver(table::DomainTable& table, LookupClient& client,
                  std::span<const table::RowId> rows, std::string_view baseUrl,
                  BatchProgress& progress, std::uint64_t generation) {
    RunListedRows(table, client, rows, baseUrl, &progress, generation);
}

std::optional<std::string> RequeryRow(table::DomainTable& table, LookupClient& client,
                                      std::size_t index, std::string_view baseUrl) {
    std::optional<table::RowId> row;
    try {
        const table::CellRead domain = table.ReadCellWithId(index, table::Cell::Domain);
        row = domain.id;
        const std::string page = client.FetchPage(LookupUrl(domain.text, baseUrl));
        WriteFields(table, domain.id, page, /*stopWhenNotFiled=*/false);
        return std::nullopt;
    } catch (...) {
        std::string cause = CurrentFailureCause();
        NoteFailure(table, row, cause);
        return cause;
    }
}

BatchCounts BatchProgress::Counts() const {
    std::lock_guard lock(mutex_);
    BatchCounts c;
    c.total = total_;
    c.done = done_;
    c.filed = filed_;
    c.unfiled = unfiled_;
    c.failed = failed_;
    c.running = running_ + stopping_;
    c.stopped = stopped_;
    c.started = started_;
    c.ended = endedAt_;
    return c;
}

std::uint64_t BatchProgress::BeginBatch(std::size_t n) {
    std::lock_guard lock(mutex_);
    if (running_ + stopping_ == 0) {
        // A new run: the counts of the last one go.
        total_ = 0;
        done_ = 0;
        filed_ = 0;
        unfiled_ = 0;
        failed_ = 0;
        stopped_ = false;
        started_ = std::chrono::steady_clock::now();
    }
    ++running_;
    total_ += n;
    return stopGeneration_;
}

void BatchProgress::EndBatch(std::uint64_t generation) {
    {
        std::lock_guard lock(mutex_);
        --(generation == stopGeneration_ ? running_ : stopping_);
        if (running_ + stopping_ == 0) {
            endedAt_ = std::chrono::steady_clock::now();
        }
    }
    ended_.notify_all();
}

void BatchProgress::RowDone(Outcome outcome, std::size_t rows) {
    switch (outcome) {
        case Outcome::Filed:
            filed_.fetch_add(rows, std::memory_order_relaxed);
            break;
        case Outcome::Unfiled:
            unfiled_.fetch_add(rows, std::memory_order_relaxed);
            break;
        case Outcome::Failed:
            failed_.fetch_add(rows, std::memory_order_relaxed);
            break;
        case Outcome::Gone:
            break;
    }
    done_.fetch_add(rows, std::memory_order_relaxed);
}

bool BatchProgress::Stop(LookupClient& client, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mutex_);
    if (running_ + stopping_ == 0) {
        return true;
    }
    stopped_ = true;
    stopping_ += running_;
    running_ = 0;
    ++stopGeneration_;
    // Each batch sees the stop at its next row; the one inside an exchange is cut off. A batch
    // waiting for the client gets it next and may begin one more exchange, so cut again until
    // all have ended. Batches started meanwhile are not waited for.
    while (stopping_ > 0) {
        lock.unlock();
        client.Abort();
        lock.lock();
        if (ended_.wait_for(lock, std::chrono::milliseconds(20), [&] { return stopping_ == 0; })) {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

}  // namespace lookup
