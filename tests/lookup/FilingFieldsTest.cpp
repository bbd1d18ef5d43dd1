#include "lookup/FilingFields.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "HexBytes.h"

namespace {

using cytest::Hex;
using lookup::FilingField;
using Found = std::vector<std::pair<FilingField, std::string>>;

const std::string kLabelEnd = "</label><span class=\"fontred\">";
const std::string kEnd = "</span></div>";
const std::string kFiling =  // 备案/许可证号：...京ICP备00000001号...
    Hex("B1B8 B0B8 2F D0ED BFC9 D6A4 BAC5 A3BA") + kLabelEnd +
    Hex("BEA9 494350 B1B8 3030303030303031 BAC5") + kEnd;
const std::string kReview =  // 审核通过时间：...2010-05-20...
    Hex("C9F3 BACB CDA8 B9FD CAB1 BCE4 A3BA") + kLabelEnd + "2010-05-20" + kEnd;
const std::string kSponsor =  // 主办单位名称：...甲公司...
    Hex("D6F7 B0EC B5A5 CEBB C3FB B3C6 A3BA") + kLabelEnd + Hex("BCD7 B9AB CBBE") + kEnd;

Found Extract(const std::string& page, bool stopWhenNotFiled) {
    Found found;
    lookup::ExtractFilingFields(page, stopWhenNotFiled, [&](FilingField f, std::string v) {
        found.emplace_back(f, std::move(v));
    });
    return found;
}

TEST(FilingFields, ReportsTheFieldsInOrderAndStopsOnlyWhenAsked) {
    const std::string filed = "<div>" + kFiling + "\n" + kReview + "\n" + kSponsor + "\n";
    const Found all = {{FilingField::FilingNo, Hex("BEA9 494350 B1B8 3030303030303031 BAC5")},
                       {FilingField::ReviewDate, "2010-05-20"},
                       {FilingField::Sponsor, Hex("BCD7 B9AB CBBE")}};
    EXPECT_EQ(Extract(filed, true), all);
    EXPECT_EQ(Extract(filed, false), all);

    // The sponsor block ends in the end marker before the filing fragment: no filing number.
    const std::string unfiled = kSponsor + "\n" + kFiling;
    EXPECT_EQ(Extract(unfiled, true), (Found{{FilingField::FilingNo, ""}}));
    EXPECT_EQ(Extract(unfiled, false), (Found{{FilingField::FilingNo, ""},
                                              {FilingField::ReviewDate, ""},
                                              {FilingField::Sponsor, Hex("BCD7 B9AB CBBE")}}));
}

TEST(FilingFields, AFailingWriteEndsTheExtraction) {
    int calls = 0;
    EXPECT_THROW(lookup::ExtractFilingFields(kFiling + kReview + kSponsor, false,
                                             [&](FilingField f, const std::string&) {
                                                 ++calls;
                                                 if (f == FilingField::ReviewDate) {
                                                     throw std::runtime_error("row gone");
                                                 }
                                             }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2);
}

}  // namespace
