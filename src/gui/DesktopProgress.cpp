#include "gui/DesktopProgress.h"

#include "gui/ErrorBox.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

namespace gui {

namespace {

const QString kLauncherPath = QStringLiteral("/io/github/chengyu/IcpQuery");

QString AppUri() {
    return QStringLiteral("application://%1.desktop").arg(QLatin1String(kDesktopFileId));
}

}  // namespace

DesktopProgress::DesktopProgress() = default;

// Qt would try to start a bus (dbus-launch) when none is configured; only an address given in
// the environment, or the user's bus socket, counts.
bool DesktopProgress::BusReachable() {
    if (!busReachable_) {
        const bool configured =
            !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
            (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") &&
             QFileInfo::exists(
                 QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(QStringLiteral("bus"))));
        busReachable_ = configured && QDBusConnection::sessionBus().isConnected();
    }
    return *busReachable_;
}

void DesktopProgress::Show(const lookup::BatchCounts& c) {
    const bool visible = c.running > 0;
    const int permille =
        c.total > 0 ? static_cast<int>(std::min<std::size_t>(c.done, c.total) * 1000 / c.total) : 0;
    if (visible == visible_ && (!visible || (permille == permille_ && c.failed == failed_))) {
        return;
    }
    const bool completed = visible_ && !visible && !c.stopped && permille_ != 1000;
    visible_ = visible;
    permille_ = permille;
    failed_ = c.failed;
    if (!BusReachable()) {
        return;
    }
    if (completed) {
        // The launcher shows the full bar before it hides it, however the updates fell.
        Send(1.0, true, c.failed);
    }
    Send(permille / 1000.0, visible, c.failed);
}

void DesktopProgress::Send(double progress, bool visible, std::size_t failed) {
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), visible);
    properties.insert(QStringLiteral("count-visible"), visible && failed > 0);
    if (visible) {
        properties.insert(QStringLiteral("progress"), progress);
        properties.insert(QStringLiteral("count"), static_cast<qint64>(failed));
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        kLauncherPath, QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    signal << AppUri() << properties;
    QDBusConnection::sessionBus().send(signal);
}

void DesktopProgress::RunEnded(const lookup::BatchCounts& c, bool windowActive) {
    Show(c);
    if (windowActive || c.ended - c.started < notifyAfter_ || !BusReachable()) {
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString body =
        (c.stopped ? QStringLiteral("已停止，查询 %1/%2 行") : QStringLiteral("查询 %1/%2 行"))
            .arg(c.done)
            .arg(c.total) +
        QStringLiteral("：已备案 %1，未备案 %2，失败 %3").arg(c.filed).arg(c.unfiled).arg(c.failed);
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopFileId));
    notify << kApplicationTitle << 0u << QString::fromLatin1(kDesktopFileId)
           << QStringLiteral("批量查询完成") << body << QStringList() << hints << -1;
    // Sent without waiting for the reply: a slow or missing notification service must not
    // hold the window.
    QDBusConnection::sessionBus().send(notify);
}

}  // namespace gui
