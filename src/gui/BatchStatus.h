#pragma once

#include "lookup/BatchLookup.h"

#include <QString>

#include <chrono>
#include <cstddef>

// What the main window's third status panel says about the batches: the panel's text and its
// tooltip for the counts of the current (or last) run.
namespace gui {

// "查询 1234/5000 失败 3" while batches run, "完成 5000 失败 3" after the last one ended, or
// "已停止 1234/5000" after a stop.
QString BatchPanelText(const lookup::BatchCounts& counts);

// The breakdown: filed, unfiled, failed, elapsed time, rows per second, and while batches run
// the hint that a click stops them; once they have ended, with `unfinished` rows of the table
// still without a result, the command that looks those up again. `now` is the time the running
// run is measured to.
QString BatchPanelToolTip(const lookup::BatchCounts& counts,
                          std::chrono::steady_clock::time_point now, std::size_t unfinished = 0);

// The popup menu's command that looks up again the rows without a result, as the tooltip names
// it, and what the panel says when there are none.
inline constexpr const char16_t* kRerunCommandText = u"重查未完成的域名";
inline constexpr const char16_t* kNothingUnfinishedText = u"没有未完成的域名";

}  // namespace gui
