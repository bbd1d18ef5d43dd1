#include "U_Main.h"

#include "U_AboutBox.h"
#include "gui/BatchRunner.h"
#include "gui/DialogKeys.h"
#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "gui/FileDialog.h"
#include "gui/Fonts.h"
#include "gui/GbkText.h"
#include "gui/Links.h"
#include "gui/ScreenPlacement.h"
#include "gui/ShellOpenLink.h"
#include "lookup/LookupClient.h"
#include "table/DomainTable.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QLayout>
#include <QShowEvent>

#include <algorithm>

using gui::guarded;

namespace {
// Client area below the menu bar, the status bar included.
constexpr int kClientWidth = 494;
constexpr int kClientHeight = 486;
constexpr int kStatusBarHeight = 19;
constexpr QPoint kInitialPosition{520, 190};
// The third status panel shows the batches' progress.
constexpr int kProgressPanel = 2;
}  // namespace

TFrm_Main::TFrm_Main(QWidget* parent)
    : QMainWindow(parent),
      table_(std::make_shared<table::DomainTable>()),
      idhtp1_(std::make_shared<lookup::LookupClient>()),
      lookupBaseUrl_(lookup::LookupBaseUrl()),
      model_(new gui::DomainTableModel(table_, this)),
      dlgOpen1(gui::MakeFileDialog(this, "dlgOpen1", QFileDialog::AcceptOpen)),
      dlgSave1(gui::MakeFileDialog(this, "dlgSave1", QFileDialog::AcceptSave)) {
    setupUi(this);
    setWindowTitle(gui::kApplicationTitle);
    gui::PressButtonsOnEnter(*this);

    gui::SetFixedBorder(*this, Qt::Window, /*minimise=*/true);

    // Fonts are pixel sizes, which the .ui format cannot hold: the window's default font, the
    // table's and the buttons'. The menus and the status bar keep the system font.
    const QFont systemFont = QGuiApplication::font();
    setFont(gui::DialogFont());
    mm1->setFont(systemFont);
    stat1->setFont(systemFont);
    lv1->setFont(gui::SongFont());
    for (QPushButton* b : {btn1, btn2, btn3, btn4, btn6}) {
        b->setFont(gui::SongFont());
    }
    lbl1->setFont(gui::DialogFont());  // kept when FormShow moves it into the status bar

    N7->setSeparator(true);
    N10->setSeparator(true);
    N11->setSeparator(true);

    lv1->SetModel(model_, gui::DomainTableModel::kColumnWidths);

    stat1->SetPanels({180, 129, 50});
    stat1->SetPanelText(0, gui::kApplicationTitle);
    stat1->setFixedHeight(kStatusBarHeight);
    lbl1->setText(QString::fromLatin1(links::HomePageUrl));

    centralWidget()->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(kInitialPosition);

    batches_ = new gui::BatchRunner(*this, *stat1, kProgressPanel, table_, idhtp1_);
    ConnectCommands();
}

TFrm_Main::~TFrm_Main() = default;

void TFrm_Main::ConnectCommands() {
    connect(btn1, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn1Click));
    connect(btn2, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn2Click));
    connect(btn3, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn3Click));
    connect(btn4, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn4Click));
    connect(btn6, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn6Click));
    connect(N5, &QAction::triggered, this, guarded(this, &TFrm_Main::N5Click));
    connect(N6, &QAction::triggered, this, guarded(this, &TFrm_Main::N6Click));
    connect(N8, &QAction::triggered, this, guarded(this, &TFrm_Main::N8Click));
    connect(U1, &QAction::triggered, this, guarded(this, &TFrm_Main::U1Click));
    connect(A1, &QAction::triggered, this, guarded(this, &TFrm_Main::A1Click));
    connect(N9, &QAction::triggered, this, guarded(this, &TFrm_Main::N9Click));
    connect(N12, &QAction::triggered, this, guarded(this, &TFrm_Main::N12Click));
    connect(N1, &QAction::triggered, this, guarded(this, &TFrm_Main::N1Click));
    connect(N2, &QAction::triggered, this, guarded(this, &TFrm_Main::N2Click));
    connect(N3, &QAction::triggered, this, guarded(this, &TFrm_Main::N3Click));
    connect(lbl1, &gui::ClickableLabel::clicked, this, guarded(this, &TFrm_Main::lbl1Click));
    connect(lv1, &gui::ReportListView::popupRequested, this, &TFrm_Main::ShowPopup);
    connect(stat1, &gui::PanelStatusBar::panelClicked, this,
            guarded(this, &TFrm_Main::StatusPanelClick));
}

void TFrm_Main::ShowPopup(const QPoint& globalPos) {
    pm1->popup(globalPos);
}

