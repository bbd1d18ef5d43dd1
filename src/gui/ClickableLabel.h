#pragma once

#include <QLabel>

// A label that reports a click (press and release of the left button inside it), for the
// link labels and the picture of the windows. A double click counts as one click.
namespace gui {

class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace gui
