#include "gui/ScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace gui {

namespace {

// The start along one axis for a span of `length` at `start`, kept within [low, low + room).
int FitSpan(int start, int length, int low, int room) {
    if (length >= room) {
        return low;
    }
    return std::clamp(start, low, low + room - length);
}

}  // namespace

QPoint FitWithin(const QRect& frame, const QRect& area) {
    return {FitSpan(frame.x(), frame.width(), area.x(), area.width()),
            FitSpan(frame.y(), frame.height(), area.y(), area.height())};
}

void PlaceOnScreen(QWidget& window, const QRect& frame) {
    // The screen under the frame's centre, which is where the window system puts it; a frame
    // wholly off every screen opens on the window's own (the primary, or its owner's).
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr) {
        screen = window.screen();
    }
    if (screen == nullptr) {
        return;
    }
    const QPoint place = FitWithin(frame, screen->availableGeometry());
    // A window's position is that of its frame.
    if (window.pos() != place) {
        window.move(place);
    }
}

void CentreOver(QWidget& window, const QWidget& over) {
    const QRect area = over.frameGeometry();
    const QSize frame = window.size() + (area.size() - over.size());
    PlaceOnScreen(window, QRect(area.x() + (area.width() - frame.width()) / 2,
                                area.y() + (area.height() - frame.height()) / 2, frame.width(),
                                frame.height()));
}

namespace {

// Watches a shown window's moves and resizes until its frame is known, then fits it once and
// goes away.
class FrameWatcher final : public QObject {
public:
    explicit FrameWatcher(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == &window_ &&
            (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show ||
             type == QEvent::Expose || type == QEvent::UpdateRequest) &&
            window_.isVisible() && window_.frameGeometry() != window_.geometry()) {
            window_.removeEventFilter(this);
            PlaceOnScreen(window_, window_.frameGeometry());
            deleteLater();
        }
        return false;
    }

private:
    QWidget& window_;
};

}  // namespace

void KeepOnScreenOnceFramed(QWidget& window) {
    if (window.frameGeometry() != window.geometry()) {
        PlaceOnScreen(window, window.frameGeometry());
        return;
    }
    new FrameWatcher(window);  // child of the window
}

void SetFixedBorder(QWidget& window, Qt::WindowType kind, bool minimise) {
    const Qt::WindowFlags flags = kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                  Qt::MSWindowsFixedSizeDialogHint;
    window.setWindowFlags(minimise ? flags | Qt::WindowMinimizeButtonHint : flags);
}

}  // namespace gui
