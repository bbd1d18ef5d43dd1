#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "gui/ClickableLabel.h"

class ClickableLabelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countsWhatAPersonCallsAClick() {
        QWidget window;
        window.resize(200, 100);
        gui::ClickableLabel label(QStringLiteral("link"), &window);
        label.setGeometry(10, 10, 80, 20);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QSignalSpy clicks(&label, &gui::ClickableLabel::clicked);
        const QPoint inside(40, 10);

        QTest::mouseClick(&label, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks.count(), 1);

        QTest::mouseClick(&label, Qt::RightButton, {}, inside);
        QCOMPARE(clicks.count(), 1);

        // Pressed on the label, released after moving off it: no click.
        QTest::mousePress(&label, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(150, 60));
        QCOMPARE(clicks.count(), 1);

        // A release that follows no press on the label: no click.
        QTest::mouseRelease(&label, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks.count(), 1);

        // A double click, delivered as the window system does (press, release, press with a
        // double-click event, release), is one click.
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, label.mapTo(&window, inside));
        QCOMPARE(clicks.count(), 2);
    }
};

QTEST_MAIN(ClickableLabelTest)
#include "ClickableLabelTest.moc"
