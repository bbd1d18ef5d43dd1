// The batches' progress on the desktop: launcher updates and the end-of-run notification, as a
// launcher and a notification service on the test's own session bus receive them (the test
// runs under dbus-run-session).
#include "U_Main.h"
#include "gui/DesktopProgress.h"
#include "gui/DomainTableModel.h"
#include "gui/PanelStatusBar.h"

#include "support/MainWindowDriver.h"
#include "support/ScriptedLookup.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QtTest>

#include <memory>
#include <vector>

using namespace std::chrono_literals;
using testsupport::Reply;
using testsupport::ScriptedHttpServer;

namespace {

// What the desktop receives.
class Desktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Update {
        QString app;
        QVariantMap properties;
    };
    struct Notice {
        QString app, icon, summary, body;
    };
    std::vector<Update> updates;
    std::vector<Notice> notices;

public Q_SLOTS:
    void Launcher(const QString& app, const QVariantMap& properties) {
        updates.push_back({app, properties});
    }
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        notices.push_back({app, icon, summary, body});
        return static_cast<uint>(notices.size());
    }
};

Reply Slowly(const std::string& request) {
    Reply r = cytest::ByDomain(request);
    r.delay = 10ms;
    return r;
}

}  // namespace

class DesktopProgressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The desktop's side on a connection of its own, so every message really crosses the bus.
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop")));
        QVERIFY2(bus_->isConnected(), "run under dbus-run-session");
        QVERIFY(bus_->registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(bus_->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop_,
                                     QDBusConnection::ExportAllSlots));
        QVERIFY(bus_->connect(
            QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
            QStringLiteral("Update"), &desktop_, SLOT(Launcher(QString, QVariantMap))));
    }
    void init() {
        desktop_.updates.clear();
        desktop_.notices.clear();
        server_ = std::make_unique<ScriptedHttpServer>();
        server_->SetResponder(Slowly);
        window_ = std::make_unique<TFrm_Main>();
        window_->SetLookupBaseUrl(cytest::LookupBase(*server_));
        window_->Desktop().SetNotifyAfter(0ms);
        std::vector<std::string> rows;
        for (int i = 0; i < 30; ++i) {
            rows.push_back((i % 10 == 4 ? "fail" : "x") + std::to_string(i) + ".example");
        }
        window_->Model().AppendDomainRows(std::span<const std::string>(rows));
        window_->show();
    }
    void cleanup() {
        window_.reset();
        server_.reset();
    }

    // Progress rises to 1 and is hidden at the end; failures are counted once there are some;
    // one notice when the window was not the active one.
    void launcherFollowsTheRunAndAnUnseenEndIsNoticed() {
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow() && !window_->isActiveWindow());
        RunBatch();

        QTRY_VERIFY(
            !desktop_.updates.empty() &&
            !desktop_.updates.back().properties.value(QStringLiteral("progress-visible")).toBool());
        QVERIFY(desktop_.updates.size() >= 2);
        double last = -1;
        bool counted = false;
        for (std::size_t i = 0; i + 1 < desktop_.updates.size(); ++i) {
            const auto& u = desktop_.updates[i];
            QCOMPARE(u.app, QStringLiteral("application://io.github.chengyu.IcpQuery.desktop"));
            QVERIFY(u.properties.value(QStringLiteral("progress-visible")).toBool());
            const double progress = u.properties.value(QStringLiteral("progress")).toDouble();
            QVERIFY2(progress >= last, "progress never goes back");
            last = progress;
            if (u.properties.value(QStringLiteral("count-visible")).toBool()) {
                counted = true;
                QVERIFY(u.properties.value(QStringLiteral("count")).toLongLong() >= 1);
            }
        }
        QCOMPARE(last, 1.0);
        QVERIFY(counted);
        QVERIFY(
            !desktop_.updates.back().properties.value(QStringLiteral("count-visible")).toBool());

        QTRY_COMPARE(desktop_.notices.size(), std::size_t{1});
        QCOMPARE(desktop_.notices[0].summary, QStringLiteral("批量查询完成"));
        QCOMPARE(desktop_.notices[0].app, QStringLiteral("澄屿域名备案批量查询器V1.0"));
        QVERIFY2(desktop_.notices[0].body.contains(QStringLiteral("30/30")) &&
                     desktop_.notices[0].body.contains(QStringLiteral("失败 3")),
                 qPrintable(desktop_.notices[0].body));
    }

    // The user watched the end: no notice. Nor for a run shorter than the limit.
    void noNoticeWhenTheWindowIsActiveOrTheRunShort() {
        window_->activateWindow();
        QTRY_VERIFY(window_->isActiveWindow());
        RunBatch();
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(!window_->isActiveWindow());
        window_->Desktop().SetNotifyAfter(60s);
        RunBatch();
        QTest::qWait(300);  // time for a stray notice to arrive
        QVERIFY(desktop_.notices.empty());
        QVERIFY(!desktop_.updates.empty());
    }

    // Without a session bus, nothing is tried and nothing waits.
    void withoutABusNothingIsSent() {
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("XDG_RUNTIME_DIR");
        gui::DesktopProgress alone;
        alone.SetNotifyAfter(0ms);
        lookup::BatchCounts running;
        running.total = 10;
        running.done = 5;
        running.failed = 1;
        running.running = 1;
        lookup::BatchCounts ended = running;
        ended.running = 0;
        ended.done = 10;
        QElapsedTimer clock;
        clock.start();
        alone.Show(running);
        alone.RunEnded(ended, false);
        const qint64 took = clock.elapsed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY2(took < 500, "no bus: no waiting");
        QTest::qWait(300);
        QVERIFY(desktop_.updates.empty());
        QVERIFY(desktop_.notices.empty());
    }

private:
    void RunBatch() {
        const testsupport::MainWindowDriver ui(*window_);
        ui.btn4->click();
        QTRY_VERIFY_WITH_TIMEOUT(ui.Progress().startsWith(QStringLiteral("完成")), 20000);
    }

    Desktop desktop_;
    std::unique_ptr<QDBusConnection> bus_;
    std::unique_ptr<ScriptedHttpServer> server_;
    std::unique_ptr<TFrm_Main> window_;
};

QTEST_MAIN(DesktopProgressTest)
#include "DesktopProgressTest.moc"
