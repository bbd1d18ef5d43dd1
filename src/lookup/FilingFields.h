#pragma once

#include <functional>
#include <string>
#include <string_view>

// The three fields of a filing record taken out of one lookup page, in the order the callers
// write them. Shared by the batch worker and the single-row re-query; it knows nothing of the
// table the values go to.
namespace lookup {

enum class FilingField { FilingNo, ReviewDate, Sponsor };

// Computes the filing number (text between the filing markers), then the review date, then the
// sponsor (the two patterns), and hands each value to `found` as soon as it is computed, so a
// caller can write it before the next one is worked out. The filing number is always reported,
// also when empty; with stopWhenNotFiled an empty filing number ends the extraction there (the
// batch, which then marks the row as not filed), otherwise the other two fields follow anyway
// (the re-query). An exception thrown by `found` propagates and ends the extraction.
void ExtractFilingFields(std::string_view page, bool stopWhenNotFiled,
                         const std::function<void(FilingField, std::string)>& found);

}  // namespace lookup
