#pragma once

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

}  // namespace gui
