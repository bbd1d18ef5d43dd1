#pragma once

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// How far the process's resident memory rose above where it stood when the object was made,
// at its highest. The kernel's high-water mark (VmHWM) is reset first, so the figure belongs
// to what ran since, not to whatever an earlier test did.
//
//   PeakMemory peak;
//   ... the code under test ...
//   EXPECT_LT(peak.GrowthBytes(), 256u << 20);
class PeakMemory {
public:
    PeakMemory() {
        // "5" resets VmHWM to the current RSS (Linux 4.0 on). Where that is not allowed, the
        // old mark is the baseline, which can only understate the growth; Resettable() tells.
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        resettable_ = static_cast<bool>(clear);
        clear.close();
        baseline_ = resettable_ ? StatusKiB("VmRSS:") : StatusKiB("VmHWM:");
    }

    bool Resettable() const { return resettable_; }

    // What AddressSanitizer may keep resident besides: freed blocks wait in its quarantine
    // (quarantine_size_mb, 256 MiB by default) before they go back, so a run that frees large
    // blocks one after another looks that much bigger there, and its shadow memory adds an
    // eighth of all that. 0 in an ordinary build.
    static constexpr std::size_t kSanitizerAllowance =
#if defined(__SANITIZE_ADDRESS__)
        std::size_t{256 + 64} << 20;
#else
        0;
#endif

    std::size_t GrowthBytes() const {
        const std::size_t high = StatusKiB("VmHWM:");
        return high > baseline_ ? (high - baseline_) * 1024 : 0;
    }

    // A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), 0 when absent.
    static std::size_t StatusKiB(const std::string& field) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.compare(0, field.size(), field) == 0) {
                std::istringstream value(line.substr(field.size()));
                std::size_t kib = 0;
                value >> kib;
                return kib;
            }
        }
        return 0;
    }

private:
    bool resettable_ = false;
    std::size_t baseline_ = 0;
};

}  // namespace testsupport
