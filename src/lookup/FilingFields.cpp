#include "lookup/FilingFields.h"

#include "lookup/FilingLiterals.h"
#include "lookup/PageParser.h"

namespace lookup {

void ExtractFilingFields(std::string_view page, bool stopWhenNotFiled,
                         const std::function<void(FilingField, std::string)>& found) {
    std::string filingNo = TextBetween(page, FilingNoStartMarker, FilingNoEndMarker);
    const bool notFiled = filingNo.empty();
    found(FilingField::FilingNo, std::move(filingNo));
    if (notFiled && stopWhenNotFiled) {
        return;
    }
    found(FilingField::ReviewDate, RegexGroupText(page, std::string(ReviewDatePattern)));
    found(FilingField::Sponsor, RegexGroupText(page, std::string(SponsorPattern)));
}

}  // namespace lookup
