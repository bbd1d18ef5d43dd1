#pragma once

#include <QMessageBox>
#include <QString>

#include <exception>
#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace gui {

// "澄屿域名备案批量查询器V1.0": the application title, also the error box's caption.
extern const QString kApplicationTitle;

// The error box's text: the failure's text with a full stop appended when its last character
// sorts after "." by byte value (decided on the GBK bytes; an empty text gets none).
std::string ErrorBoxText(std::string_view gbk);

// A message box as it would be shown; handed to the test hook instead of showing it.
struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    // The button that Enter presses; NoButton leaves the choice to the box.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Test hook: while set, boxes are not shown; each is handed to the hook instead, and the
// button it returns is taken as the one the user pressed.
using MessageBoxHook = std::function<QMessageBox::StandardButton(const ShownBox&)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

// Shows a message box modally (or hands it to the test hook) and returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const ShownBox& box,
                                           Qt::WindowModality modality);

// The application's standard error box: caption = application title, error icon, OK, text by
// ErrorBoxText. `gbkText` is the failure's text (GBK, as the core writes it).
void ShowErrorBox(QWidget* parent, std::string_view gbkText);

// The start-up failure box: task-modal, titled "Application Error", with the error's text.
void ShowApplicationError(std::string_view gbkText);

// Shows the standard error box for the exception currently being handled.
void ShowCurrentException(QWidget* parent) noexcept;

// Wraps a window's handler for connect(): an exception escaping the handler is shown in the
// standard error box and the program goes on. Exceptions must never cross Qt's event loop.
//   connect(btn4, &QPushButton::clicked, this, guarded(this, &TFrm_Main::btn4Click));
template <typename Window, typename... Args>
auto guarded(Window* window, void (Window::*handler)(Args...)) {
    return [window, handler](Args... args) noexcept {
        try {
            (window->*handler)(args...);
        } catch (...) {
            ShowCurrentException(window);
        }
    };
}

}  // namespace gui
