#include "gui/FileDialog.h"

#include "gui/GbkText.h"
#include "table/DomainExport.h"
#include "table/DomainImport.h"
#include "table/FileError.h"
#include "table/StagingMemo.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>

#include <libintl.h>

#include <algorithm>
#include <stdexcept>

namespace gui {

namespace {

// Qt's dialog names a file's type by the comment of its MIME type. shared-mime-info 2.4 tags
// the comments' translations as zh-Hans-CN, which Qt 6.8 never matches with the user's
// locale, so there Qt names every type in English; the package's gettext catalogue holds the
// same translations. Each file's type name is looked up there; a name the catalogue lacks (one
// Qt already gave in the user's language, or one nobody translated) stays as Qt gave it.
class TypeNameProvider final : public QObject, public QFileIconProvider {
public:
    explicit TypeNameProvider(QObject* parent) : QObject(parent) {
        bind_textdomain_codeset(kDomain, "UTF-8");
    }

    // Runs on the dialog's file information thread; dgettext is safe there.
    QString type(const QFileInfo& info) const override {
        const QString name = QFileIconProvider::type(info);
        if (!info.isFile()) {
            return name;  // folders and drives: Qt's own words, already in the user's language
        }
        const QByteArray english = name.toUtf8();
        const QString translated = QString::fromUtf8(dgettext(kDomain, english.constData()));
        // Plain text, the one type these dialogs list, has no Chinese name in Debian 13's MIME
        // data nor in its catalogue (Debian 12's data names it 纯文本文档), so the dialog
        // gives that name itself under a Chinese locale.
        if (translated == QLatin1String("Plain text document") &&
            QLocale::system().language() == QLocale::Chinese) {
            return QStringLiteral("纯文本文档");
        }
        return translated;
    }

private:
    static constexpr const char* kDomain = "shared-mime-info";
};

// After Qt's own dialog closed: its name box holds what the user typed or picked, so a row
// still selected in the listing (the name offered when it opened, selected once the folder's
// listing arrived) must not be taken instead. And its completion list must go with it: left
// alone, it stays over the window, or reopens when a folder listing arrives late, and swallows
// the next click. Nothing to do for the desktop's chooser, which has neither.
void SettleQtDialog(QFileDialog* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit == nullptr) {
        return;
    }
    const QString typed = edit->text();
    for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
        QItemSelectionModel* selection = view->selectionModel();
        if (typed.isEmpty() || selection == nullptr) {
            continue;
        }
        const QModelIndexList rows = selection->selectedRows();
        const bool named = std::any_of(rows.begin(), rows.end(), [&typed](const QModelIndex& row) {
            return row.data(QFileSystemModel::FileNameRole).toString() == typed ||
                   row.data(QFileSystemModel::FilePathRole).toString() == typed;
        });
        if (!named) {
            selection->clearSelection();
        }
    }
    if (QCompleter* completer = edit->completer()) {
        completer->popup()->hide();
        completer->setCompletionPrefix(QString());
    }
}

// The file name as the system spells it on disk.
std::string FileNameBytes(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

// A file failure with its path shown as the window shows text (the core's message holds the
// path's bytes as the system spells them, which need not be GBK).
[[noreturn]] void ThrowWithShownPath(const table::FileError& e) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(e.FullPath()));
    throw std::runtime_error(e.MessageFor(ToGbk(path)));
}

}  // namespace

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("文本文件 (*.txt)"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setIconProvider(new TypeNameProvider(dialog));
    return dialog;
}

QString AskFileName(QFileDialog* dialog) {
    static const char* const kLastName = "lastFileName";
    const QString last = dialog->property(kLastName).toString();
    if (!last.isEmpty()) {
        dialog->selectFile(last);
    }
    const int result = dialog->exec();
    SettleQtDialog(dialog);
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    const QString name = dialog->selectedFiles().first();
    dialog->setProperty(kLastName, name);
    return name;
}

bool ImportChosenFile(QFileDialog* dialog, table::StagingMemo& memo) {
    const QString name = AskFileName(dialog);
    if (name.isEmpty()) {
        return false;
    }
    try {
        table::LoadDomainFile(FileNameBytes(name), memo);
    } catch (const table::FileError& e) {
        ThrowWithShownPath(e);
    }
    return true;
}

void ExportToChosenFile(QFileDialog* dialog, const std::string& text) {
    const QString name = AskFileName(dialog);
    if (name.isEmpty()) {
        return;
    }
    try {
        table::WriteExportFile(FileNameBytes(name), text);
    } catch (const table::FileError& e) {
        ThrowWithShownPath(e);
    }
}

}  // namespace gui
