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

    // Shows a new about box modally, centred over `owner`. It has no owner and frees itself when
    // it closes, so every showing starts from the stored layout. A failure of the showing itself
    // is dropped without a message; the dialog goes.
    static void ShowOver(QWidget& owner);

private:
    void ProgramIconClick();
    void HomePageClick();
    void CommentsClick();
    void lbl2Click();
    void OKButtonClick();
};
