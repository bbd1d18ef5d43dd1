#include "gui/BatchRunner.h"

#include "gui/BatchStatus.h"
#include "gui/DesktopProgress.h"
#include "gui/ErrorBox.h"
#include "gui/PanelStatusBar.h"
#include "lookup/LookupClient.h"
#include "table/DomainTable.h"
#include "table/FileError.h"

#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace gui {

namespace {
// The panel changes at most this often, however fast the rows go.
constexpr int kProgressPeriodMs = 100;
}  // namespace

BatchRunner::BatchRunner(QWidget& window, PanelStatusBar& bar, int panel,
                         std::shared_ptr<table::DomainTable> table,
                         std::shared_ptr<lookup::LookupClient> client)
    : QObject(&window),
      window_(window),
      bar_(bar),
      panel_(panel),
      table_(std::move(table)),
      client_(std::move(client)),
      progress_(std::make_shared<lookup::BatchProgress>()),
      desktop_(std::make_unique<DesktopProgress>()),
      timer_(new QTimer(this)) {
    timer_->setInterval(kProgressPeriodMs);
    connect(timer_, &QTimer::timeout, this, &BatchRunner::ShowProgress);
}

BatchRunner::~BatchRunner() = default;

void BatchRunner::StartAll(const std::string& baseUrl) {
    const std::size_t n = table_->RowCount();
    Start(n, [table = table_, client = client_, baseUrl, n](lookup::BatchProgress& progress,
                                                            std::uint64_t generation) {
        lookup::RunBatch(*table, *client, baseUrl, progress, generation, n);
    });
}

void BatchRunner::StartUnfinished(const std::string& baseUrl) {
    std::vector<table::RowId> rows = table_->UnfinishedRows();
    if (rows.empty()) {
        bar_.SetPanelText(panel_, QString::fromUtf16(kNothingUnfinishedText));
        return;
    }
    const std::size_t n = rows.size();
    Start(n, [table = table_, client = client_, baseUrl, rows = std::move(rows)](
                 lookup::BatchProgress& progress, std::uint64_t generation) {
        lookup::RunBatchOver(*table, *client, rows, baseUrl, progress, generation);
    });
}

void BatchRunner::TableCleared() {
    if (bar_.PanelText(panel_) == QString::fromUtf16(kNothingUnfinishedText)) {
        bar_.SetPanelText(panel_, QString());
    }
}

void BatchRunner::Start(std::size_t n, Job job) {
    const std::uint64_t generation = progress_->BeginBatch(n);
    // Owned by its own run: no parent (a window must not destroy a running thread), deleted
    // through deleteLater once finished.
    auto* worker = new TMyThread(
        [progress = progress_, generation, job = std::move(job)] { job(*progress, generation); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, &BatchRunner::WorkerEnded);
    worker->start(QThread::NormalPriority);
    if (!worker->isRunning() && !worker->isFinished()) {
        // QThread::start reports a failed pthread_create only through its state.
        delete worker;
        progress_->EndBatch(generation);
        throw std::runtime_error("Thread creation error: " + table::SystemErrorText(EAGAIN));
    }
    if (workers_++ == 0) {
        timer_->start();
    }
    ShowProgress();
}

void BatchRunner::ShowProgress() {
    const lookup::BatchCounts counts = progress_->Counts();
    bar_.SetPanelText(panel_, BatchPanelText(counts));
    bar_.SetPanelToolTip(panel_, BatchPanelToolTip(counts, std::chrono::steady_clock::now(),
                                                   table_->UnfinishedCount()));
    desktop_->Show(counts);
}

void BatchRunner::WorkerEnded() {
    if (--workers_ == 0) {
        timer_->stop();
        ShowProgress();
        desktop_->RunEnded(progress_->Counts(), window_.isActiveWindow());
    }
}

void BatchRunner::AskToStop() {
    if (workers_ == 0) {
        return;
    }
    const auto answer =
        ShowMessageBox(&window_,
                       {kApplicationTitle, QStringLiteral("停止批量查询？"), QMessageBox::Question,
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
                       Qt::ApplicationModal);
    if (answer != QMessageBox::Yes) {
        return;
    }
    progress_->Stop(*client_);
    ShowProgress();
}

}  // namespace gui

TMyThread::TMyThread(std::function<void()> job) : job_(std::move(job)) {}

void TMyThread::run() {
    job_();
}
