#include "gui/ScreenPlacement.h"

#include <QGuiApplication>
#include <QPoint>
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

void SetFixedBorder(QWidget& window, Qt::WindowType kind, bool minimise) {
    const Qt::WindowFlags flags = kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                  Qt::MSWindowsFixedSizeDialogHint;
    window.setWindowFlags(minimise ? flags | Qt::WindowMinimizeButtonHint : flags);
}

}  // namespace gui
