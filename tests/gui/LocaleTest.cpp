// The program under the user's locale: Qt's own dialogs and buttons in the user's language, and
// the system's reason in a file error box readable, whatever character set the locale uses.
// Run once under LANG=zh_CN.UTF-8 and once under LANG=C.
#include "Startup.h"
#include "U_Main.h"
#include "gui/FileDialog.h"

#include "ModalAnswer.h"
#include "support/MainWindowDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// What a dialog showed: its title, its buttons' texts and its text (message boxes).
struct Seen {
    QString title;
    QStringList buttons;
    QString text;
};

Seen Look(QDialog* dialog) {
    Seen seen{dialog->windowTitle(), {}, {}};
    if (auto* box = dialog->findChild<QDialogButtonBox*>()) {
        for (QAbstractButton* b : box->buttons())
            seen.buttons << b->text();
    }
    if (auto* mb = qobject_cast<QMessageBox*>(dialog))
        seen.text = mb->text();
    return seen;
}

}  // namespace

class LocaleTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Startup> startup_;
    std::unique_ptr<TFrm_Main> window_;
    QTemporaryDir folder_;
    bool chinese_ = qgetenv("LANG").startsWith("zh_CN");

    QString Tr(const char* english, const char* chinese) const {
        return QString::fromUtf8(chinese_ ? chinese : english);
    }

    // Runs a file command, types `name` into its dialog, and answers the error box that
    // follows; returns what the error box showed.
    Seen FailingFileCommand(const std::function<void()>& command, const QString& name,
                            Seen* dialogSeen) {
        Seen boxSeen;
        auto answer = std::make_unique<FileDialogAnswer>([&](QFileDialog* dialog) {
            *dialogSeen = Look(dialog);
            TypeNameAndAccept(dialog, name);
        });
        ModalAnswer<QMessageBox> box([&](QMessageBox* mb) {
            boxSeen = Look(mb);
            mb->accept();
        });
        command();
        if (!answer->Answered() || !box.Answered()) {
            qWarning("a dialog did not show");
        }
        return boxSeen;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(chinese_ || qgetenv("LANG") == "C", "run under LANG=zh_CN.UTF-8 or LANG=C");
        QVERIFY(folder_.isValid());
        startup_ = std::make_unique<Startup>(*qApp);
        startup_->LoadQtTranslations();
        window_ = Startup::CreateWindows();
        window_->show();
    }
    void cleanupTestCase() {
        window_.reset();
        startup_.reset();
    }

    void importOfMissingFile() {
        const QString missing = folder_.filePath(QStringLiteral("no-such-file.txt"));
        Seen dialog;
        const Seen box = FailingFileCommand(
            [this] { testsupport::MainWindowDriver(*window_).btn2->click(); }, missing, &dialog);
        QCOMPARE(dialog.title, Tr("Open", "打开"));
        QCOMPARE(dialog.buttons, (QStringList{Tr("&Open", "打开(&O)"), Tr("Cancel", "取消")}));
        QCOMPARE(box.buttons, QStringList{Tr("OK", "确定")});
        QCOMPARE(box.text,
                 QStringLiteral("Cannot open file \"%1\". %2.")
                     .arg(missing, Tr("No such file or directory", "没有那个文件或目录")));
    }

    void exportIntoMissingFolder() {
        const QString target = folder_.filePath(QStringLiteral("no-such-folder/all.txt"));
        Seen dialog;
        const Seen box = FailingFileCommand(
            [this] { testsupport::MainWindowDriver(*window_).N1->trigger(); }, target, &dialog);
        QCOMPARE(dialog.title, Tr("Save As", "另存为"));
        QCOMPARE(dialog.buttons, (QStringList{Tr("&Save", "保存(&S)"), Tr("Cancel", "取消")}));
        QCOMPARE(box.text, QStringLiteral("Cannot create file \"%1\". %2.")
                               .arg(target, Tr("No such file or directory", "没有那个文件或目录")));
    }

    // The type column of Qt's dialog. A PDF's name is translated in shared-mime-info's MIME
    // data on Debian 12 and only in its gettext catalogue on 13; plain text's only on 12.
    // (12's English names are in lower case.)
    void fileTypeName() {
        const std::unique_ptr<QFileDialog> dialog(
            gui::MakeFileDialog(nullptr, "dlgOpen1", QFileDialog::AcceptOpen));
        for (const auto& [name, type] : {std::pair{"report.pdf", Tr("PDF document", "PDF 文档")},
                                         {"notes.txt", Tr("Plain text document", "纯文本文档")}}) {
            QFile file(folder_.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            const QString shown = dialog->iconProvider()->type(QFileInfo(file.fileName()));
            QVERIFY2(shown.compare(type, Qt::CaseInsensitive) == 0, qPrintable(shown));
        }
    }
};

QTEST_MAIN(LocaleTest)
#include "LocaleTest.moc"
