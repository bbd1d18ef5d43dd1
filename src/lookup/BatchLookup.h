#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lookup/LookupUrl.h"
#include "table/DomainTable.h"

namespace lookup {

class LookupClient;

// The counts of a run: the batches that overlap in time, added up. A run begins when a batch
// starts while none runs, and ends when its last batch ends; its counts stay until the next
// run begins.
struct BatchCounts {
    std::size_t total = 0;  // rows the run's batches set out to look up
    std::size_t done = 0;   // rows finished (looked up, failed, or gone from the table)
    std::size_t filed = 0;
    std::size_t unfiled = 0;
    std::size_t failed = 0;
    std::size_t running = 0;  // batches still running
    bool stopped = false;     // Stop() ended the run
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point ended{};  // when running fell to 0
};

// Progress of every batch given it, and the means to stop them. Row counters are atomics
// bumped once per row, so following a batch costs it nothing measurable; Counts() takes a lock
// only against the start and end of a batch.
class BatchProgress {
public:
    BatchCounts Counts() const;

    // Ends every batch running now and returns when they have all ended, cutting off the
    // exchange in flight on client; rows already written keep their results, and client is
    // ready for the next lookup. Batches started later are not affected. Returns false when
    // some batch was still running after `limit`.
    bool Stop(LookupClient& client,
              std::chrono::milliseconds limit = std::chrono::milliseconds(1000));

    // Registers a batch of n rows and returns the stop generation it belongs to; the counts
    // include it from now on, and the batch ends at its next row once StopRequested(generation)
    // is true. RunBatch registers its own batch; a window registers the batch on its own thread
    // as it starts the worker, so the counts never lag behind the start.
    std::uint64_t BeginBatch(std::size_t n);
    void EndBatch(std::uint64_t generation);
    bool StopRequested(std::uint64_t generation) const { return stopGeneration_ != generation; }
    enum class Outcome { Filed, Unfiled, Failed, Gone };
    void RowDone(Outcome outcome, std::size_t rows = 1);

private:
    mutable std::mutex mutex_;  // begin, end, stop and Counts()
    std::condition_variable ended_;
    std::size_t running_ = 0;   // batches of the current stop generation
    std::size_t stopping_ = 0;  // batches told to stop that have not ended yet
    bool stopped_ = false;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point endedAt_{};
    std::atomic<std::uint64_t> stopGeneration_{0};
    std::atomic<std::size_t> total_{0};
    std::atomic<std::size_t> done_{0};
    std::atomic<std::size_t> filed_{0};
    std::atomic<std::size_t> unfiled_{0};
    std::atomic<std::size_t> failed_{0};
};

// The batch worker's body: takes the row count once, then for each index looks the row's
// trimmed Domain up, passes the page through UTF-16 and back, and writes Filing number,
// Review date and Sponsor (or NotFiledMark alone when the page holds no filing number), each
// the moment it is computed. Every write names the row that was read, so a result never lands
// in a row that replaced it after a clear. A failure on a row (the row is gone, the lookup
// failed) skips that row; a failed lookup leaves its reason on the row (a later success removes
// it). With progress, the batch counts its rows there and ends early when it is stopped.
// baseUrl is LookupBaseUrl() but for tests.
void RunBatch(table::DomainTable& table, LookupClient& client,
              std::string_view baseUrl = LookupBaseUrl(), BatchProgress* progress = nullptr);

// The same batch over the rows named by ids (taken beforehand, for instance
// DomainTable::UnfinishedRows()), in the given order; every row is looked up, written and
// counted exactly as RunBatch does. A row that is gone means the table was cleared after the
// ids were taken, so the batch ends there and counts the rest as gone.
void RunBatchOver(table::DomainTable& table, LookupClient& client,
                  std::span<const table::RowId> rows, std::string_view baseUrl = LookupBaseUrl(),
                  BatchProgress* progress = nullptr);

// RunBatch over the table's first n rows and RunBatchOver, for a batch that the caller
// registered with progress.BeginBatch(n), n being the rows looked up: generation is what that
// returned; the batch ends there when it ends.
void RunBatch(table::DomainTable& table, LookupClient& client, std::string_view baseUrl,
              BatchProgress& progress, std::uint64_t generation, std::size_t n);
void RunBatchOver(table::DomainTable& table, LookupClient& client,
                  std::span<const table::RowId> rows, std::string_view baseUrl,
                  BatchProgress& progress, std::uint64_t generation);

// Looks one row up again on the caller's thread: the page is used as received, and the three
// result cells are written in order. A page without a filing number marks the row with
// NotFiledMark, as the batch does, so the row keeps counting as unfiled. A failure leaves its
// reason on the row and returns its cause (GBK, see CurrentFailureCause); a success removes
// the row's reason and returns nothing.
std::optional<std::string> RequeryRow(table::DomainTable& table, LookupClient& client,
                                      std::size_t index,
                                      std::string_view baseUrl = LookupBaseUrl());

}  // namespace lookup
