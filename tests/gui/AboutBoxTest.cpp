#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <stdexcept>
#include <vector>

#include "U_AboutBox.h"
#include "U_Main.h"
#include "gui/ErrorBox.h"
#include "gui/Links.h"
#include "gui/ShellOpenLink.h"

#include "MessageBoxCapture.h"

namespace {

QString Latin1(const char* text) {
    return QString::fromLatin1(text);
}

struct OpenedLink {
    QWidget* owner;
    QString address;
};

// Records the addresses handed to the desktop instead of starting a browser; with `fail`, the
// desktop then fails as one without a handler for the address does.
class LinkRecorder {
public:
    explicit LinkRecorder(bool fail = false)
        : guard_([this, fail](QWidget* owner, const QString& address) {
              opened.push_back({owner, address});
              if (fail) {
                  throw std::runtime_error("No handler for the address");
              }
          }) {}
    std::vector<OpenedLink> opened;

private:
    gui::ScopedLinkOpener guard_;
};

template <typename T = QWidget>
T* Child(QWidget* parent, const char* name) {
    auto* child = parent->findChild<T*>(Latin1(name));
    if (child == nullptr) {
        qFatal("no child named %s", name);
    }
    return child;
}

// Runs the deferred deletions that a closed dialog with WA_DeleteOnClose has queued.
void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Acts on the about dialog once the code under test has it showing modally. Gives up (closing
// whatever modal window is open) after a deadline, so a missing dialog fails instead of hanging.
class WhenAboutBoxShows {
public:
    explicit WhenAboutBoxShows(std::function<void(TAboutBox*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }
    bool acted() const { return acted_; }

private:
    void Poll() {
        if (auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget())) {
            timer_.stop();
            acted_ = true;
            act_(box);
        } else if (deadline_.hasExpired()) {
            timer_.stop();
            if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        }
    }

    std::function<void(TAboutBox*)> act_;
    QTimer timer_;
    QDeadlineTimer deadline_{5000};
    bool acted_ = false;
};

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A fixed dialog with a close button only; the picture is decoded and shown at its own size.
    void fixedDialogWithPicture() {
        TAboutBox box;
        QCOMPARE(box.minimumSize(), QSize(350, 213));
        QCOMPARE(box.maximumSize(), QSize(350, 213));
        const Qt::WindowFlags flags = box.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowContextHelpButtonHint)));
        QVERIFY(Child<QPushButton>(&box, "OKButton")->isDefault());

        auto* icon = Child<QLabel>(&box, "ProgramIcon");
        QCOMPARE(icon->pixmap().size(), QSize(63, 63));
        QCOMPARE(icon->size(), QSize(63, 63));
        QVERIFY(!icon->hasScaledContents());
    }

    void labels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blue");
        QTest::addColumn<int>("cursor");
        const int arrow = Qt::ArrowCursor;
        const int hand = Qt::PointingHandCursor;
        QTest::newRow("product name")
            << Latin1("ProductName") << QStringLiteral("澄屿域名备案批量查询器") << false << arrow;
        QTest::newRow("version") << Latin1("Version") << QStringLiteral("版本:1.0") << false
                                 << arrow;
        QTest::newRow("home page")
            << Latin1("HomePage") << Latin1(links::HomePageUrl) << true << hand;
        QTest::newRow("e-mail") << Latin1("Comments")
                                << Latin1("Email:") + Latin1(links::ContactMailAddress) << true
                                << hand;
        QTest::newRow("messenger")
            << Latin1("lbl1") << Latin1("QQ:") + Latin1(links::ContactImNumber) << false << arrow;
        QTest::newRow("microblog")
            << Latin1("lbl2") << QStringLiteral("澄屿软件微博") << true << arrow;
    }
    void labels() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, blue);
        QFETCH(int, cursor);

        TAboutBox box;
        auto* label = box.findChild<QLabel*>(name);
        QVERIFY(label != nullptr);
        QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(label->text(), text);
        QCOMPARE(label->cursor().shape(), static_cast<Qt::CursorShape>(cursor));
        const QColor textColour = label->palette().color(QPalette::WindowText);
        QCOMPARE(textColour == QColor(Qt::blue), blue);
        // The whole text shows: labels grow to their text, inside the panel.
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        QVERIFY(label->height() >= label->fontMetrics().height());
        QVERIFY(label->geometry().right() < label->parentWidget()->width());
    }

    void clicksOpenTheirLinks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");  // empty: the click does nothing
        QTest::addColumn<bool>("desktopFails");
        QTest::newRow("picture") << Latin1("ProgramIcon") << Latin1(links::HomePageUrl) << false;
        QTest::newRow("home page") << Latin1("HomePage") << Latin1(links::HomePageUrl) << false;
        QTest::newRow("e-mail") << Latin1("Comments")
                                << Latin1("mailto:") + Latin1(links::ContactMailAddress) << false;
        QTest::newRow("microblog") << Latin1("lbl2") << Latin1(links::MicroblogUrl) << false;
        // The failure goes to the standard error box; the dialog stays open.
        QTest::newRow("microblog, desktop fails")
            << Latin1("lbl2") << Latin1(links::MicroblogUrl) << true;
        QTest::newRow("product name") << Latin1("ProductName") << QString() << false;
        QTest::newRow("version") << Latin1("Version") << QString() << false;
        QTest::newRow("messenger") << Latin1("lbl1") << QString() << false;
        QTest::newRow("panel") << Latin1("Panel1") << QString() << false;
    }
    void clicksOpenTheirLinks() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(bool, desktopFails);
        MessageBoxCapture boxes;
        LinkRecorder recorder(desktopFails);
        QPointer<TAboutBox> box = new TAboutBox;
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));

        auto* target = box->findChild<QWidget*>(name);
        QVERIFY(target != nullptr);
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, 5));

        if (address.isEmpty()) {
            QCOMPARE(recorder.opened.size(), 0u);
        } else {
            QCOMPARE(recorder.opened.size(), 1u);
            QCOMPARE(recorder.opened[0].address, address);
            QCOMPARE(recorder.opened[0].owner, box.data());
        }
        QCOMPARE(boxes.Count(), desktopFails ? 1u : 0u);
        if (desktopFails) {
            QCOMPARE(boxes[0].text, QStringLiteral("No handler for the address."));
        }
        QVERIFY(box->isVisible());  // a link leaves the dialog open
        box->close();
        RunDeferredDeletes();
        QVERIFY(box.isNull());
    }

    void everyWayOfClosingDestroysIt_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << Latin1("button");
        QTest::newRow("Enter") << Latin1("enter");
        QTest::newRow("access key Alt+O") << Latin1("alt-o");
        QTest::newRow("close button") << Latin1("close");
        QTest::newRow("Escape does nothing, keypad Enter closes") << Latin1("escape");
    }
    void everyWayOfClosingDestroysIt() {
        QFETCH(QString, how);
        QPointer<TAboutBox> box = new TAboutBox;
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        box->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box));

        if (how == QLatin1String("button")) {
            QTest::mouseClick(Child<QPushButton>(box, "OKButton"), Qt::LeftButton);
        } else if (how == QLatin1String("enter")) {
            QTest::keyClick(box, Qt::Key_Return);
        } else if (how == QLatin1String("alt-o")) {
            QTest::keyClick(box->windowHandle(), Qt::Key_O, Qt::AltModifier);
        } else if (how == QLatin1String("escape")) {  // no cancel button
            auto* ok = Child<QPushButton>(box, "OKButton");
            QTest::keyClick(ok, Qt::Key_Escape);
            QTest::keyClick(box, Qt::Key_Escape);
            QVERIFY(box->isVisible());
            QTest::keyClick(ok, Qt::Key_Enter);
        } else {
            // What the title bar's close button and Alt+F4 deliver.
            box->windowHandle()->close();
        }
        // An access key presses the button with a short animation, so allow a moment.
        QTRY_VERIFY(box.isNull() || !box->isVisible());
        RunDeferredDeletes();
        QVERIFY(box.isNull());
    }

    // The menu item shows a new modal dialog each time, centred over the main window; Enter
    // closes it and it is gone before the next one opens.
    void menuShowsANewCentredDialogEachTime() {
        TFrm_Main main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* a1 = Child<QAction>(&main, "A1");

        for (int showing = 1; showing <= 2; ++showing) {
            QPointer<TAboutBox> shown;
            bool modal = false;
            QPointF offCentre;
            WhenAboutBoxShows whenShown([&](TAboutBox* box) {
                shown = box;
                modal = box->isModal() && box->parentWidget() == nullptr;
                offCentre =
                    QRectF(box->frameGeometry()).center() - QRectF(main.frameGeometry()).center();
                QTest::keyClick(box, Qt::Key_Return);
            });
            a1->trigger();  // returns when the modal showing has ended

            QVERIFY2(whenShown.acted(), "no about dialog was shown");
            QVERIFY(modal);
            QVERIFY2(
                qAbs(offCentre.x()) <= 0.5 && qAbs(offCentre.y()) <= 0.5,
                qPrintable(
                    QStringLiteral("off centre by %1, %2").arg(offCentre.x()).arg(offCentre.y())));
            // Destroyed once the showing has ended, so the next showing is a new dialog.
            RunDeferredDeletes();
            QVERIFY(shown.isNull());
        }
    }

    // The application icon is compiled into the windows library as a 48 x 48 picture with alpha.
    void applicationIconIsCompiledIn() {
        const QImage icon(QStringLiteral(":/icons/app-icon.png"));
        QCOMPARE(icon.size(), QSize(48, 48));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);  // transparent corners
    }

    void mainWindowLinks() {
        TFrm_Main main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        LinkRecorder recorder;

        Child<QAction>(&main, "U1")->trigger();
        QTest::mouseClick(Child(&main, "lbl1"), Qt::LeftButton, {}, QPoint(5, 5));

        QCOMPARE(recorder.opened.size(), 2u);
        QCOMPARE(recorder.opened[0].address, Latin1(links::UsagePageUrl));
        QCOMPARE(recorder.opened[1].address, Latin1(links::HomePageUrl));
        QCOMPARE(recorder.opened[0].owner, &main);
        QCOMPARE(recorder.opened[1].owner, &main);
        QCOMPARE(Child(&main, "lbl1")->cursor().shape(), Qt::PointingHandCursor);
    }
};

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
