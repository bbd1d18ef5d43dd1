#pragma once

#include <QObject>

class QWidget;

namespace gui {

// Gives any widget (a label, a picture) a clicked() signal: emitted when the left button is
// pressed on the widget and released while still over it. A double click counts once.
class ClickWatcher final : public QObject {
    Q_OBJECT

public:
    // The watcher of widget, created on first use and owned by the widget.
    static ClickWatcher* On(QWidget* widget);

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ClickWatcher(QWidget* widget);

    QWidget* widget_;
    bool pressed_ = false;
};

}  // namespace gui
