#include "gui/ErrorBox.h"

#include "MessageBoxCapture.h"
#include "ModalAnswer.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

#include <stdexcept>
#include <string>

namespace {

// A window whose handlers fail in the ways a handler can.
class Failing : public QWidget {
public:
    void Throws() { throw std::runtime_error("Cannot open file \"x.txt\". Access denied"); }
    void ThrowsInt() { throw 42; }
    void Works() { ++ran; }
    int ran = 0;
};

}  // namespace

class ErrorBoxTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullStopRule_data();
    void fullStopRule();
    void guardedShowsEscapingExceptionsAndGoesOn();
    void realBoxHasTitleIconAndOk();
    void answerIsTheButtonPressed();
};

void ErrorBoxTest::fullStopRule_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("empty gets none") << QByteArray("") << QByteArray("");
    QTest::newRow("letter") << QByteArray("Access denied") << QByteArray("Access denied.");
    QTest::newRow("digit 0x30 sorts after '.'") << QByteArray("code 0") << QByteArray("code 0.");
    QTest::newRow("slash 0x2F sorts after '.'") << QByteArray("a/") << QByteArray("a/.");
    QTest::newRow("full stop itself") << QByteArray("Done.") << QByteArray("Done.");
    QTest::newRow("comma 0x2C") << QByteArray("a,") << QByteArray("a,");
    QTest::newRow("hyphen 0x2D") << QByteArray("a-") << QByteArray("a-");
    QTest::newRow("closing parenthesis") << QByteArray("(x)") << QByteArray("(x)");
    QTest::newRow("exclamation mark") << QByteArray("Stop!") << QByteArray("Stop!");
    QTest::newRow("trailing blank") << QByteArray("a ") << QByteArray("a ");
    QTest::newRow("quote 0x22") << QByteArray("\"x\"") << QByteArray("\"x\"");
    // "文本" in GBK: the last character's first byte (0xB1) sorts after '.'.
    QTest::newRow("Chinese last character")
        << QByteArray("\xCE\xC4\xB1\xBE") << QByteArray("\xCE\xC4\xB1\xBE.");
    // "。" (0xA1 0xA3): a double-byte full stop is still a character after '.'.
    QTest::newRow("Chinese full stop") << QByteArray("a\xA1\xA3") << QByteArray("a\xA1\xA3.");
    // "丂" is 0x81 0x40: its trail byte '@' (0x40) alone would also sort after '.', but the
    // decision is on the character, and a GBK trail byte can even be below 'A'.
    QTest::newRow("trail byte in ASCII range") << QByteArray("\x81\x40") << QByteArray("\x81\x40.");
}

void ErrorBoxTest::fullStopRule() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(gui::ErrorBoxText(text.toStdString())), shown);
}

void ErrorBoxTest::guardedShowsEscapingExceptionsAndGoesOn() {
    MessageBoxCapture captured;
    Failing window;
    gui::guarded(&window, &Failing::Throws)();
    gui::guarded(&window, &Failing::ThrowsInt)();
    gui::guarded(&window, &Failing::Works)();
    QCOMPARE(window.ran, 1);
    QCOMPARE(captured.Count(), 2u);
    QCOMPARE(captured[0].text, QStringLiteral("Cannot open file \"x.txt\". Access denied."));
    QCOMPARE(captured[0].title, QStringLiteral("澄屿域名备案批量查询器V1.0"));
    QCOMPARE(captured[0].icon, QMessageBox::Critical);
    QCOMPARE(captured[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!captured[1].text.isEmpty());

    // A GBK failure text is shown as its characters: "文件" + full stop.
    gui::ShowErrorBox(nullptr, "\xCE\xC4\xBC\xFE");
    QCOMPARE(captured[2].text, QStringLiteral("文件."));
}

void ErrorBoxTest::realBoxHasTitleIconAndOk() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*> buttons;
    ModalAnswer<QMessageBox> answered([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons();
        box->button(QMessageBox::Ok)->click();
    });
    gui::ShowErrorBox(nullptr, "Boom");
    QVERIFY(answered.Answered());
    QCOMPARE(title, QStringLiteral("澄屿域名备案批量查询器V1.0"));
    QCOMPARE(text, QStringLiteral("Boom."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons.size(), 1);
}

// A box with a question hands back the button the user pressed, from the real box as from a
// capture.
void ErrorBoxTest::answerIsTheButtonPressed() {
    const gui::ShownBox question{gui::kApplicationTitle, QStringLiteral("Go on?"),
                                 QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No};
    // The buttons speak Chinese whatever the locale, and Enter presses the default one.
    QString yesText, noText;
    ModalAnswer<QMessageBox> pressEnter([&](QMessageBox* box) {
        yesText = box->button(QMessageBox::Yes)->text();
        noText = box->button(QMessageBox::No)->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(gui::ShowMessageBox(nullptr, question, Qt::ApplicationModal), QMessageBox::No);
    QVERIFY(pressEnter.Answered());
    QCOMPARE(yesText, QStringLiteral("是(&Y)"));
    QCOMPARE(noText, QStringLiteral("否(&N)"));

    MessageBoxCapture yes([](const gui::ShownBox&) { return QMessageBox::Yes; });
    QCOMPARE(gui::ShowMessageBox(nullptr, question, Qt::ApplicationModal), QMessageBox::Yes);
    QCOMPARE(yes.Count(), 1u);
    QCOMPARE(yes[0].buttons, QMessageBox::Yes | QMessageBox::No);
}

QTEST_MAIN(ErrorBoxTest)
#include "ErrorBoxTest.moc"
