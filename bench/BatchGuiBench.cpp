// A batch over many rows through the main window, against a lookup service given by URL, with
// the window's event loop sampled every 10 ms. Prints the batch's rows per second, the rate of
// plain sequential FetchPage calls for the same URLs measured in the same run (the baseline),
// their ratio, and the longest gap between two samples of the event loop. Also the same batch
// through the same window with the batch counters ignored (a worker given no progress, so the
// status panel stays still), and the ratio of the two: what following the batch costs.
// Each round also runs the popup menu's "重查未完成的域名" over the same fresh rows (all of them
// unfinished), whose pace is printed beside the followed batch's. At the end, the command is
// chosen on a table of 1,000,000 rows with 1,000 unfinished: the time the handler holds the
// window, and the time until the first of those rows is written.
// With WRK_COMMAND, that command (wrk on the same URLs, see bench/batch_gui) runs once per round
// as the wire's baseline, and its "Requests/sec" beside the batch's rate is printed too.
//   batch_gui_bench BASE_URL DOMAINS_FILE [ROWS] [ROUNDS] [WRK_COMMAND]
// BASE_URL ends with "Domain="; DOMAINS_FILE holds one domain per line (they are cycled).
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "gui/PanelStatusBar.h"
#include "lookup/BatchLookup.h"
#include "lookup/LookupClient.h"
#include "lookup/LookupUrl.h"
#include "support/MainWindowDriver.h"
#include "table/DomainTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

double FetchRate(const std::string& base, const std::vector<std::string>& rows) {
    lookup::LookupClient client;
    client.FetchPage(lookup::LookupUrl(rows.front(), base));  // connect outside the timing
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& d : rows) {
        client.FetchPage(lookup::LookupUrl(d, base));
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rows.size() / s;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// FetchRate on a thread of its own while the window's event loop runs, as the batch does, so
// that both run under the same conditions (a loopback request loop is sensitive to what else
// keeps the cores awake).
double FetchRateBesideTheLoop(const std::string& base, const std::vector<std::string>& rows) {
    std::atomic<bool> done{false};
    double rate = 0;
    std::thread fetcher([&] {
        rate = FetchRate(base, rows);
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) {
            loop.quit();
        }
    });
    poll.start(10);
    loop.exec();
    fetcher.join();
    return rate;
}

