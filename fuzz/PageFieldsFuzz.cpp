// Arbitrary bytes as a lookup page: the field extraction (both modes), the marker search against
// its plain reference, and the code page round trip must neither crash nor break their rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ReferenceMarkerSearch.h"
#include "ReferenceRoundTrip.h"
#include "lookup/FilingFields.h"
#include "lookup/FilingLiterals.h"
#include "lookup/PageParser.h"
#include "text/CodePage936.h"

namespace {

using Found = std::vector<std::pair<lookup::FilingField, std::string>>;

Found Extract(std::string_view page, bool stopWhenNotFiled) {
    Found found;
    lookup::ExtractFilingFields(page, stopWhenNotFiled, [&](lookup::FilingField f, std::string v) {
        found.emplace_back(f, std::move(v));
    });
    return found;
}

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void CheckFields(std::string_view page) {
    const Found all = Extract(page, false);
    Check(all.size() == 3 && all[0].first == lookup::FilingField::FilingNo &&
          all[1].first == lookup::FilingField::ReviewDate &&
          all[2].first == lookup::FilingField::Sponsor);
    // The filing number lies before the page's first zero byte, so it holds none.
    Check(all[0].second.find('\0') == std::string::npos);
    const Found batch = Extract(page, true);
    Check(batch.size() == (all[0].second.empty() ? 1u : 3u));
    Check(std::equal(batch.begin(), batch.end(), all.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    CheckFields(input);

    // The batch worker's order: round trip first, then the extraction.
    const std::string once = text::cp936::RoundTrip(std::string(input));
    Check(once.size() <= input.size());
    Check(text::cp936::RoundTrip(once) == once);
    // The one pass against the two conversions through UTF-16 (user-defined areas kept).
    Check(once == cytest::ReferenceRoundTrip(input));
    CheckFields(once);

    // The last up to 7 bytes (count from the first byte) as a marker over the rest.
    if (size >= 1) {
        const std::size_t n = std::min<std::size_t>(data[0] % 8, size - 1);
        const std::string_view page = input.substr(1, size - 1 - n);
        const std::string_view marker = input.substr(size - n);
        Check(lookup::FindMarker(page, marker) == cytest::ReferenceFindMarker(page, marker));
    }
    Check(lookup::FindMarker(input, lookup::FilingNoEndMarker) ==
          cytest::ReferenceFindMarker(input, lookup::FilingNoEndMarker));
    return 0;
}
