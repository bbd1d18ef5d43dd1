#pragma once

#include "ui_U_add.h"

#include <QDialog>

namespace gui {
class DomainTableModel;
}

// The add-domains dialog: the user types or pastes domains, one per line, and "确定(&O)"
// appends them to the domain table as new rows. Created hidden at start-up and reused; the
// text left in it stays from one showing to the next unless the button consumed it.
class TFrm_Add : public QDialog, private Ui::TFrm_Add {
    Q_OBJECT
public:
    // `owner`: the main window, which the dialog is centred over the first time it is shown.
    TFrm_Add(gui::DomainTableModel& model, QWidget* owner);

    // At most this many bytes (GBK) of a line become the row's Domain.
    static constexpr std::size_t kMaxLineBytes = 4096;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void btn1Click();

    gui::DomainTableModel& model_;
    bool placed_ = false;
};
