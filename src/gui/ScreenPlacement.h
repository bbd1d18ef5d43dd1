#pragma once

#include <Qt>

class QPoint;
class QRect;
class QWidget;

namespace gui {

// The top-left corner that moves `frame` as little as possible to lie wholly within `area`.
// Along a side where the frame is larger than the area, it starts where the area starts.
QPoint FitWithin(const QRect& frame, const QRect& area);

// Moves the top-level `window`, whose frame is or is about to be `frame`, only as far as needed
// for that frame to lie wholly on the available area (the screen less its panels) of the
// screen it opens on. Before a window is shown its frame's size may not be known yet; the
// caller passes its best estimate.
void PlaceOnScreen(QWidget& window, const QRect& frame);

// Places `window` so that its centre lies on the centre of `over`, moved onto the screen where
// that would reach beyond it. A window's frame is known only once it is shown; until then its
// border is taken to be as thick as that of `over`, as QDialog does for its own placement.
void CentreOver(QWidget& window, const QWidget& over);

// Once a window manager has framed the shown `window` (its frame then differs from its
// geometry), moves it once more by as little as needed for the real frame to lie on the screen:
// placement before mapping cannot know the title bar's height. Without a window manager the
// frame never differs and nothing moves.
void KeepOnScreenOnceFramed(QWidget& window);

// The windows' fixed border: a title bar with the system menu and a close button, and a
// minimise button where asked; never a maximise button, and no resizing where the platform
// has a hint for it. `kind` is Qt::Window or Qt::Dialog.
void SetFixedBorder(QWidget& window, Qt::WindowType kind, bool minimise);

}  // namespace gui
