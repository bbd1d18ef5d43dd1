#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "U_AboutBox.h"
#include "gui/Links.h"
#include "gui/ShellOpenLink.h"

namespace {

struct OpenedLink {
    QWidget* owner;
    QString address;
};

// Records the addresses handed to the desktop instead of starting a browser.
class LinkRecorder {
public:
    LinkRecorder()
        : guard_([this](QWidget* owner, const QString& address) {
              opened.push_back({owner, address});
          }) {}
    std::vector<OpenedLink> opened;

private:
    gui::ScopedLinkOpener guard_;
};

template <typename T = QWidget>
T* Child(QWidget* parent, const char* name) {
    auto* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no child named %s", name);
    }
    return child;
}

// Runs the deferred deletions that a closed dialog with WA_DeleteOnClose has queued.
void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void looksAsStored() {
        QPointer<TAboutBox> box = new TAboutBox;
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));

        QCOMPARE(box->windowTitle(), QStringLiteral("关于"));
        QCOMPARE(box->size(), QSize(350, 213));
        QCOMPARE(box->minimumSize(), box->maximumSize());
        const Qt::WindowFlags flags = box->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowContextHelpButtonHint)));

        auto* ok = Child<QPushButton>(box, "OKButton");
        QCOMPARE(ok->geometry(), QRect(263, 180, 75, 25));
        QVERIFY(ok->isDefault());
        QCOMPARE(Child(box, "Panel1")->geometry(), QRect(8, 8, 337, 161));

        auto* icon = Child<QLabel>(box, "ProgramIcon");
        QCOMPARE(icon->geometry(), QRect(23, 13, 63, 63));
        QCOMPARE(icon->pixmap().size(), QSize(63, 63));
        QVERIFY(!icon->hasScaledContents());

        QCOMPARE(box->font().pixelSize(), 11);
        QCOMPARE(Child(box, "ProductName")->font().pixelSize(), 12);
        QCOMPARE(ok->font().pixelSize(), 12);
        box->close();
    }

    void labels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blue");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("toolTip");
        const int arrow = Qt::ArrowCursor;
        const int hand = Qt::PointingHandCursor;
        QTest::newRow("picture") << "ProgramIcon" << QPoint(23, 13) << QString() << false << arrow
                                 << "澄屿域名备案批量查询器";
        QTest::newRow("product name") << "ProductName" << QPoint(124, 16)
                                      << "澄屿域名备案批量查询器" << false << arrow << QString();
        QTest::newRow("version") << "Version" << QPoint(124, 37) << "版本:1.0" << false << arrow
                                 << QString();
        QTest::newRow("home page")
            << "HomePage" << QPoint(124, 57) << QString::fromLatin1(links::HomePageUrl) << true
            << hand << "打开澄屿软件主页";
        QTest::newRow("e-mail") << "Comments" << QPoint(123, 77)
                                << "Email:" + QString::fromLatin1(links::ContactMailAddress) << true
                                << hand << QString();
        QTest::newRow("messenger")
            << "lbl1" << QPoint(123, 94) << "QQ:" + QString::fromLatin1(links::ContactImNumber)
            << false << arrow << QString();
        QTest::newRow("microblog")
            << "lbl2" << QPoint(123, 115) << "澄屿软件微博" << true << arrow << QString();
    }
    void labels() {
        QFETCH(QString, name);
        QFETCH(QPoint, position);
        QFETCH(QString, text);
        QFETCH(bool, blue);
        QFETCH(int, cursor);
        QFETCH(QString, toolTip);

        TAboutBox box;
        auto* label = box.findChild<QLabel*>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(label->pos(), position);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->cursor().shape(), static_cast<Qt::CursorShape>(cursor));
        QCOMPARE(label->toolTip(), toolTip);
        const QColor textColour = label->palette().color(QPalette::WindowText);
        QCOMPARE(textColour == QColor(Qt::blue), blue);
        if (!text.isEmpty()) {
            // The whole text fits: labels grow to their text.
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
            QVERIFY(label->height() >= label->fontMetrics().height());
            QVERIFY(label->geometry().right() < label->parentWidget()->width());
        }
    }

    void clicksOpenTheirLinks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");  // empty: the click does nothing
        QTest::newRow("picture") << "ProgramIcon" << QString::fromLatin1(links::HomePageUrl);
        QTest::newRow("home page") << "HomePage" << QString::fromLatin1(links::HomePageUrl);
        QTest::newRow("e-mail") << "Comments"
                                << "mailto:" + QString::fromLatin1(links::ContactMailAddress);
        QTest::newRow("microblog") << "lbl2" << QString::fromLatin1(links::MicroblogUrl);
        QTest::newRow("product name") << "ProductName" << QString();
        QTest::newRow("version") << "Version" << QString();
        QTest::newRow("messenger") << "lbl1" << QString();
        QTest::newRow("panel") << "Panel1" << QString();
    }
    void clicksOpenTheirLinks() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        LinkRecorder links;
        QPointer<TAboutBox> box = new TAboutBox;
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));

        auto* target = box->findChild<QWidget*>(name);
        QVERIFY(target != nullptr);
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, 5));

        if (address.isEmpty()) {
            QCOMPARE(links.opened.size(), 0u);
        } else {
            QCOMPARE(links.opened.size(), 1u);
            QCOMPARE(links.opened[0].address, address);
            QCOMPARE(links.opened[0].owner, box.data());
        }
        QVERIFY(box->isVisible());  // a link leaves the dialog open
        box->close();
        RunDeferredDeletes();
        QVERIFY(box.isNull());
    }

    void everyWayOfClosingDestroysIt_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "button";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("access key Alt+O") << "alt-o";
        QTest::newRow("close button") << "close";
        QTest::newRow("Escape") << "escape";
    }
    void everyWayOfClosingDestroysIt() {
        QFETCH(QString, how);
        QPointer<TAboutBox> box = new TAboutBox;
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        box->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box));

        if (how == "button") {
            QTest::mouseClick(Child<QPushButton>(box, "OKButton"), Qt::LeftButton);
        } else if (how == "enter") {
            QTest::keyClick(box, Qt::Key_Return);
        } else if (how == "alt-o") {
            QTest::keyClick(box->windowHandle(), Qt::Key_O, Qt::AltModifier);
        } else if (how == "close") {
            // What the title bar's close button and Alt+F4 deliver.
            box->windowHandle()->close();
        } else {
            QTest::keyClick(box, Qt::Key_Escape);
        }
        // An access key presses the button with a short animation, so allow a moment.
        QTRY_VERIFY(box.isNull() || !box->isVisible());
        RunDeferredDeletes();
        QVERIFY(box.isNull());
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
