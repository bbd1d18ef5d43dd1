// A batch over many rows through the main window, against a lookup service given by URL, with
// the window's event loop sampled every 10 ms. Prints the batch's rows per second, the rate of
// plain sequential FetchPage calls for the same URLs measured in the same run (the baseline),
// their ratio, and the longest gap between two samples of the event loop.
//   batch_gui_bench BASE_URL DOMAINS_FILE [ROWS]
// BASE_URL ends with "Domain="; DOMAINS_FILE holds one domain per line (they are cycled).
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "lookup/LookupClient.h"
#include "lookup/LookupUrl.h"
#include "table/DomainTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BASE_URL DOMAINS_FILE [ROWS]\n", argv[0]);
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

    const double rawRate = FetchRate(base, rows);

    TFrm_Main window;
    window.SetLookupBaseUrl(base);
    window.show();
    window.Model().AppendDomainRows(std::span<const std::string>(rows));
    const auto table = window.Table();
    const std::size_t last = rows.size() - 1;

    QElapsedTimer clock;
    qint64 lastTick = 0, longestStall = 0;
    QTimer sampler;
    sampler.setInterval(10);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestStall = std::max(longestStall, now - lastTick - 10);
        lastTick = now;
        if (!table->ReadCell(last, table::Cell::FilingNo).empty()) {
            app.exit(0);
        }
    });
    QTimer::singleShot(0, &window, [&] {
        clock.start();
        lastTick = 0;
        sampler.start();
        window.findChild<QPushButton*>(QStringLiteral("btn4"))->click();
    });
    app.exec();
    const double seconds = clock.elapsed() / 1000.0;
    const double rate = rows.size() / seconds;
    std::printf(
        "rows %zu seconds %.3f batch_rate %.1f fetch_rate %.1f ratio %.3f longest_stall_ms %lld\n",
        rows.size(), seconds, rate, rawRate, rate / rawRate, static_cast<long long>(longestStall));
    std::fflush(nullptr);
    _exit(0);  // the worker may still be writing its last cells
}
