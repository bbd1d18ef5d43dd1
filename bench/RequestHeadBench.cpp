// What a request head costs when the cookie store is as full as it may be, and when the cookie
// list is a single 4 MB line, each beside a plain copy of as many bytes in the same run: the
// head is built and folded in one pass, so it should cost a few such copies, not a copy per
// fold.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "lookup/CookieStore.h"
#include "lookup/LookupLimits.h"
#include "lookup/RequestWriter.h"

namespace {

constexpr std::string_view kHost = "www.example.com";
constexpr std::string_view kTarget = "/icp/details.asp?CertType=0&Domain=example.com";

// A store at its limits: every domain holds its most cookies, each of the most bytes. Two of
// the domains (the host's own and its dot domain) apply to the request.
const lookup::CookieStore& FullStore() {
    static lookup::CookieStore store;
    static const bool filled = [] {
        const lookup::LookupLimits limits;
        const auto now = lookup::CookieClock::from_time_t(1700000000);
        const std::size_t domains = limits.maxCookies / limits.maxCookiesPerDomain;
        for (std::size_t d = 0; d < domains; ++d) {
            const std::string host = d == 0   ? std::string(kHost)
                                     : d == 1 ? "x" + std::string(kHost.substr(3))
                                              : "d" + std::to_string(d) + ".test";
            const std::string domain = d == 1 ? "; domain=" + std::string(kHost.substr(3)) : "";
            for (std::size_t i = 0; i < limits.maxCookiesPerDomain; ++i) {
                std::string name = "c" + std::to_string(i);
                const std::string value(limits.maxCookieBytes - name.size(), 'v');
                store.Add(name + "=" + value + "; path=/" + domain, d == 1 ? kHost : host, now);
            }
        }
        return true;
    }();
    (void)filled;
    return store;
}

std::string FourMegabyteList() {
    std::string list;
    for (int i = 0; list.size() < (std::size_t{4} << 20); ++i) {
        list += (i ? "; c" : "c") + std::to_string(i) + "=value";
    }
    return list;
}

void Copy(benchmark::State& state, std::size_t bytes) {
    const std::string source(bytes, 'c');
    for (auto _ : state) {
        std::string copy(source.size(), '\0');
        std::memcpy(copy.data(), source.data(), source.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
}

// As the lookup client makes it: the list and the head written into the same two strings for
// every request.
void BM_HeadFromFullStore(benchmark::State& state) {
    const lookup::CookieStore& store = FullStore();
    std::string list, head;
    for (auto _ : state) {
        store.RequestCookieList(list, kHost, "/icp/");
        lookup::WriteRequestHead(head, kTarget, kHost, list);
        benchmark::DoNotOptimize(head.data());
    }
    state.counters["bytes"] = static_cast<double>(head.size());
}
BENCHMARK(BM_HeadFromFullStore)->Unit(benchmark::kMicrosecond);

// The cookie list alone, to tell the store's part from the writer's.
void BM_CookieListFromFullStore(benchmark::State& state) {
    const lookup::CookieStore& store = FullStore();
    for (auto _ : state) {
        const std::string list = store.RequestCookieList(kHost, "/icp/");
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(BM_CookieListFromFullStore)->Unit(benchmark::kMicrosecond);

void BM_Baseline_CopyFullStoreHead(benchmark::State& state) {
    Copy(state,
         lookup::WriteRequestHead(kTarget, kHost, FullStore().RequestCookieList(kHost, "/icp/"))
             .size());
}
BENCHMARK(BM_Baseline_CopyFullStoreHead)->Unit(benchmark::kMicrosecond);

void BM_HeadWithFourMegabyteCookieLine(benchmark::State& state) {
    const std::string list = FourMegabyteList();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string head = lookup::WriteRequestHead(kTarget, kHost, list);
        bytes = head.size();
        benchmark::DoNotOptimize(head.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_HeadWithFourMegabyteCookieLine)->Unit(benchmark::kMicrosecond);

void BM_Baseline_CopyFourMegabyteHead(benchmark::State& state) {
    Copy(state, lookup::WriteRequestHead(kTarget, kHost, FourMegabyteList()).size());
}
BENCHMARK(BM_Baseline_CopyFourMegabyteHead)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
