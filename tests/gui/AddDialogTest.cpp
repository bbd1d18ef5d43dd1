#include "U_add.h"
#include "gui/DomainTableModel.h"
#include "table/DomainTable.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <string>

using Lines = QByteArrayList;

namespace {

// The dialog over an empty table, owned by a stand-in main window at a known place.
struct Fixture {
    Fixture() {
        owner.setGeometry(300, 200, 494, 486);
        dialog = std::make_unique<TFrm_Add>(model, &owner);
        text = dialog->findChild<QPlainTextEdit*>(QStringLiteral("mmo1"));
        ok = dialog->findChild<QPushButton*>(QStringLiteral("btn1"));
    }
    QByteArrayList Domains() const {
        QByteArrayList out;
        table->ForEachRow([&](const table::DomainRow& r) {
            out.push_back(QByteArray::fromStdString(r[table::Cell::Domain]));
        });
        return out;
    }
    QByteArrayList Captions() const {
        QByteArrayList out;
        table->ForEachRow([&](const table::DomainRow& r) {
            out.push_back(QByteArray::fromStdString(r.Caption()));
        });
        return out;
    }

    std::shared_ptr<table::DomainTable> table = std::make_shared<table::DomainTable>();
    gui::DomainTableModel model{table};
    QWidget owner;
    std::unique_ptr<TFrm_Add> dialog;
    QPlainTextEdit* text = nullptr;
    QPushButton* ok = nullptr;
};

}  // namespace

class AddDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesOfTheText_data();
    void linesOfTheText();
    void typingWithEnterNeverPressesTheButton();
    void titleBarCloseKeepsTheTextForTheNextShowing();
    void everyAddNumbersFromOne();
    void firstShowingIsCentredLaterOnesStayWhereLeft();
};

void AddDialogTest::linesOfTheText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Lines>("domains");

    QTest::newRow("empty text adds nothing") << QString() << Lines{};
    QTest::newRow("final break adds no row")
        << QStringLiteral("a.com\nb.com\nc.com\n") << Lines{"a.com", "b.com", "c.com"};
    QTest::newRow("no final break")
        << QStringLiteral("a.com\nb.com\nc.com") << Lines{"a.com", "b.com", "c.com"};
    QTest::newRow("two final breaks add one empty row")
        << QStringLiteral("a.com\n\n") << Lines{"a.com", ""};
    QTest::newRow("only a line break") << QStringLiteral("\n") << Lines{""};
    QTest::newRow("empty line in the middle")
        << QStringLiteral("a.com\n\nb.com") << Lines{"a.com", "", "b.com"};
    QTest::newRow("blanks stay") << QStringLiteral(" a.com \n\tb.com")
                                 << Lines{" a.com ", "\tb.com"};
    // Far wider than the text box: word wrap shows it on several display lines, but it was
    // typed as one line and is one domain.
    const QString wide = QStringLiteral("very-long-subdomain-name.") +
                         QString(200, QLatin1Char('x')) + QStringLiteral(".example.com");
    QTest::newRow("one wide line is one row") << wide << Lines{wide.toLatin1()};
    QTest::newRow("wide line with spaces is one row")
        << QStringLiteral("a.com b.com c.com d.com e.com f.com g.com h.com i.com j.com k.com l.com")
        << Lines{"a.com b.com c.com d.com e.com f.com g.com h.com i.com j.com k.com l.com"};
    // "中国.cn" in GBK.
    QTest::newRow("Chinese becomes GBK")
        << QStringLiteral("中国.cn") << Lines{"\xD6\xD0\xB9\xFA.cn"};
    // U+1F600 (outside the BMP) and U+0E01 (Thai) have no GBK form; each becomes '?', and
    // the line stays.
    QTest::newRow("unmappable characters become ?")
        << (QStringLiteral("a") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("\u0e01.com"))
        << Lines{"a??.com"};
    QTest::newRow("line cut to 4096 bytes")
        << QString(5000, QLatin1Char('d')) << Lines{QByteArray(4096, 'd')};
    // 4095 ASCII bytes, then a two-byte character: cutting at 4096 would split it.
    QTest::newRow("cut never splits a character")
        << (QString(4095, QLatin1Char('d')) + QStringLiteral("中")) << Lines{QByteArray(4095, 'd')};
    QTest::newRow("exactly 4096 bytes stay")
        << (QString(4094, QLatin1Char('d')) + QStringLiteral("中"))
        << Lines{QByteArray(4094, 'd') + "\xD6\xD0"};
}

