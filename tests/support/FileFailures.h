#pragma once

#include <sys/mount.h>

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

// A mount made for one test and taken away (lazily) at its end. Where mounting is not allowed
// (no privilege), Mounted() is false and the test skips itself.
class ScopedMount {
public:
    ScopedMount(const std::string& source, std::string target, const char* type,
                unsigned long flags, const char* options = nullptr)
        : target_(std::move(target)),
          mounted_(::mount(source.c_str(), target_.c_str(), type, flags, options) == 0) {}
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount() {
        if (mounted_) {
            ::umount2(target_.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted_; }
    // Makes the mount read-only (`more`: MS_BIND for a bind mount).
    bool MakeReadOnly(unsigned long more = 0) {
        return mounted_ && ::mount(nullptr, target_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | more,
                                   nullptr) == 0;
    }

private:
    std::string target_;
    bool mounted_;
};

}  // namespace cytest
