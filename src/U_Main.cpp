#include "U_Main.h"

#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/Links.h"
#include "table/DomainTable.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QLayout>
#include <QShowEvent>

using gui::guarded;

namespace {
// Client area below the menu bar, the status bar included.
constexpr int kClientWidth = 494;
constexpr int kClientHeight = 486;
constexpr int kStatusBarHeight = 19;
constexpr QPoint kInitialPosition{520, 190};
}  // namespace

TFrm_Main::TFrm_Main(QWidget* parent)
    : QMainWindow(parent),
      table_(std::make_shared<table::DomainTable>()),
      model_(new gui::DomainTableModel(table_, this)) {
    setupUi(this);
    setWindowTitle(gui::kApplicationTitle);

    // Fixed border with system menu and minimise, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

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

    lv1->SetModel(model_, gui::DomainTableModel::kColumnWidths);

    stat1->SetPanels({180, 129, 50});
    stat1->SetPanelText(0, gui::kApplicationTitle);
    stat1->setFixedHeight(kStatusBarHeight);
    lbl1->setText(QString::fromLatin1(links::HomePageUrl));

    centralWidget()->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(kInitialPosition);

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
    connect(N1, &QAction::triggered, this, guarded(this, &TFrm_Main::N1Click));
    connect(N2, &QAction::triggered, this, guarded(this, &TFrm_Main::N2Click));
    connect(N3, &QAction::triggered, this, guarded(this, &TFrm_Main::N3Click));
    connect(lbl1, &gui::ClickableLabel::clicked, this, guarded(this, &TFrm_Main::lbl1Click));
    connect(lv1, &gui::ReportListView::popupRequested, this, &TFrm_Main::ShowPopup);
}

void TFrm_Main::ShowPopup(const QPoint& globalPos) {
    pm1->popup(globalPos);
}

void TFrm_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Restoring from the taskbar is a spontaneous show; only the window's own showing counts.
    if (!event->spontaneous()) {
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

// Import domains: the import command is wired in with the import code.
void TFrm_Main::btn2Click() {}

// Removes every row at once, without asking.
void TFrm_Main::btn3Click() {
    model_->Clear();
}

// Batch lookup: the worker is wired in with the batch code.
void TFrm_Main::btn4Click() {}

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

// Export all rows: wired in with the export code.
void TFrm_Main::N1Click() {}

// Export the filed rows: wired in with the export code.
void TFrm_Main::N2Click() {}

// Export the unfiled domains: wired in with the export code.
void TFrm_Main::N3Click() {}

// Re-query the selected row: wired in with the re-query code.
void TFrm_Main::N9Click() {}

// Usage page link: wired in with the shell links.
void TFrm_Main::U1Click() {}

// About box: wired in with the about dialog.
void TFrm_Main::A1Click() {}

// Home-page link: wired in with the shell links.
void TFrm_Main::lbl1Click() {}

// Fills the browser panel and lays the home-page link over the status bar's second panel.
void TFrm_Main::FormShow() {
    wb1->load(QUrl(QString::fromLatin1(links::BrowserPanelUrl)));
    const QRect panel = stat1->PanelRect(1);
    lbl1->setParent(stat1);
    lbl1->setGeometry(panel.left(), panel.top() + 2, 150, 13);
    lbl1->show();
}
