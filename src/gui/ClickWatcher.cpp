#include "gui/ClickWatcher.h"

#include <QMouseEvent>
#include <QWidget>

namespace gui {

ClickWatcher* ClickWatcher::On(QWidget* widget) {
    if (auto* existing = widget->findChild<ClickWatcher*>(QString(), Qt::FindDirectChildrenOnly)) {
        return existing;
    }
    return new ClickWatcher(widget);
}

ClickWatcher::ClickWatcher(QWidget* widget) : QObject(widget), widget_(widget) {
    widget->installEventFilter(this);
}

bool ClickWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched != widget_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            pressed_ = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
            break;
        case QEvent::MouseButtonDblClick:
            pressed_ = false;
            break;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && pressed_) {
                pressed_ = false;
                if (widget_->rect().contains(mouse->position().toPoint())) {
                    emit clicked();
                }
            }
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace gui
