#pragma once

class QDialog;
class QWidget;

namespace gui {

// Enter and the keypad's Enter press the focused push button of window, as Space does. Qt
// does this only for a dialog's default buttons; these windows' buttons are neither.
void PressButtonsOnEnter(QWidget& window);

// Escape does nothing in dialog: for dialogs without a cancel button, which close only
// through their own button or the title bar.
void IgnoreEscape(QDialog& dialog);

}  // namespace gui
