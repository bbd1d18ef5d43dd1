#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "table/DomainExport.h"
#include "table/DomainImport.h"
#include "table/DomainTable.h"
#include "table/FileError.h"
#include "table/StagingMemo.h"

namespace cytest {

// Imports `name` and expects the exact message for a file that cannot be opened: no row is
// added, and the memo was cleared before the open.
inline void ExpectOpenFailure(const std::string& name, const std::string& reason) {
    table::DomainTable t;
    table::StagingMemo memo;
    memo.AppendLine("old");
    try {
        table::ImportDomainFile(name, memo, t);
        FAIL() << "no exception for " << name;
    } catch (const table::FileError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "Cannot open file \"" + std::filesystem::absolute(name).string() + "\". " + reason);
    }
    EXPECT_EQ(t.RowCount(), 0u);
    EXPECT_EQ(memo.Text(), "");
}

// Writes a short text onto `name` and expects the exact message for a file that cannot be
// created.
inline void ExpectCreateFailure(const std::string& name, const std::string& reason) {
    try {
        table::WriteExportFile(name, "new.cn\r\n");
        FAIL() << "no exception for " << name;
    } catch (const table::FileError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "Cannot create file \"" + std::filesystem::absolute(name).string() + "\". " + reason);
    }
}

}  // namespace cytest
