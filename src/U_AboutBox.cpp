#include "U_AboutBox.h"

#include <QFile>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <exception>
#include <initializer_list>
#include <stdexcept>

#include "gui/ClickableLabel.h"
#include "gui/DialogKeys.h"
#include "gui/ErrorBox.h"
#include "gui/Fonts.h"
#include "gui/JpegImage.h"
#include "gui/Links.h"
#include "gui/ScreenPlacement.h"
#include "gui/ShellOpenLink.h"

using gui::guarded;

namespace {

constexpr char kPicturePath[] = ":/images/about-picture.jpg";

QPixmap LoadPicture() {
    QFile file(QString::fromLatin1(kPicturePath));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("Cannot open the about picture");
    }
    return QPixmap::fromImage(gui::DecodeJpeg(file.readAll()));
}

void MakeBlue(QWidget* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
}

// Labels keep their stored top-left corner and grow to their text, as auto-sized labels do;
// word-wrapping labels keep their width and take the height their text needs.
void FitToText(QLabel* label) {
    if (label->wordWrap()) {
        label->resize(label->width(), label->heightForWidth(label->width()));
    } else {
        label->adjustSize();
    }
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    gui::SetFixedBorder(*this, Qt::Dialog, /*minimise=*/false);
    setFixedSize(350, 213);
    // Whichever way the dialog closes (OK, Enter, the close button, Alt+F4), it
    // frees itself once its modal loop has ended. It has no cancel button: Escape does nothing.
    gui::PressButtonsOnEnter(*this);
    gui::IgnoreEscape(*this);
    setAttribute(Qt::WA_DeleteOnClose);

    // The dialog's default font; every control in it uses 宋体 12 px.
    setFont(gui::DialogFont());
    Panel1->setFont(gui::SongFont());
    OKButton->setFont(gui::SongFont());

    ProgramIcon->setPixmap(LoadPicture());
    HomePage->setText(QString::fromLatin1(links::HomePageUrl));
    Comments->setText(QStringLiteral("Email:") + QString::fromLatin1(links::ContactMailAddress));
    lbl1->setText(QStringLiteral("QQ:") + QString::fromLatin1(links::ContactImNumber));
    for (QLabel* link : std::initializer_list<QLabel*>{HomePage, Comments, lbl2}) {
        MakeBlue(link);
    }
    for (QLabel* label :
         std::initializer_list<QLabel*>{ProductName, Version, HomePage, Comments, lbl1, lbl2}) {
        FitToText(label);
    }

    connect(ProgramIcon, &gui::ClickableLabel::clicked, this,
            guarded(this, &TAboutBox::ProgramIconClick));
    connect(HomePage, &gui::ClickableLabel::clicked, this,
            guarded(this, &TAboutBox::HomePageClick));
    connect(Comments, &gui::ClickableLabel::clicked, this,
            guarded(this, &TAboutBox::CommentsClick));
    connect(lbl2, &gui::ClickableLabel::clicked, this, guarded(this, &TAboutBox::lbl2Click));
    connect(OKButton, &QPushButton::clicked, this, guarded(this, &TAboutBox::OKButtonClick));
}

void TAboutBox::ProgramIconClick() {
    gui::ShellOpenLink(this, QString::fromLatin1(links::HomePageUrl));
}

void TAboutBox::HomePageClick() {
    gui::ShellOpenLink(this, QString::fromLatin1(links::HomePageUrl));
}

void TAboutBox::CommentsClick() {
    gui::ShellOpenLink(this,
                       QStringLiteral("mailto:") + QString::fromLatin1(links::ContactMailAddress));
}

void TAboutBox::lbl2Click() {
    gui::ShellOpenLink(this, QString::fromLatin1(links::MicroblogUrl));
}

void TAboutBox::OKButtonClick() {
    // Closing ends the modal loop; the result is not looked at by anyone.
    close();
}

void TAboutBox::ShowOver(QWidget& owner) {
    QPointer<TAboutBox> box = new TAboutBox;
    gui::CentreOver(*box, owner);
    try {
        box->exec();
    } catch (const std::exception&) {
        if (box) {
            box->deleteLater();
        }
    }
}
