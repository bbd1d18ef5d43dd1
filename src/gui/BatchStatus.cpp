#include "gui/BatchStatus.h"

#include <QStringList>

namespace gui {

QString BatchPanelText(const lookup::BatchCounts& c) {
    if (c.running > 0) {
        return QStringLiteral("查询 %1/%2 失败 %3").arg(c.done).arg(c.total).arg(c.failed);
    }
    if (c.stopped) {
        return QStringLiteral("已停止 %1/%2").arg(c.done).arg(c.total);
    }
    return QStringLiteral("完成 %1 失败 %2").arg(c.done).arg(c.failed);
}

QString BatchPanelToolTip(const lookup::BatchCounts& c, std::chrono::steady_clock::time_point now,
                          std::size_t unfinished) {
    using namespace std::chrono;
    const auto until = c.running > 0 ? now : c.ended;
    const auto elapsed =
        until > c.started ? duration_cast<milliseconds>(until - c.started) : milliseconds(0);
    const long long seconds = elapsed.count() / 1000;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(seconds / 3600)
                              .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const double rate =
        elapsed.count() > 0 ? static_cast<double>(c.done) * 1000.0 / elapsed.count() : 0.0;
    QStringList lines{QStringLiteral("已备案 %1").arg(c.filed),
                      QStringLiteral("未备案 %1").arg(c.unfiled),
                      QStringLiteral("失败 %1").arg(c.failed), QStringLiteral("用时 %1").arg(clock),
                      QStringLiteral("每秒 %1 行").arg(rate, 0, 'f', 1)};
    if (c.running > 0) {
        lines << QStringLiteral("单击停止查询");
    } else if (unfinished > 0) {
        lines << QStringLiteral("未完成 %1 行：右键表格选“%2”")
                     .arg(unfinished)
                     .arg(QString::fromUtf16(kRerunCommandText));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace gui
