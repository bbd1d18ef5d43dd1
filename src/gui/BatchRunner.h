#pragma once

#include "lookup/BatchLookup.h"
#include "table/DomainTable.h"

#include <QObject>
#include <QThread>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QWidget;

namespace lookup {
class LookupClient;
}

namespace gui {

class DesktopProgress;
class PanelStatusBar;

// Runs the batch lookups of a window: starts their workers, follows them in one status panel
// and on the desktop's launcher, tells the desktop when a long run ends, and stops them all when
// the user says so. Every batch is registered with the progress on the GUI thread as it starts,
// so the panel counts it from that moment.
class BatchRunner final : public QObject {
    Q_OBJECT
public:
    // `window` owns the runner and answers the stop question; `panel` of `bar` shows the counts.
    BatchRunner(QWidget& window, PanelStatusBar& bar, int panel,
                std::shared_ptr<table::DomainTable> table,
                std::shared_ptr<lookup::LookupClient> client);
    ~BatchRunner() override;

    // One more worker over every row the table holds now, looking them up at `baseUrl`.
    void StartAll(const std::string& baseUrl);
    // One more worker over the rows unfinished now (no lookup of them has succeeded, or their
    // latest failed), in table order; rows added later are not taken. With none, nothing starts
    // and the panel says so until the next batch or clear.
    void StartUnfinished(const std::string& baseUrl);
    // The table was cleared: the panel no longer says that nothing is unfinished.
    void TableCleared();

    // While batches run, asks whether to stop them all; on yes, ends them (within about a
    // second, a hanging exchange cut off) and shows the stopped counts. Results already written
    // stay; the cut-off row keeps what it held.
    void AskToStop();

    bool Running() const { return workers_ > 0; }
    // The counts of the batches, shared with the workers.
    const std::shared_ptr<lookup::BatchProgress>& Progress() const { return progress_; }
    DesktopProgress& Desktop() const { return *desktop_; }

private:
    // Registers a batch of n rows with the progress and starts a worker that runs `job` with
    // the batch's stop generation.
    using Job = std::function<void(lookup::BatchProgress& progress, std::uint64_t generation)>;
    void Start(std::size_t n, Job job);
    void ShowProgress();
    void WorkerEnded();

    QWidget& window_;
    PanelStatusBar& bar_;
    const int panel_;
    std::shared_ptr<table::DomainTable> table_;
    std::shared_ptr<lookup::LookupClient> client_;
    std::shared_ptr<lookup::BatchProgress> progress_;
    std::unique_ptr<DesktopProgress> desktop_;
    QTimer* timer_;    // child of this runner; refreshes the panel while workers run
    int workers_ = 0;  // workers started and not yet finished
};

}  // namespace gui

// One batch lookup worker: runs its job once and deletes itself when the job ends. The job holds
// shared ownership of the table, the client and the counts, so it never touches a destroyed
// object when the program quits during a run; nothing waits for it.
class TMyThread final : public QThread {
    Q_OBJECT
public:
    explicit TMyThread(std::function<void()> job);

protected:
    void run() override;

private:
    std::function<void()> job_;
};
