// Batch workers, a re-query loop, stops, clears, appends and exports all at once against one
// client and one table, for a few seconds. Run under ThreadSanitizer in the tsan preset.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "lookup/BatchLookup.h"
#include "lookup/LookupClient.h"
#include "support/ScriptedLookup.h"
#include "table/DomainExport.h"

namespace {

using namespace std::chrono_literals;
using table::Cell;
using testsupport::ScriptedHttpServer;

// The cells of a row either are still empty or hold results of the row's own domain.
::testing::AssertionResult OwnResults(const table::DomainRow& row) {
    const std::string& d = row[Cell::Domain];
    const std::string& no = row[Cell::FilingNo];
    const bool unfiled = !d.empty() && d[0] == 'u';
    const bool noOk = no.empty() || (unfiled ? no == table::NotFiledMark : no == "ICP-" + d);
    const bool sponsorOk = row[Cell::Sponsor].empty() || row[Cell::Sponsor] == "S-" + d;
    const bool dateOk = row[Cell::ReviewDate].empty() || row[Cell::ReviewDate] == "D-" + d;
    if (noOk && sponsorOk && dateOk) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "row of " << d << " holds " << no << " | "
                                         << row[Cell::Sponsor] << " | " << row[Cell::ReviewDate];
}

TEST(BatchStress, ConcurrentBatchesRequeriesClearsAppendsAndExportsKeepRowsConsistent) {
    ScriptedHttpServer server;
    server.SetResponder(cytest::ByDomain);  // every result names its domain; "u…" are unfiled
    lookup::LookupClient client;
    table::DomainTable t;
    const std::string base = cytest::LookupBase(server);
    std::atomic<bool> stop{false};
    std::atomic<int> generation{0};

    auto appendGeneration = [&] {
        const int g = generation++;
        std::vector<std::string> lines;
        for (int k = 0; k < 30; ++k) {
            lines.push_back((k % 3 == 0 ? "u" : "filed") + std::to_string(g) + "-" +
                            std::to_string(k) + ".example");
        }
        t.AppendDomainRows(std::span<const std::string>(lines));
    };
    appendGeneration();

    lookup::BatchProgress progress;
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w) {
        threads.emplace_back([&, w] {
            while (!stop) {
                lookup::RunBatch(t, client, base, w == 0 ? nullptr : &progress);
            }
        });
    }
    std::atomic<int> stops{0};
    threads.emplace_back([&] {
        while (!stop) {
            std::this_thread::sleep_for(50ms);
            stops += progress.Stop(client, 5s) ? 1 : 0;
            const auto c = progress.Counts();
            EXPECT_LE(c.done, c.total);
        }
    });
    threads.emplace_back([&] {
        for (std::size_t i = 0; !stop; i = (i + 7) % 40) {
            lookup::RequeryRow(t, client, i, base);
        }
    });

    int exports = 0;
    // At least 3 s, and on a loaded machine on until enough of everything has happened.
    auto enough = [&] { return exports > 10 && stops > 10 && server.Requests().size() > 100; };
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; std::chrono::steady_clock::now() < start + 3s ||
                        (!enough() && std::chrono::steady_clock::now() < start + 120s);
         ++round) {
        if (round % 5 == 0) {
            t.Clear();
        }
        appendGeneration();
        table::StagingMemo memo;
        table::BuildExportLines(t, table::ExportKind::AllRows, memo);
        // Every exported line is Domain + nine blanks + a Filing number of that same domain.
        for (std::string_view line : memo.Lines()) {
            const auto sep = line.find(table::ExportSeparator);
            ASSERT_NE(sep, std::string_view::npos);
            const std::string d(line.substr(0, sep));
            const std::string no(line.substr(sep + table::ExportSeparator.size()));
            EXPECT_TRUE(no.empty() || no == "ICP-" + d || no == table::NotFiledMark) << line;
        }
        ++exports;
        (void)t.TakeDirtyRange();
        std::this_thread::sleep_for(20ms);
    }
    stop = true;
    for (auto& th : threads) {
        th.join();
    }

    EXPECT_GT(exports, 10);
    EXPECT_GT(stops, 10);
    EXPECT_GT(server.Requests().size(), 100u);
    std::size_t filled = 0;
    t.ForEachRow([&](const table::DomainRow& row) {
        EXPECT_TRUE(OwnResults(row));
        filled += row[Cell::FilingNo].empty() ? 0 : 1;
    });
    EXPECT_GT(filled, 0u);
}

}  // namespace