void AddDialogTest::linesOfTheText() {
    QFETCH(QString, typed);
    QFETCH(Lines, domains);
    Fixture f;
    f.dialog->show();
    f.text->setPlainText(typed);
    QTest::mouseClick(f.ok, Qt::LeftButton);

    QCOMPARE(f.Domains(), domains);
    QCOMPARE(f.model.rowCount(), static_cast<int>(domains.size()));
    QVERIFY(f.text->toPlainText().isEmpty());
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.dialog->result(), int(QDialog::Accepted));
}

void AddDialogTest::typingWithEnterNeverPressesTheButton() {
    Fixture f;
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.text->setFocus();
    QTest::keyClicks(f.text, QStringLiteral("a.com"));
    QTest::keyClick(f.text, Qt::Key_Return);
    QTest::keyClicks(f.text, QStringLiteral("b.com"));
    QTest::keyClick(f.text, Qt::Key_Enter);
    QTest::keyClick(f.text, Qt::Key_Escape);  // no cancel button: does nothing
    QVERIFY(f.dialog->isVisible());
    QCOMPARE(f.model.rowCount(), 0);
    QCOMPARE(f.text->toPlainText(), QStringLiteral("a.com\nb.com\n"));

    QTest::keyClick(f.text, Qt::Key_O, Qt::AltModifier);  // the access key (an animated click)
    QTRY_COMPARE(f.Domains(), (Lines{"a.com", "b.com"}));
    QVERIFY(!f.dialog->isVisible());

    // Tab to the button, then Enter presses it, as Space does.
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(f.dialog.get()));
    f.text->setFocus();
    QTest::keyClicks(f.text, QStringLiteral("c.com"));
    f.ok->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f.ok, Qt::Key_Return);
    QCOMPARE(f.Domains(), (Lines{"a.com", "b.com", "c.com"}));
    QVERIFY(!f.dialog->isVisible());
}

void AddDialogTest::titleBarCloseKeepsTheTextForTheNextShowing() {
    Fixture f;
    f.dialog->show();
    f.text->setPlainText(QStringLiteral("kept.com\n"));
    QVERIFY(f.dialog->close());
    QVERIFY(!f.dialog->isVisible());
    QCOMPARE(f.model.rowCount(), 0);

    f.dialog->show();
    QCOMPARE(f.text->toPlainText(), QStringLiteral("kept.com\n"));
    QTest::mouseClick(f.ok, Qt::LeftButton);
    QCOMPARE(f.Domains(), (Lines{"kept.com"}));
}

void AddDialogTest::everyAddNumbersFromOne() {
    Fixture f;
    for (const char* typed : {"a\nb\nc\nd", "e\nf"}) {
        f.dialog->show();
        f.text->setPlainText(QString::fromLatin1(typed));
        QTest::mouseClick(f.ok, Qt::LeftButton);
    }
    QCOMPARE(f.Captions(), (Lines{"1", "2", "3", "4", "1", "2"}));
}

void AddDialogTest::firstShowingIsCentredLaterOnesStayWhereLeft() {
    Fixture f;
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
    QCOMPARE(f.dialog->frameGeometry().center(), f.owner.frameGeometry().center());

    f.dialog->move(40, 60);  // the user drags it away
    const QPoint left = f.dialog->pos();
    f.dialog->close();
    f.owner.move(600, 300);  // even when the main window moved meanwhile
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
    QCOMPARE(f.dialog->pos(), left);
}

QTEST_MAIN(AddDialogTest)
#include "AddDialogTest.moc"