void TFrm_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Restoring from the taskbar is a spontaneous show; only the window's own showing counts.
    if (!event->spontaneous()) {
        // The stored place, unless part of the window would lie off a small screen there; a
        // window manager's frame counts once it is known.
        gui::PlaceOnScreen(*this, frameGeometry());
        gui::KeepOnScreenOnceFramed(*this);
        guarded(this, &TFrm_Main::FormShow)();
    }
}

void TFrm_Main::closeEvent(QCloseEvent* event) {
    // The close button quits the program, like btn6 and N8.
    event->accept();
    QCoreApplication::exit(0);
}

// Shows the add-domains dialog modally; its result is not looked at.
void TFrm_Main::btn1Click() {
    if (frmAdd_ != nullptr) {
        frmAdd_->exec();
    }
}

// Import domains: one row per line of the chosen file, appended after the rows already
// there and numbered from 1. The memo keeps the file's text until its next use.
void TFrm_Main::btn2Click() {
    if (gui::ImportChosenFile(dlgOpen1, mmo1)) {
        model_->AppendDomainRows(mmo1.Lines());
    }
}

// Removes every row at once, without asking.
void TFrm_Main::btn3Click() {
    model_->Clear();
    batches_->TableCleared();
}

// Starts one more batch worker over all rows and returns at once.
void TFrm_Main::btn4Click() {
    batches_->StartAll(lookupBaseUrl_);
}

// Looks up again, on one more batch worker, the rows that are unfinished now.
void TFrm_Main::N12Click() {
    batches_->StartUnfinished(lookupBaseUrl_);
}

void TFrm_Main::StatusPanelClick(int index) {
    if (index == kProgressPanel) {
        batches_->AskToStop();
    }
}

void TFrm_Main::btn6Click() {
    QCoreApplication::exit(0);
}

// Performs a click of btn1: the button's own handler runs.
void TFrm_Main::N5Click() {
    btn1->click();
}

// Performs a click of btn2.
void TFrm_Main::N6Click() {
    btn2->click();
}

void TFrm_Main::N8Click() {
    QCoreApplication::exit(0);
}

// All lines are built before the dialog shows, so the file holds the table as it stood when
// the command was chosen. A failure leaves the built lines in the memo; its next use clears it.
void TFrm_Main::ExportRows(table::ExportKind kind) {
    mmo1.Clear();
    table::BuildExportLines(*table_, kind, mmo1);
    gui::ExportToChosenFile(dlgSave1, mmo1.Text());
    mmo1.Clear();
}

// Export all rows: Domain, nine blanks, Filing number.
void TFrm_Main::N1Click() {
    ExportRows(table::ExportKind::AllRows);
}

// Export the filed rows (the caption says 导入 but it writes a file).
void TFrm_Main::N2Click() {
    ExportRows(table::ExportKind::FiledRows);
}

// Export the domains marked not filed.
void TFrm_Main::N3Click() {
    ExportRows(table::ExportKind::UnfiledDomains);
}

// Looks the selected row up again on this thread; the window waits for the lookup, which the
// client's time limits bound. Failures leave the row as it was and show nothing.
void TFrm_Main::N9Click() {
    const QModelIndexList selected = lv1->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    const auto cause = lookup::RequeryRow(
        *table_, *idhtp1_, static_cast<std::size_t>(selected.first().row()), lookupBaseUrl_);
    if (cause) {
        stat1->SetPanelText(kProgressPanel, QStringLiteral("重查失败：") + gui::FromGbk(*cause));
    }
}

// Opens the usage page in the user's browser.
void TFrm_Main::U1Click() {
    gui::ShellOpenLink(this, QString::fromLatin1(links::UsagePageUrl));
}

// Shows the about box modally, centred over this window.
void TFrm_Main::A1Click() {
    TAboutBox::ShowOver(*this);
}

// Opens the home page in the user's browser.
void TFrm_Main::lbl1Click() {
    gui::ShellOpenLink(this, QString::fromLatin1(links::HomePageUrl));
}

// Fills the browser panel and lays the home-page link over the status bar's second panel.
void TFrm_Main::FormShow() {
    wb1->load(QUrl(QString::fromLatin1(links::BrowserPanelUrl)));
    const QRect panel = stat1->PanelRect(1);
    lbl1->setParent(stat1);
    lbl1->setGeometry(panel.left(), panel.top() + 2, 150, 13);
    lbl1->show();
    // The link covers the start of the third panel: its text begins right of the link.
    stat1->SetPanelIndent(kProgressPanel, std::max(2, lbl1->geometry().right() + 5 -
                                                          stat1->PanelRect(kProgressPanel).left()));
}
