// Appending 1,000,000 rows to the domain table through the GUI model, with the report list
// attached and shown (offscreen), against appending the same rows to a bare table in the same
// run. Reports time per row and resident memory per row (RSS growth / rows).
#include "gui/DomainTableModel.h"
#include "gui/ReportListView.h"
#include "table/DomainTable.h"

#include <benchmark/benchmark.h>
#include <QApplication>

#include <malloc.h>
#include <unistd.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRows = 1'000'000;

const std::vector<std::string>& Lines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> out;
        out.reserve(kRows);
        char buf[64];
        for (std::size_t i = 0; i < kRows; ++i) {
            std::snprintf(buf, sizeof buf, "domain-%07zu.example.com", i);
            out.emplace_back(buf);
        }
        return out;
    }();
    return lines;
}

double RssBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void Report(benchmark::State& state, double rssGrowth) {
    state.counters["rows"] = static_cast<double>(kRows);
    // Seconds per iteration / rows, printed with an SI prefix ("95ns").
    state.counters["time_per_row"] = benchmark::Counter(
        static_cast<double>(kRows),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["rss_bytes_per_row"] = rssGrowth / static_cast<double>(kRows);
}

// Baseline: the bare table, no Qt involved.
void BM_AppendBareTable(benchmark::State& state) {
    const auto& lines = Lines();
    double growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = RssBytes();
        auto t = std::make_unique<table::DomainTable>();
        state.ResumeTiming();
        t->AppendDomainRows(lines);
        state.PauseTiming();
        growth = RssBytes() - before;
        t.reset();
        malloc_trim(0);  // hand freed heap back, so the next pass measures its own growth
        state.ResumeTiming();
    }
    Report(state, growth);
}

// The model with the main window's list attached and shown: one insertion, then the view
// lays itself out and paints the last page.
void BM_AppendThroughModelAndView(benchmark::State& state) {
    const auto& lines = Lines();
    double growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = RssBytes();
        auto model =
            std::make_unique<gui::DomainTableModel>(std::make_shared<table::DomainTable>());
        auto view = std::make_unique<gui::ReportListView>();
        view->SetModel(model.get(), gui::DomainTableModel::kColumnWidths);
        view->resize(494, 297);
        view->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();

        model->AppendDomainRows(lines);
        view->scrollToBottom();
        view->repaint();
        QCoreApplication::processEvents();

        state.PauseTiming();
        growth = RssBytes() - before;
        view.reset();
        model.reset();
        QCoreApplication::processEvents();
        malloc_trim(0);
        state.ResumeTiming();
    }
    Report(state, growth);
}

}  // namespace

BENCHMARK(BM_AppendBareTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AppendThroughModelAndView)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Lines();  // build the input outside the measurements
    malloc_trim(0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
