#pragma once

#include <QFileDialog>
#include <QString>

#include <string>

namespace table {
class StagingMemo;
}

// The open and save dialogs of the windows, and the names they return.
namespace gui {

// A dialog with one "文本文件" filter for *.txt, no default extension, no question before
// replacing, and a typed name whose folder need not exist. The desktop's own file chooser where
// the platform has one, Qt's dialog otherwise, which names file types in the user's language
// wherever shared-mime-info translates them. `parent` owns it.
QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode);

// Shows the dialog modally, offering the name chosen last time; returns the chosen name (a
// typed name even when no such file exists), or an empty string when the user cancels.
QString AskFileName(QFileDialog* dialog);

// Asks for a domain file to import and loads it into `memo` (one line per row); returns false
// when the user cancels. Throws the file's failure with its path as the window shows text.
bool ImportChosenFile(QFileDialog* dialog, table::StagingMemo& memo);

// Asks for a file name and writes `text` into that file, unless the user cancels. Throws the
// file's failure with its path as the window shows text.
void ExportToChosenFile(QFileDialog* dialog, const std::string& text);

}  // namespace gui
