#include "U_Main.h"

#include "U_AboutBox.h"
#include "gui/BatchStatus.h"
#include "gui/DesktopProgress.h"
#include "gui/DialogKeys.h"
#include "gui/DomainTableModel.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/GbkText.h"
#include "gui/Links.h"
#include "gui/ScreenPlacement.h"
#include "gui/ShellOpenLink.h"
#include "lookup/BatchLookup.h"
#include "lookup/LookupClient.h"
#include "table/DomainImport.h"
#include "table/DomainTable.h"
#include "table/FileError.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <stdexcept>

using gui::guarded;

namespace {
// Client area below the menu bar, the status bar included.
constexpr int kClientWidth = 494;
constexpr int kClientHeight = 486;
constexpr int kStatusBarHeight = 19;
constexpr QPoint kInitialPosition{520, 190};
// The third status panel shows the batches' progress, refreshed at most this often.
constexpr int kProgressPanel = 2;
constexpr int kProgressPeriodMs = 100;

// Places a window that has no owner so that its centre lies on the centre of `over`, moved
// onto the screen where that would reach beyond it. The window's frame size is known only once
// it is shown; take its border to be as thick as that of `over`, as QDialog does for its own
// placement.
void CentreOver(QWidget* window, const QWidget* over) {
    const QRect area = over->frameGeometry();
    const QSize frame = window->size() + (area.size() - over->size());
    gui::PlaceOnScreen(*window, QRect(area.x() + (area.width() - frame.width()) / 2,
                                      area.y() + (area.height() - frame.height()) / 2,
                                      frame.width(), frame.height()));
}

// The open and save dialogs: one "文本文件" filter for *.txt, no default extension, no question
// before replacing, the folder of a typed name need not exist. The desktop's own file chooser
// where the platform has one, Qt's dialog otherwise.
QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("文本文件 (*.txt)"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

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

// Shows the dialog modally, offering the name chosen last time; returns the chosen name (a
// typed name even when no such file exists), or an empty string when the user cancels.
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

// The file name as the system spells it on disk.
std::string FileNameBytes(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

// A file failure with its path shown as the window shows text (the core's message holds the
// path's bytes as the system spells them, which need not be GBK).
[[noreturn]] void ThrowWithShownPath(const table::FileError& e) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(e.FullPath()));
    throw std::runtime_error(e.MessageFor(gui::ToGbk(path)));
}
}  // namespace

TFrm_Main::TFrm_Main(QWidget* parent)
    : QMainWindow(parent),
      table_(std::make_shared<table::DomainTable>()),
      idhtp1_(std::make_shared<lookup::LookupClient>()),
      progress_(std::make_shared<lookup::BatchProgress>()),
      progressTimer_(new QTimer(this)),
      desktop_(std::make_unique<gui::DesktopProgress>()),
      lookupBaseUrl_(lookup::LookupBaseUrl()),
      model_(new gui::DomainTableModel(table_, this)),
      dlgOpen1(MakeFileDialog(this, "dlgOpen1", QFileDialog::AcceptOpen)),
      dlgSave1(MakeFileDialog(this, "dlgSave1", QFileDialog::AcceptSave)) {
    setupUi(this);
    setWindowTitle(gui::kApplicationTitle);
    gui::PressButtonsOnEnter(*this);

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
    progressTimer_->setInterval(kProgressPeriodMs);
    connect(progressTimer_, &QTimer::timeout, this, &TFrm_Main::ShowBatchProgress);
    connect(stat1, &gui::PanelStatusBar::panelClicked, this, [this](int index) noexcept {
        try {
            StatusPanelClick(index);
        } catch (...) {
            gui::ShowCurrentException(this);
        }
    });
}

void TFrm_Main::ShowPopup(const QPoint& globalPos) {
    pm1->popup(globalPos);
}

void TFrm_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Restoring from the taskbar is a spontaneous show; only the window's own showing counts.
    if (!event->spontaneous()) {
        // The stored place, unless part of the window would lie off a small screen there.
        gui::PlaceOnScreen(*this, frameGeometry());
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
    const QString name = AskFileName(dlgOpen1);
    if (name.isEmpty()) {
        return;
    }
    try {
        table::LoadDomainFile(FileNameBytes(name), mmo1);
    } catch (const table::FileError& e) {
        ThrowWithShownPath(e);
    }
    model_->AppendDomainRows(mmo1.Lines());
}

