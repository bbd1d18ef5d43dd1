// Feeds arbitrary bytes, cut into arbitrary pieces, to the response reader: it must never crash,
// never take more than it was given, and never hold more than its caps allow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lookup/LookupError.h"
#include "lookup/ResponseReader.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void ReadInPieces(std::string_view input, std::uint32_t seed, const lookup::LookupLimits& limits) {
    lookup::ResponseReader reader(limits);
    try {
        while (!input.empty() && !reader.Done()) {
            seed = seed * 1103515245u + 12345u;
            const std::size_t piece = std::min<std::size_t>(input.size(), 1 + (seed >> 16) % 97);
            const std::size_t taken = reader.Feed(input.substr(0, piece));
            Check(taken <= piece);
            Check(reader.Body().size() <= limits.maxBody);
            if (taken < piece) {
                Check(reader.Done());
            }
            input.remove_prefix(piece);
            reader.TakeSetCookies();
        }
        if (!reader.Done()) {
            reader.FeedEnd();
        }
        Check(reader.Done());
        Check(reader.HeadDone());
        Check(reader.Status() >= -1);
        reader.Success();
        reader.KeepAlive();
    } catch (const lookup::LookupError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint32_t seed = static_cast<std::uint32_t>(data[0]) << 8 | data[1];
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    ReadInPieces(input, seed, lookup::LookupLimits{});
    lookup::LookupLimits small;  // small caps so the fuzzer reaches them
    small.maxLine = 40;
    small.maxHeaderBlock = 200;
    small.maxBody = 100;
    ReadInPieces(input, seed, small);
    return 0;
}
