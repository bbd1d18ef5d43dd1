#pragma once

#include <QDialog>

#include "ui_U_AboutBox.h"

// The about dialog: product name, version, the maker's home page, e-mail, messenger number and
// microblog. Created for each showing; it deletes itself when it closes.
class TAboutBox final : public QDialog, private Ui::TAboutBox {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TAboutBox)

private:
    void ProgramIconClick();
    void HomePageClick();
    void CommentsClick();
    void lbl2Click();
    void OKButtonClick();
};
