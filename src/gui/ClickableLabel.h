#pragma once

#include <QLabel>

// A label that reports a click (press and release of the left button inside it), for the
// link labels of the windows.
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

private:
    bool pressed_ = false;
};

}  // namespace gui
