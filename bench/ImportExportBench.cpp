// Imports a generated file of 1,000,000 domains into a domain table through the staging memo
// and exports it again, beside `cat file > /dev/null` and `wc -l file` on the same file in the
// same run. Prints medians of several rounds, the ratios, and the table's memory per row.
// With CY_BENCH_KV=1 in the environment it also prints "kv KEY VALUE" lines for scripts/bench.
//
//   build/default/bench/import_export_bench [lines] [rounds]
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "table/DomainExport.h"
#include "table/DomainImport.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double MedianOf(int rounds, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(Seconds(f));
    }
    return Median(times);
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t lines = argc > 1 ? std::stoul(argv[1]) : 1'000'000;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 5;

    char pattern[] = "/tmp/cy-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::string input = (folder / "domains.txt").string();
    const std::string output = (folder / "export.txt").string();
    {
        std::ofstream out(input, std::ios::binary);
        char line[64];
        for (std::size_t i = 0; i < lines; ++i) {
            const int n = std::snprintf(line, sizeof line, "d%07zu.example.cn\r\n", i);
            out.write(line, n);
        }
    }
    const auto bytes = std::filesystem::file_size(input);
    Shell("cat '" + input + "' > /dev/null");  // the file is in the page cache for every run

    const double cat = MedianOf(rounds, [&] { Shell("cat '" + input + "' > /dev/null"); });
    const double wc = MedianOf(rounds, [&] { Shell("wc -l '" + input + "' > /dev/null"); });

    std::vector<double> importTimes, readTimes, loadTimes, appendTimes;
    for (int i = 0; i < rounds; ++i) {
        table::DomainTable t;
        table::StagingMemo memo;
        importTimes.push_back(Seconds([&] { table::ImportDomainFile(input, memo, t); }));
        if (t.RowCount() != lines) {
            std::fprintf(stderr, "imported %zu rows, expected %zu\n", t.RowCount(), lines);
            return 1;
        }
        // The same steps one by one, to see where the time goes.
        table::DomainTable t2;
        std::string raw;
        readTimes.push_back(Seconds([&] { raw = table::ReadDomainFile(input); }));
        loadTimes.push_back(Seconds([&] { memo.Load(raw); }));
        appendTimes.push_back(Seconds([&] { t2.AppendDomainRows(memo.Lines()); }));
    }

    // Memory of the table alone, per row (small blocks and mapped large ones).
    const auto heapBefore = ::mallinfo2().uordblks + ::mallinfo2().hblkhd;
    table::DomainTable t;
    {
        table::StagingMemo memo;
        table::ImportDomainFile(input, memo, t);
    }
    const auto heapAfter = ::mallinfo2().uordblks + ::mallinfo2().hblkhd;

    // Results as a batch would leave them: half filed, a quarter not filed, a quarter not
    // looked up yet (京ICP备12345678号-1).
    const std::string filingNo =
        "\xBE\xA9ICP\xB1\xB8"
        "12345678\xBA\xC5-1";
    for (std::size_t i = 0; i < lines; ++i) {
        if (i % 4 < 2) {
            t.WriteCell(t.IdAt(i), table::Cell::FilingNo, filingNo);
        } else if (i % 4 == 2) {
            t.WriteCell(t.IdAt(i), table::Cell::FilingNo, std::string(table::NotFiledMark));
        }
    }
    std::vector<double> exportTimes, buildTimes, writeTimes;
    for (int i = 0; i < rounds; ++i) {
        table::StagingMemo memo;
        exportTimes.push_back(Seconds([&] {
            memo.Clear();
            table::BuildExportLines(t, table::ExportKind::AllRows, memo);
            table::WriteExportFile(output, memo.Text());
            memo.Clear();
        }));
        buildTimes.push_back(
            Seconds([&] { table::BuildExportLines(t, table::ExportKind::AllRows, memo); }));
        writeTimes.push_back(Seconds([&] { table::WriteExportFile(output, memo.Text()); }));
    }
    const auto exported = std::filesystem::file_size(output);
    std::filesystem::remove_all(folder);

    const double import = Median(importTimes);
    const double exportAll = Median(exportTimes);
    std::printf("file: %zu lines, %.1f MB; export: %.1f MB; median of %d rounds\n", lines,
                static_cast<double>(bytes) / 1e6, static_cast<double>(exported) / 1e6, rounds);
    std::printf("cat file > /dev/null   %8.3f s\n", cat);
    std::printf("wc -l file             %8.3f s\n", wc);
    std::printf("import                 %8.3f s  (%.1f x cat, %.1f x wc)  goal <= 1.5 s: %s\n",
                import, import / cat, import / wc, import <= 1.5 ? "met" : "MISSED");
    std::printf("  read %.3f s, memo load %.3f s, append rows %.3f s\n", Median(readTimes),
                Median(loadTimes), Median(appendTimes));
    std::printf("export all rows        %8.3f s  (%.1f x cat, %.1f x wc)  goal <= 0.5 s: %s\n",
                exportAll, exportAll / cat, exportAll / wc, exportAll <= 0.5 ? "met" : "MISSED");
    std::printf("  build lines %.3f s, write file (fsync, rename) %.3f s\n", Median(buildTimes),
                Median(writeTimes));
    const double bytesPerRow =
        static_cast<double>(heapAfter - heapBefore) / static_cast<double>(lines);
    std::printf("table memory per row   %8.1f bytes (domain cell only, before lookups)\n",
                bytesPerRow);
    if (const char* kv = std::getenv("CY_BENCH_KV"); kv && std::string(kv) == "1") {
        std::printf(
            "kv lines %zu\nkv cat_s %.6f\nkv wc_s %.6f\nkv import_s %.6f\n"
            "kv export_s %.6f\nkv bytes_per_row %.1f\n",
            lines, cat, wc, import, exportAll, bytesPerRow);
    }
    return 0;
}
