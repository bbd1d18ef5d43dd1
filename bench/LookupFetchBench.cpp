// Sequential FetchPage calls against one URL: prints the number of calls, the seconds taken and
// the rate. bench/lookup_vs_wrk runs it next to wrk against the stand-in service.
//   lookup_fetch_bench URL [COUNT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lookup/LookupClient.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL [COUNT]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10000;
    lookup::LookupClient client;
    std::size_t bytes = client.FetchPage(url).size();  // connect outside the timing
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        bytes += client.FetchPage(url).size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("calls %ld seconds %.3f rate %.1f bytes %zu\n", count, seconds, count / seconds,
                bytes);
    return 0;
}
