#include "Startup.h"
#include "U_Main.h"
#include "U_add.h"
#include "gui/ErrorBox.h"

#include "MessageBoxCapture.h"
#include "support/MainWindowDriver.h"

#include <QTimer>
#include <QtTest>

#include <stdexcept>

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyQuitPathEndsWithExitCodeZero_data();
    void everyQuitPathEndsWithExitCodeZero();
    void windowCreationFailureShowsApplicationErrorAndReturnsOne();
};

void StartupTest::everyQuitPathEndsWithExitCodeZero_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("btn6") << QStringLiteral("btn6");
    QTest::newRow("N8") << QStringLiteral("N8");
    QTest::newRow("close button") << QStringLiteral("close");
}

void StartupTest::everyQuitPathEndsWithExitCodeZero() {
    QFETCH(QString, path);
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    Startup startup(*app);
    bool mainShown = false;
    bool addHidden = false;
    // Runs inside the event loop, once the main window is up.
    QTimer::singleShot(50, [&] {
        TFrm_Main* main = startup.MainWindow();
        mainShown = main->isVisible();
        auto* add = main->findChild<TFrm_Add*>();
        addHidden = add != nullptr && !add->isVisible();
        if (path == QStringLiteral("btn6")) {
            QTest::mouseClick(testsupport::MainWindowDriver(*main).btn6, Qt::LeftButton);
        } else if (path == QStringLiteral("N8")) {
            testsupport::MainWindowDriver(*main).N8->trigger();
        } else {
            main->close();
        }
    });
    QCOMPARE(startup.Run(), 0);
    QVERIFY(mainShown);
    QVERIFY(addHidden);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("澄屿域名备案批量查询器V1.0"));
}

void StartupTest::windowCreationFailureShowsApplicationErrorAndReturnsOne() {
    MessageBoxCapture boxes;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    Startup startup(*app, []() -> std::unique_ptr<TFrm_Main> {
        throw std::runtime_error("Cannot create the browser panel");
    });
    const int code = startup.Run();

    QCOMPARE(code, 1);
    QCOMPARE(boxes.Count(), 1u);
    QCOMPARE(boxes[0].title, QStringLiteral("Application Error"));
    QCOMPARE(boxes[0].text, QStringLiteral("Cannot create the browser panel"));
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY(startup.MainWindow() == nullptr);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