// Removes every row at once, without asking.
void TFrm_Main::btn3Click() {
    model_->Clear();
}

// Starts one more batch worker over all rows and returns at once.
void TFrm_Main::btn4Click() {
    // Owned by its own run: no parent (a window must not destroy a running thread), deleted
    // through deleteLater once finished.
    auto* worker = new TMyThread(table_, idhtp1_, lookupBaseUrl_, progress_);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, &TFrm_Main::BatchEnded);
    worker->start(QThread::NormalPriority);
    if (!worker->isRunning() && !worker->isFinished()) {
        // QThread::start reports a failed pthread_create only through its state.
        delete worker;
        throw std::runtime_error("Thread creation error: " + table::SystemErrorText(EAGAIN));
    }
    if (workers_++ == 0) {
        stopped_ = false;
        // A new run: until the worker has counted its rows, say what it will look up.
        stat1->SetPanelText(kProgressPanel,
                            QStringLiteral("查询 0/%1 失败 0").arg(table_->RowCount()));
        stat1->SetPanelToolTip(kProgressPanel, QStringLiteral("单击停止查询"));
        progressTimer_->start();
    }
}

// Shows the counts of the run; the timer calls it while workers run, so the panel changes at
// most ten times a second however fast the rows go.
void TFrm_Main::ShowBatchProgress() {
    const lookup::BatchCounts counts = progress_->Counts();
    if (counts.running == 0 && workers_ > 0 && !stopped_) {
        return;  // a worker has not begun yet: the counts are still the last run's
    }
    stat1->SetPanelText(kProgressPanel, gui::BatchPanelText(counts));
    stat1->SetPanelToolTip(kProgressPanel,
                           gui::BatchPanelToolTip(counts, std::chrono::steady_clock::now()));
    desktop_->Show(counts);
}

void TFrm_Main::BatchEnded() {
    if (--workers_ == 0) {
        progressTimer_->stop();
        ShowBatchProgress();
        desktop_->RunEnded(progress_->Counts(), isActiveWindow());
    }
}

// A click on the progress panel while batches run offers to stop them all. Results already
// written stay; the cut-off row keeps what it held.
void TFrm_Main::StatusPanelClick(int index) {
    if (index != kProgressPanel || workers_ == 0) {
        return;
    }
    const auto answer = gui::ShowMessageBox(
        this,
        {gui::kApplicationTitle, QStringLiteral("停止批量查询？"), QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
        Qt::ApplicationModal);
    if (answer != QMessageBox::Yes) {
        return;
    }
    progress_->Stop(*idhtp1_);
    stopped_ = true;  // the workers' ends are still on their way
    ShowBatchProgress();
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
    const QString name = AskFileName(dlgSave1);
    if (!name.isEmpty()) {
        try {
            table::WriteExportFile(FileNameBytes(name), mmo1.Text());
        } catch (const table::FileError& e) {
            ThrowWithShownPath(e);
        }
    }
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

// Shows a new about dialog modally, centred over this window. It has no owner and frees itself
// when it closes, so every showing starts from the stored layout.
void TFrm_Main::A1Click() {
    QPointer<TAboutBox> box = new TAboutBox;
    CentreOver(box, this);
    try {
        box->exec();
    } catch (const std::exception&) {
        // A failure of the showing itself is dropped without a message; the dialog goes.
        if (box) {
            box->deleteLater();
        }
    }
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

TMyThread::TMyThread(std::shared_ptr<table::DomainTable> table,
                     std::shared_ptr<lookup::LookupClient> client, std::string baseUrl,
                     std::shared_ptr<lookup::BatchProgress> progress)
    : table_(std::move(table)),
      client_(std::move(client)),
      baseUrl_(std::move(baseUrl)),
      progress_(std::move(progress)) {}

void TMyThread::run() {
    lookup::RunBatch(*table_, *client_, baseUrl_, progress_.get());
}
