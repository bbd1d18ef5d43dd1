// The import and export commands of the main window, driven through their file dialogs the way
// a user would: the name typed into the dialog's file name box, then OK or Cancel.
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "table/DomainTable.h"

#include "MessageBoxCapture.h"
#include "ModalAnswer.h"
#include "support/MainWindowDriver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using testsupport::MainWindowDriver;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// 京ICP备12345678号 in GBK.
const std::string kFilingNo =
    "\xBE\xA9ICP\xB1\xB8"
    "12345678\xBA\xC5";

// Keys go where the platform sends them: to the completion list while it shows (it hands
// them on to the name box), to the name box otherwise.
void TypeKeys(QLineEdit* edit, const QString& text) {
    for (const QChar c : text) {
        QWidget* popup = QApplication::activePopupWidget();
        QTest::keyClick(popup ? popup : edit, c.toLatin1());
    }
    QWidget* popup = QApplication::activePopupWidget();
    QTest::keyClick(popup ? popup : edit, Qt::Key_Return);
}

}  // namespace

class ImportExportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFrm_Main> window_;
    std::unique_ptr<MainWindowDriver> ui_;
    std::unique_ptr<MessageBoxCapture> boxes_;
    QTemporaryDir folder_;

    gui::DomainTableModel& Model() { return window_->Model(); }
    QString Path(const QString& name) const { return folder_.filePath(name); }
    QString Cell(int row, int column) { return ui_->Cell(row, column); }
    void AppendRows(const std::vector<std::string>& domains) { Model().AppendDomainRows(domains); }

