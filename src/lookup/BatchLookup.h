#pragma once

#include <cstddef>
#include <string_view>

#include "lookup/LookupUrl.h"
#include "table/DomainTable.h"

namespace lookup {

class LookupClient;

// The batch worker's body: takes the row count once, then for each index looks the row's
// trimmed Domain up, passes the page through UTF-16 and back, and writes Filing number,
// Review date and Sponsor (or NotFiledMark alone when the page holds no filing number), each
// the moment it is computed. Every write names the row that was read, so a result never lands
// in a row that replaced it after a clear. A failure on a row (the row is gone, the lookup
// failed) skips that row silently. baseUrl is LookupBaseUrl() but for tests.
void RunBatch(table::DomainTable& table, LookupClient& client,
              std::string_view baseUrl = LookupBaseUrl());

// Looks one row up again on the caller's thread: the page is used as received, and the three
// result cells are written in order. A page without a filing number marks the row with
// NotFiledMark, as the batch does, so the row keeps counting as unfiled. Failures are silent;
// returns false when the row was not (completely) looked up.
bool RequeryRow(table::DomainTable& table, LookupClient& client, std::size_t index,
                std::string_view baseUrl = LookupBaseUrl());

}  // namespace lookup
