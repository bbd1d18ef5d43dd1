#include "lookup/BatchLookup.h"

#include <string>

#include "lookup/CodePage936.h"
#include "lookup/FilingFields.h"
#include "lookup/LookupClient.h"
#include "lookup/LookupUrl.h"

namespace lookup {

namespace {

table::Cell CellOf(FilingField field) {
    switch (field) {
        case FilingField::FilingNo:
            return table::Cell::FilingNo;
        case FilingField::ReviewDate:
            return table::Cell::ReviewDate;
        case FilingField::Sponsor:
            break;
    }
    return table::Cell::Sponsor;
}

// Writes each field into the row as soon as it is extracted; an empty filing number becomes
// NotFiledMark.
void WriteFields(table::DomainTable& table, table::RowId row, std::string_view page,
                 bool stopWhenNotFiled) {
    ExtractFilingFields(page, stopWhenNotFiled, [&](FilingField field, std::string text) {
        if (field == FilingField::FilingNo && text.empty()) {
            text = table::NotFiledMark;
        }
        table.WriteCell(row, CellOf(field), std::move(text));
    });
}

}  // namespace

void RunBatch(table::DomainTable& table, LookupClient& client, std::string_view baseUrl) {
    const std::size_t n = table.RowCount();
    for (std::size_t i = 0; i < n; ++i) {
        try {
            const table::CellRead domain = table.ReadCellWithId(i, table::Cell::Domain);
            const std::string page =
                cp936::RoundTrip(client.FetchPage(LookupUrl(domain.text, baseUrl)));
            WriteFields(table, domain.id, page, /*stopWhenNotFiled=*/true);
        } catch (...) {
            // A row that is gone or whose lookup failed keeps what it holds; go on.
        }
    }
}

bool RequeryRow(table::DomainTable& table, LookupClient& client, std::size_t index,
                std::string_view baseUrl) {
    try {
        const table::CellRead domain = table.ReadCellWithId(index, table::Cell::Domain);
        const std::string page = client.FetchPage(LookupUrl(domain.text, baseUrl));
        WriteFields(table, domain.id, page, /*stopWhenNotFiled=*/false);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace lookup
