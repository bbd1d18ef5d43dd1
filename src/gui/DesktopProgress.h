#pragma once

#include "lookup/BatchLookup.h"

#include <QString>

#include <chrono>
#include <optional>

// Tells the desktop about the batches: their progress on the program's launcher (the
// com.canonical.Unity.LauncherEntry Update signal, shown by the KDE Plasma task manager and
// several docks), and one notification when a long run ends unseen. Without a session bus
// both are skipped, silently and without trying to start one.
namespace gui {

// The application's desktop file id, which the launcher and the notification name.
inline constexpr char kDesktopFileId[] = "io.github.chengyu.IcpQuery";

class DesktopProgress {
public:
    DesktopProgress();

    // While batches run: the share of rows done, and the failures once there are any. After
    // the run: the launcher's progress and count are hidden. Sends only what changed.
    void Show(const lookup::BatchCounts& counts);

    // The run has ended. When it lasted at least NotifyAfter() and the window was not the
    // active window, one notification "批量查询完成" with the counts.
    void RunEnded(const lookup::BatchCounts& counts, bool windowActive);

    std::chrono::milliseconds NotifyAfter() const { return notifyAfter_; }
    void SetNotifyAfter(std::chrono::milliseconds after) { notifyAfter_ = after; }

private:
    bool BusReachable();
    void Send(double progress, bool visible, std::size_t failed);

    std::optional<bool> busReachable_;  // looked up once, on first use
    std::chrono::milliseconds notifyAfter_{std::chrono::seconds(10)};
    // The last values sent, to send nothing when nothing changed.
    bool visible_ = false;
    int permille_ = -1;
    std::size_t failed_ = 0;
};

}  // namespace gui
