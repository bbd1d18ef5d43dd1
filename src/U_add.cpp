#include "U_add.h"

#include "gui/DialogKeys.h"
#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/GbkText.h"
#include "gui/ScreenPlacement.h"
#include "text/CodePage936.h"

#include <QShowEvent>

#include <string>
#include <vector>

namespace {

// The text's own lines (hard line breaks), however wide each is on screen. A final line break
// ends the last line and adds none; any other empty line counts, a second final break too.
std::vector<std::string> TypedLines(const QString& text, std::size_t maxBytes) {
    QStringList parts = text.split(QLatin1Char('\n'));
    if (parts.last().isEmpty()) {
        parts.removeLast();
    }
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(parts.size()));
    for (const QString& part : parts) {
        std::string line = gui::ToGbk(part);
        line.resize(text::cp936::WholeCharactersWithin(line, maxBytes));
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

TFrm_Add::TFrm_Add(gui::DomainTableModel& model, QWidget* owner) : QDialog(owner), model_(model) {
    setupUi(this);
    gui::PressButtonsOnEnter(*this);
    // The dialog has no cancel button: Escape does nothing (the title bar closes it).
    gui::IgnoreEscape(*this);
    gui::SetFixedBorder(*this, Qt::Dialog, /*minimise=*/true);
    setFixedSize(350, 243);
    setFont(gui::DialogFont());
    lbl1->setFont(gui::SongFont());
    lbl1->setAttribute(Qt::WA_TranslucentBackground);
    connect(btn1, &QPushButton::clicked, this, gui::guarded(this, &TFrm_Add::btn1Click));
}

void TFrm_Add::showEvent(QShowEvent* event) {
    // Centred over the main window the first time (moved onto the screen where that would
    // reach beyond it); afterwards where the user left it. An explicit move also stops QDialog
    // from centring it again on every showing.
    if (!event->spontaneous() && !placed_ && parentWidget() != nullptr) {
        gui::CentreOver(*this, *parentWidget()->window());
        placed_ = true;
    }
    QDialog::showEvent(event);
}

// Appends the typed lines as rows, numbered from 1, clears the text and closes the dialog.
void TFrm_Add::btn1Click() {
    const std::vector<std::string> lines = TypedLines(mmo1->toPlainText(), kMaxLineBytes);
    model_.AppendDomainRows(lines);
    mmo1->clear();
    accept();
}