private Q_SLOTS:
    void init() {
        QVERIFY(folder_.isValid());
        window_ = std::make_unique<TFrm_Main>();
        ui_ = std::make_unique<MainWindowDriver>(*window_);
        boxes_ = std::make_unique<MessageBoxCapture>();
    }
    void cleanup() {
        boxes_.reset();
        ui_.reset();
        window_.reset();
    }

    void importAppendsNumberedRowsAfterExistingOnes() {
        AppendRows({"x.com", "y.com", "z.com"});
        WriteFile(Path(QStringLiteral("list.txt")), "a.com\nb.com\r\n\r\n");
        auto answer = Choose(Path(QStringLiteral("list.txt")));
        ui_->btn2->click();
        QVERIFY(answer->Answered());
        QVERIFY(!answer->LeftOpen());
        QCOMPARE(boxes_->Count(), 0u);
        QCOMPARE(Model().rowCount(), 6);
        const QStringList captions{Cell(3, 0), Cell(4, 0), Cell(5, 0)};
        QCOMPARE(captions,
                 (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
        QCOMPARE(Cell(3, 1), QStringLiteral("a.com"));
        QCOMPARE(Cell(4, 1), QStringLiteral("b.com"));
        QCOMPARE(Cell(5, 1), QString());
        QCOMPARE(Cell(3, 2), QString());

        // The menu item runs the same import; the dialog offers the last name again.
        QString offered;
        FileDialogAnswer again([&offered](QFileDialog* dialog) {
            offered = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            static_cast<QDialog*>(dialog)->accept();
        });
        ui_->N6->trigger();
        QVERIFY(again.Answered());
        QCOMPARE(offered, QStringLiteral("list.txt"));
        QCOMPARE(Model().rowCount(), 9);
        QCOMPARE(Cell(6, 0), QStringLiteral("1"));
    }

    void cancelledImportAddsNothing() {
        AppendRows({"x.com"});
        auto answer = Cancel();
        ui_->btn2->click();
        QVERIFY(answer->Answered());
        QCOMPARE(Model().rowCount(), 1);
        QCOMPARE(boxes_->Count(), 0u);
    }

    void fileErrorsShowTheExactText_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString missing = Path(QStringLiteral("missing.txt"));
        QTest::newRow("missing file") << QStringLiteral("btn2") << missing
                                      << QStringLiteral("Cannot open file \"") + missing +
                                             QStringLiteral("\". No such file or directory.");
        // A name the system spells in UTF-8 is shown as typed.
        const QString chinese = Path(QStringLiteral("域名列表.txt"));
        QTest::newRow("missing file, Chinese name")
            << QStringLiteral("btn2") << chinese
            << QStringLiteral("Cannot open file \"") + chinese +
                   QStringLiteral("\". No such file or directory.");
        const QString noFolder = Path(QStringLiteral("no/out.txt"));
        QTest::newRow("missing folder") << QStringLiteral("N1") << noFolder
                                        << QStringLiteral("Cannot create file \"") + noFolder +
                                               QStringLiteral("\". No such file or directory.");
    }
    void fileErrorsShowTheExactText() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, text);
        AppendRows({"x.com"});
        auto answer = Choose(name);
        ui_->Press(command.toLatin1().constData());
        QVERIFY(answer->Answered());
        QCOMPARE(boxes_->Count(), 1u);
        QCOMPARE((*boxes_)[0].text, text);
        QCOMPARE((*boxes_)[0].title, gui::kApplicationTitle);
        QCOMPARE((*boxes_)[0].icon, QMessageBox::Critical);
        QCOMPARE(Model().rowCount(), 1);
    }

    void exportsWriteTheExactBytes_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray nine(9, ' ');
        const QByteArray filed = QByteArray::fromStdString(kFilingNo);
        const QByteArray mark = QByteArray::fromStdString(std::string(table::NotFiledMark));
        QTest::newRow("N1 all") << QStringLiteral("N1")
                                << "a.com" + nine + "\r\n" + "b.com" + nine + filed + "\r\n" +
                                       "c.com" + nine + mark + "\r\n" + "d.com" + nine + mark +
                                       " \r\n";
        QTest::newRow("N2 filed") << QStringLiteral("N2")
                                  << "a.com" + nine + "\r\n" + "b.com" + nine + filed + "\r\n" +
                                         "d.com" + nine + mark + " \r\n";
        QTest::newRow("N3 unfiled") << QStringLiteral("N3") << QByteArray("c.com\r\n");
    }
    void exportsWriteTheExactBytes() {
        QFETCH(QString, action);
        QFETCH(QByteArray, bytes);
        AppendRows({"a.com", "b.com", "c.com", "d.com"});
        table::DomainTable& t = Model().Table();
        t.WriteCell(t.IdAt(1), table::Cell::FilingNo, kFilingNo);
        t.WriteCell(t.IdAt(2), table::Cell::FilingNo, std::string(table::NotFiledMark));
        t.WriteCell(t.IdAt(3), table::Cell::FilingNo, std::string(table::NotFiledMark) + " ");
        // A name without an extension gets none; an existing file is replaced without asking.
        const QString path = Path(QStringLiteral("export"));
        WriteFile(path, QByteArray(500, 'o'));
        auto answer = Choose(path);
        ui_->Press(action.toLatin1().constData());
        QVERIFY(answer->Answered());
        QVERIFY(!answer->LeftOpen());
        QCOMPARE(boxes_->Count(), 0u);
        QCOMPARE(ReadFile(path), bytes);
        QVERIFY(!QFile::exists(path + QStringLiteral(".txt")));
    }

    void emptyTableExportsAnEmptyFile() {
        const QString path = Path(QStringLiteral("empty.txt"));
        auto answer = Choose(path);
        ui_->N1->trigger();
        QVERIFY(answer->Answered());
        QVERIFY(QFile::exists(path));
        QCOMPARE(ReadFile(path), QByteArray());
    }

    void cancelledExportLeavesTheFileUntouched() {
        AppendRows({"a.com"});
        const QString path = Path(QStringLiteral("keep.txt"));
        WriteFile(path, "old contents");
        // The first export chooses the name; the second is offered it and cancelled.
        auto first = Choose(path);
        ui_->N1->trigger();
        QVERIFY(first->Answered());
        QCOMPARE(ReadFile(path), QByteArray("a.com         \r\n"));
        WriteFile(path, "old contents");
        QString offered;
        FileDialogAnswer second([&offered](QFileDialog* dialog) {
            offered = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            dialog->reject();
        });
        ui_->N3->trigger();
        QVERIFY(second.Answered());
        QCOMPARE(offered, QStringLiteral("keep.txt"));
        QCOMPARE(ReadFile(path), QByteArray("old contents"));
        QCOMPARE(boxes_->Count(), 0u);
    }

    // A name typed into Qt's dialog and Enter: the typed name is written (not the name the
    // dialog offered and selected), no completion list stays behind, and the next right click
    // on the table opens its popup menu.
    void typedNameWithEnterLeavesNothingBehind() {
        AppendRows({"a.com"});
        const QString offered = Path(QStringLiteral("alpha.txt"));
        // A name that the typed one begins, so that the completion list shows at Enter.
        WriteFile(Path(QStringLiteral("all.txt-old.txt")), "x");
        auto first = Choose(offered);
        ui_->N1->trigger();
        QVERIFY(first->Answered());
        WriteFile(offered, "kept");

        FileDialogAnswer typed([this](QFileDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setFocus();
            edit->clear();
            TypeKeys(edit, Path(QStringLiteral("all.txt")));
        });
        ui_->N1->trigger();
        QVERIFY(typed.Answered());
        QVERIFY(!typed.LeftOpen());
        QCOMPARE(ReadFile(Path(QStringLiteral("all.txt"))), QByteArray("a.com         \r\n"));
        QCOMPARE(ReadFile(offered), QByteArray("kept"));

        // The dialog's folder listing may finish after it closed; give it time to arrive.
        QTest::qWait(300);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY2(!w->isVisible() || w == window_.get(), w->metaObject()->className());
        }
        QTest::mouseClick(window_->windowHandle(), Qt::RightButton, {},
                          ui_->lv1->viewport()->mapTo(window_.get(), QPoint(300, 200)));
        QTRY_COMPARE(QApplication::activePopupWidget(), ui_->pm1);
        QApplication::activePopupWidget()->close();
    }
};

QTEST_MAIN(ImportExportTest)
#include "ImportExportTest.moc"