// Runs a wrk command to its end and returns its "Requests/sec:" figure; exits when there is
// none (a baseline that did not run must not pass for one).
double WrkRate(const std::string& command) {
    FILE* out = popen(command.c_str(), "r");
    double rate = 0;
    if (out != nullptr) {
        char line[512];
        while (std::fgets(line, sizeof line, out) != nullptr) {
            if (std::strncmp(line, "Requests/sec:", 13) == 0) {
                rate = std::strtod(line + 13, nullptr);
            }
        }
        if (pclose(out) != 0) {
            rate = 0;
        }
    }
    if (rate <= 0) {
        std::fprintf(stderr, "no rate from: %s\n", command.c_str());
        std::exit(1);
    }
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BASE_URL DOMAINS_FILE [ROWS] [ROUNDS] [WRK_COMMAND]\n",
                     argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    const std::string base = argv[1];
    const long count = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 10000;
    std::vector<std::string> domains;
    std::ifstream in(argv[2]);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            domains.push_back(line);
        }
    }
    if (domains.empty()) {
        std::fprintf(stderr, "no domains in %s\n", argv[2]);
        return 2;
    }
    std::vector<std::string> rows;
    for (long i = 0; i < count; ++i) {
        rows.push_back(domains[i % domains.size()]);
    }

    const long rounds = argc > 4 ? std::strtol(argv[4], nullptr, 10) : 5;
    const std::string wrkCommand = argc > 5 ? argv[5] : "";

    TFrm_Main window;
    const testsupport::MainWindowDriver ui(window);
    window.SetLookupBaseUrl(base);
    window.show();
    const auto table = window.Table();
    const std::size_t last = rows.size() - 1;

    // One batch over freshly appended rows; returns its rows per second and the longest gap
    // between two 10 ms samples of the event loop beyond the period. `workerRate` is the rate
    // from the start to the worker's own end, free of the sampling period's grain.
    using Clock = std::chrono::steady_clock;
    enum class Start { Quiet, Followed, Rerun };
    auto runBatch = [&](qint64& longestStall, Start how, double& workerRate) {
        const bool followed = how != Start::Quiet;
        window.Model().Clear();
        window.Model().AppendDomainRows(std::span<const std::string>(rows));
        QEventLoop loop;
        QElapsedTimer clock;
        qint64 lastTick = 0;
        QTimer sampler;
        sampler.setInterval(10);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestStall = std::max(longestStall, now - lastTick - 10);
            lastTick = now;
            if (!table->ReadCell(last, table::Cell::FilingNo).empty()) {
                loop.quit();
            }
        });
        Clock::time_point start;
        std::atomic<Clock::rep> quietEnd{0};
        QTimer::singleShot(0, &window, [&] {
            clock.start();
            sampler.start();
            start = Clock::now();
            if (how == Start::Followed) {
                ui.btn4->click();
            } else if (how == Start::Rerun) {
                ui.N12->trigger();
            } else {
                // btn4's worker without the counters: nothing reaches the status panel.
                auto* worker = new TMyThread([table, client = window.Client(), base] {
                    lookup::RunBatch(*table, *client, base, nullptr);
                });
                QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
                QObject::connect(
                    worker, &QThread::finished, worker,
                    [&quietEnd] { quietEnd = Clock::now().time_since_epoch().count(); },
                    Qt::DirectConnection);
                worker->start();
            }
        });
        loop.exec();
        const double rate = rows.size() / (clock.elapsed() / 1000.0);
        // Let the worker write its last cells and end before anything else runs.
        QEventLoop settle;
        QTimer::singleShot(100, &settle, &QEventLoop::quit);
        settle.exec();
        const Clock::time_point end = followed
                                          ? window.Progress()->Counts().ended
                                          : Clock::time_point(Clock::duration(quietEnd.load()));
        workerRate = rows.size() / std::chrono::duration<double>(end - start).count();
        return rate;
    };

    // Baseline and batch alternate; the machine is shared, so single figures wander and the
    // medians are compared.
    // The followed and the quiet batch run back to back and take turns going first; the
    // median of their per-round ratios is what following costs.
    std::vector<double> batchRates, fetchRates, wrkRates, followedRates, quietRates, progressRatios,
        rerunRates, rerunRatios;
    qint64 longestStall = 0;
    qint64 quietStall = 0;
    for (long r = 0; r < rounds; ++r) {
        if (!wrkCommand.empty()) {
            wrkRates.push_back(WrkRate(wrkCommand));
        }
        fetchRates.push_back(FetchRateBesideTheLoop(base, rows));
        double followed = 0;
        double quiet = 0;
        double rerun = 0;
        if (r % 2 == 0) {
            runBatch(quietStall, Start::Quiet, quiet);
            batchRates.push_back(runBatch(longestStall, Start::Followed, followed));
            runBatch(longestStall, Start::Rerun, rerun);
        } else {
            runBatch(longestStall, Start::Rerun, rerun);
            batchRates.push_back(runBatch(longestStall, Start::Followed, followed));
            runBatch(quietStall, Start::Quiet, quiet);
        }
        followedRates.push_back(followed);
        quietRates.push_back(quiet);
        progressRatios.push_back(followed / quiet);
        rerunRates.push_back(rerun);
        rerunRatios.push_back(rerun / followed);
    }
    // The command on a million rows of which every 1000th is unfinished.
    constexpr std::size_t kBigRows = 1'000'000;
    constexpr std::size_t kEvery = 1000;
    std::vector<std::string> big;
    big.reserve(kBigRows);
    for (std::size_t i = 0; i < kBigRows; ++i) {
        big.push_back(domains[i % domains.size()]);
    }
    window.Model().Clear();
    window.Model().AppendDomainRows(std::span<const std::string>(big));
    for (std::size_t i = 0; i < kBigRows; ++i) {
        if (i % kEvery != kEvery - 1) {
            table->SetFailure(table->IdAt(i), {});  // a success
        }
    }
    QCoreApplication::processEvents();
    const auto chosen = Clock::now();
    ui.N12->trigger();
    const auto returned = Clock::now();
    const std::size_t firstRow = kEvery - 1;
    while (table->Unfinished(firstRow) && Clock::now() - chosen < std::chrono::seconds(10)) {
        std::this_thread::yield();
    }
    const auto firstWritten = Clock::now();
    const std::size_t taken = window.Progress()->Counts().total;
    QEventLoop drain;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.Progress()->Counts().running == 0) {
            drain.quit();
        }
    });
    poll.start(10);
    drain.exec();
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    std::printf(
        "rerun_rows %zu rerun_unfinished %zu rerun_taken %zu rerun_start_ms %.2f "
        "rerun_first_row_ms %.2f rerun_unfinished_after %zu\n",
        kBigRows, kBigRows / kEvery, taken, ms(returned - chosen), ms(firstWritten - chosen),
        table->UnfinishedCount());

    const double rate = Median(batchRates);
    const double rawRate = Median(fetchRates);
    std::printf(
        "rows %zu rounds %ld batch_rate %.1f fetch_rate %.1f ratio %.3f longest_stall_ms %lld "
        "followed_rate %.1f quiet_rate %.1f progress_ratio %.3f rerun_rate %.1f rerun_ratio %.3f "
        "panel %s\n",
        rows.size(), rounds, rate, rawRate, rate / rawRate, static_cast<long long>(longestStall),
        Median(followedRates), Median(quietRates), Median(progressRatios), Median(rerunRates),
        Median(rerunRatios), ui.Progress().toUtf8().constData());
    if (!wrkRates.empty()) {
        const double wrkRate = Median(wrkRates);
        std::printf("wrk_rate %.1f wrk_ratio %.3f\n", wrkRate, rate / wrkRate);
    }
    std::fflush(nullptr);
    _exit(0);
}
