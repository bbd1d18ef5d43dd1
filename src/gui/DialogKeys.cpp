#include "gui/DialogKeys.h"

#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace gui {

namespace {

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

// Presses the push button it watches when Enter reaches it.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto& key = static_cast<const QKeyEvent&>(*event);
        auto* button = qobject_cast<QPushButton*>(watched);
        const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
        if (button == nullptr || !IsEnter(key) || mods != Qt::NoModifier || key.isAutoRepeat()) {
            return false;
        }
        button->click();
        return true;
    }
};

// Swallows Escape on its way to the dialog it watches.
class EscapeIgnored : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::KeyPress &&
               static_cast<const QKeyEvent&>(*event).key() == Qt::Key_Escape;
    }
};

}  // namespace

void PressButtonsOnEnter(QWidget& window) {
    auto* filter = new EnterPressesButton(&window);  // owned by the window
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->window() == &window) {  // not the buttons of dialogs it owns
            button->installEventFilter(filter);
        }
    }
}

void IgnoreEscape(QDialog& dialog) {
    dialog.installEventFilter(new EscapeIgnored(&dialog));  // owned by the dialog
}

}  // namespace gui
