#pragma once

#include "ui_U_Main.h"

#include "gui/BatchRunner.h"
#include "table/DomainExport.h"
#include "table/StagingMemo.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>

class QDialog;
class QFileDialog;

namespace gui {
class DomainTableModel;
}  // namespace gui
namespace lookup {
class LookupClient;
}  // namespace lookup
namespace table {
class DomainTable;
}

// The main window: the domain table, the command buttons, the browser panel, the status bar
// with the home-page link, the main menu and the table's popup menu. Every command is one
// handler below, connected explicitly and run through the standard error box wrapper.
class TFrm_Main : public QMainWindow, private Ui::TFrm_Main {
    Q_OBJECT
public:
    explicit TFrm_Main(QWidget* parent = nullptr);
    ~TFrm_Main() override;

    // The add-domains dialog that btn1 shows; it lives as long as this window.
    void SetAddDialog(QDialog* dialog) { frmAdd_ = dialog; }

    gui::DomainTableModel& Model() const { return *model_; }
    // Shared with the batch workers, which may outlive this window at exit.
    const std::shared_ptr<table::DomainTable>& Table() const { return table_; }
    // The one lookup client, shared with the batch workers.
    const std::shared_ptr<lookup::LookupClient>& Client() const { return idhtp1_; }
    // The counts of the batches, shared with the workers.
    const std::shared_ptr<lookup::BatchProgress>& Progress() const { return batches_->Progress(); }
    // The batches' progress on the desktop's launcher and the notice at the end of a long run.
    gui::DesktopProgress& Desktop() const { return batches_->Desktop(); }
    // Where lookups go: LookupBaseUrl() in the program; tests point it at their own server.
    void SetLookupBaseUrl(std::string baseUrl) { lookupBaseUrl_ = std::move(baseUrl); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectCommands();
    void ShowPopup(const QPoint& globalPos);
    // The three exports: build the lines, ask for a file name, write the file.
    void ExportRows(table::ExportKind kind);
    // A click on the third status panel, which shows the batches' progress, offers to stop them.
    void StatusPanelClick(int index);

    // Handlers: the command table of the window.
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void btn6Click();
    void N5Click();
    void N6Click();
    void N8Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N9Click();
    void N12Click();
    void U1Click();
    void A1Click();
    void lbl1Click();
    void FormShow();

    std::shared_ptr<table::DomainTable> table_;
    std::shared_ptr<lookup::LookupClient> idhtp1_;
    std::string lookupBaseUrl_;
    gui::DomainTableModel* model_;         // child of this window
    gui::BatchRunner* batches_ = nullptr;  // child of this window
    QDialog* frmAdd_ = nullptr;

    // The hidden staging memo through which the import splits a file into lines and the
    // exports build their files.
    table::StagingMemo mmo1;
    // The open and save dialogs (children of this window), kept so that each offers the name
    // chosen last time again.
    QFileDialog* dlgOpen1;
    QFileDialog* dlgSave1;
};
