#include "gui/ErrorBox.h"

#include "gui/GbkText.h"
#include "text/CodePage936.h"

#include <QAbstractButton>
#include <QWidget>

#include <utility>

namespace gui {

const QString kApplicationTitle = QStringLiteral("澄屿域名备案批量查询器V1.0");

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const ShownBox& box,
                                           Qt::WindowModality modality) {
    if (Hook()) {
        return Hook()(box);
    }
    QMessageBox mb(box.icon, box.title, box.text, box.buttons, parent);
    mb.setWindowModality(modality);
    // The program's questions answer in Chinese whatever the system's language.
    if (QAbstractButton* yes = mb.button(QMessageBox::Yes)) {
        yes->setText(QStringLiteral("是(&Y)"));
    }
    if (QAbstractButton* no = mb.button(QMessageBox::No)) {
        no->setText(QStringLiteral("否(&N)"));
    }
    if (box.defaultButton != QMessageBox::NoButton) {
        mb.setDefaultButton(box.defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(mb.exec());
}

std::string ErrorBoxText(std::string_view gbk) {
    std::string text(gbk);
    if (text.empty()) {
        return text;
    }
    // The last character starts one byte earlier when its final byte is the second byte of a
    // double-byte character; compare that character's first byte with '.'.
    std::size_t last = text.size() - 1;
    if (text::cp936::IsTrailByte(text, last)) {
        --last;
    }
    if (static_cast<unsigned char>(text[last]) > static_cast<unsigned char>('.')) {
        text += '.';
    }
    return text;
}

void SetMessageBoxHookForTesting(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

void ShowErrorBox(QWidget* parent, std::string_view gbkText) {
    ShowMessageBox(
        parent,
        {kApplicationTitle, FromGbk(ErrorBoxText(gbkText)), QMessageBox::Critical, QMessageBox::Ok},
        Qt::ApplicationModal);
}

void ShowApplicationError(std::string_view gbkText) {
    ShowMessageBox(nullptr,
                   {QStringLiteral("Application Error"), FromGbk(gbkText), QMessageBox::Critical,
                    QMessageBox::Ok},
                   Qt::ApplicationModal);
}

void ShowCurrentException(QWidget* parent) noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            ShowErrorBox(parent, e.what());
        } catch (...) {
            ShowErrorBox(parent, "Unknown error");
        }
    } catch (...) {
        // Showing the box failed too (out of memory): nothing more can be reported.
    }
}

}  // namespace gui
