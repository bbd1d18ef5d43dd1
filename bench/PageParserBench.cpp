// Time per lookup page for the work the batch worker does on each page: the code page round
// trip and the extraction of the three fields. Baseline in the same run: one plain search for
// the end marker over the same page, which any extraction has to do at least once.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "ReferenceMarkerSearch.h"
#include "lookup/FilingFields.h"
#include "lookup/FilingLiterals.h"
#include "lookup/PageParser.h"
#include "text/CodePage936.h"

// Bytes requested from operator new, so a benchmark can tell what one conversion allocates.
// The replacements are kept out of line: inlined, the compiler pairs malloc with delete.
std::atomic<std::size_t> allocatedBytes{0};

__attribute__((noinline)) void* operator new(std::size_t size) {
    allocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Bytes allocated by one call of `work`, beyond its argument.
template <typename Work>
double AllocatedBy(Work work) {
    const std::size_t before = allocatedBytes.load();
    work();
    return static_cast<double>(allocatedBytes.load() - before);
}

// GBK text of `chars` characters drawn from the first level of GB2312 characters, with a
// full-width comma (A3 AC) or full stop (A1 A3) now and then.
std::string ChineseText(std::size_t chars, std::uint32_t seed) {
    std::string out;
    for (std::size_t i = 0; i < chars; ++i) {
        seed = seed * 1664525u + 1013904223u;
        if (i % 17 == 16) {
            out += (seed >> 20) % 3 ? "\xA3\xAC" : "\xA1\xA3";
            continue;
        }
        out.push_back(static_cast<char>(0xB0 + (seed >> 24) % 40));  // lead B0..D7
        out.push_back(static_cast<char>(0xA1 + (seed >> 12) % 94));  // trail A1..FE
    }
    return out;
}

// A filing page of about 30 KB: head with style and script, a navigation list, notices and a
// table of Chinese text, then the three fragments near the end and a footer. Nothing before
// the filing fragment ends in "</span></div>", so the filing number is found.
std::string MakeFilingPage() {
    const std::string lab = "</label><span class=\"fontred\">";
    const std::string end = "</span></div>";
    std::string page =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\r\n<html><head>"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />\r\n<title>" +
        ChineseText(8, 1) + "</title>\r\n<style type=\"text/css\">\r\n";
    for (int i = 0; i < 40; ++i) {
        page +=
            ".c" + std::to_string(i) + " { margin: 0 auto; padding: 4px 8px; color: #333; }\r\n";
    }
    page += "</style>\r\n<script type=\"text/javascript\">\r\n";
    for (int i = 0; i < 30; ++i) {
        page += "function f" + std::to_string(i) +
                "(a) { var s = document.getElementById('x' + a); if (s) { s.style.display = "
                "'none'; } }\r\n";
    }
    page += "</script></head>\r\n<body><div id=\"nav\"><ul>\r\n";
    for (int i = 0; i < 12; ++i) {
        page += "<li><a href=\"/p" + std::to_string(i) + ".asp\">" + ChineseText(4, 10 + i) +
                "</a></li>\r\n";
    }
    page += "</ul></div>\r\n<div class=\"notice\">\r\n";
    for (int i = 0; i < 24; ++i) {
        page += "<p class=\"c" + std::to_string(i) + "\">" + ChineseText(400, 100 + i) + "</p>\r\n";
    }
    page += "</div>\r\n<table class=\"list\">\r\n";
    for (int i = 0; i < 40; ++i) {
        page += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + ChineseText(20, 500 + i) +
                "</td><td><a href=\"#\">" + ChineseText(2, 900 + i) + "</a></td></tr>\r\n";
    }
    page += "</table>\r\n<div class=\"record\">\r\n<div class=\"row\"><label>";
    page += std::string(lookup::FilingNoStartMarker) +
            "\xBE\xA9ICP\xB1\xB8"
            "00000001\xBA\xC5" +
            end + "\r\n";  // 京ICP备00000001号
    page += "<div class=\"row\"><label>\xC9\xF3\xBA\xCB\xCD\xA8\xB9\xFD\xCA\xB1\xBC\xE4\xA3\xBA" +
            lab + "2010-05-20" + end + "\r\n";  // 审核通过时间：
    page += "<div class=\"row\"><label>\xD6\xF7\xB0\xEC\xB5\xA5\xCE\xBB\xC3\xFB\xB3\xC6\xA3\xBA" +
            lab + "\xC4\xB3\xC4\xB3\xBF\xC6\xBC\xBC\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE" + end +
            "\r\n";  // 主办单位名称：某某科技有限公司
    page +=
        "</div>\r\n<div id=\"footer\"><span>" + ChineseText(30, 7) + end + "\r\n</body></html>\r\n";
    return page;
}

const std::string& Page() {
    static const std::string page = MakeFilingPage();
    return page;
}

void BM_Baseline_FindEndMarker(benchmark::State& state) {
    const std::string_view page = Page();
    for (auto _ : state) {
        benchmark::DoNotOptimize(page.find(lookup::FilingNoEndMarker));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_ExtractFilingFields(benchmark::State& state) {
    const std::string& page = Page();
    benchmark::IterationCount fields = 0;
    for (auto _ : state) {
        lookup::ExtractFilingFields(page, true, [&](lookup::FilingField, std::string value) {
            fields += !value.empty();
            benchmark::DoNotOptimize(value);
        });
    }
    if (fields != 3 * state.iterations()) {
        state.SkipWithError("the page did not yield three fields");
    }
    state.counters["page_bytes"] = static_cast<double>(page.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

void BM_RoundTrip(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        benchmark::DoNotOptimize(text::cp936::RoundTrip(page));  // copies the page
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

// The batch worker's steps for one page: the round trip (in place, on the page as the client
// returned it) and the extraction. The copy of the page stands for the client's body.
void BM_RoundTripAndExtract(benchmark::State& state) {
    const std::string& page = Page();
    if (text::cp936::RoundTrip(page) == page) {
        state.SkipWithError("the page holds no character outside the stable set");
    }
    for (auto _ : state) {
        const std::string converted = text::cp936::RoundTrip(std::string(page));
        lookup::ExtractFilingFields(converted, true, [](lookup::FilingField, std::string value) {
            benchmark::DoNotOptimize(value);
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    std::string body(page);
    state.counters["extra_bytes"] =
        AllocatedBy([&] { benchmark::DoNotOptimize(text::cp936::RoundTrip(std::move(body))); });
    state.counters["page_bytes"] = static_cast<double>(page.size());
}

// Baseline: the same with the round trip through ToUtf16 and FromUtf16.
void BM_Baseline_TwoPassRoundTripAndExtract(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        const std::string converted = text::cp936::RoundTripTwoPass(std::string(page));
        lookup::ExtractFilingFields(converted, true, [](lookup::FilingField, std::string value) {
            benchmark::DoNotOptimize(value);
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    state.counters["extra_bytes"] = AllocatedBy(
        [&] { benchmark::DoNotOptimize(text::cp936::RoundTripTwoPass(std::string_view(page))); });
}

// Baseline: the copy of the page alone.
void BM_Baseline_CopyPage(benchmark::State& state) {
    const std::string& page = Page();
    for (auto _ : state) {
        std::string copy(page);
        benchmark::DoNotOptimize(copy.data());
    }
}

// The marker search on 30 KB of lead bytes where every occurrence of the marker begins on a
// trail byte: carrying the lead-byte run forward against walking back for each occurrence.
const std::string& AllLeadPage() {
    static const std::string page = "\xD6" + [] {
        std::string s;
        for (int i = 0; i < 15000; ++i)
            s += "\xD6\xD0";  // 中
        return s;
    }();
    return page;
}

void BM_FindMarker_AllLead(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup::FindMarker(AllLeadPage(), "\xD6\xD0"));
    }
}

void BM_FindMarker_AllLead_WalkBack(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(cytest::ReferenceFindMarker(AllLeadPage(), "\xD6\xD0"));
    }
}

// A hostile page of state.range(0) MB: the sponsor label repeated on one line, never closed.
const std::string& HostilePage(std::size_t megabytes) {
    static std::map<std::size_t, std::string> pages;
    std::string& page = pages[megabytes];
    if (page.empty()) {
        const std::string unit =
            "\xD6\xF7\xB0\xEC\xB5\xA5\xCE\xBB\xC3\xFB\xB3\xC6\xA3\xBA"
            "</label><span class=\"fontred\">"
            "\xC4\xB3\xC4\xB3\xB9\xAB\xCB\xBE</span>";
        while (page.size() < megabytes << 20) {
            page += unit;
        }
    }
    return page;
}

// The three fields of the hostile page (all three steps, as the re-query makes them).
void BM_HostileFields(benchmark::State& state) {
    const std::string& page = HostilePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        lookup::ExtractFilingFields(page, false, [](lookup::FilingField, std::string value) {
            benchmark::DoNotOptimize(value);
        });
    }
    state.counters["ms_per_MB"] = benchmark::Counter(
        static_cast<double>(state.range(0)) * 1e-3,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Baseline: memchr for a newline over the same page.
void BM_Baseline_HostileMemchr(benchmark::State& state) {
    const std::string& page = HostilePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memchr(page.data(), '\n', page.size()));
    }
    state.counters["ms_per_MB"] = benchmark::Counter(
        static_cast<double>(state.range(0)) * 1e-3,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_Baseline_FindEndMarker)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractFilingFields)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoundTripAndExtract)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_TwoPassRoundTripAndExtract)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_CopyPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindMarker_AllLead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindMarker_AllLead_WalkBack)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostileFields)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_HostileMemchr)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
