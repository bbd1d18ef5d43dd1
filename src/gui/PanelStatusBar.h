#pragma once

#include <QStatusBar>

#include <vector>

class QLabel;

// A status bar made of fixed-width panels laid side by side from x = 0, the last one running
// to the right edge. QStatusBar's own layout puts margins and spacing between its items, so
// the panels here are placed by hand and their rectangles are exact.
namespace gui {

class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    // Replaces the panels: one per width (the last width only counts while the bar is
    // narrower than the panels before it plus that width).
    void SetPanels(const std::vector<int>& widths);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;
    void SetPanelToolTip(int index, const QString& text);
    QString PanelToolTip(int index) const;
    // Blank pixels before the panel's text, for a panel that something lies over at its start.
    void SetPanelIndent(int index, int pixels);
    // The panel's rectangle in the status bar's own coordinates.
    QRect PanelRect(int index) const;

Q_SIGNALS:
    // A left click (press and release) on the panel with this index. A widget lying over a
    // panel, such as a link, keeps its own clicks.
    void panelClicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Place();
    int PanelAt(const QPoint& pos) const;  // -1 when none

    std::vector<int> widths_;
    std::vector<QLabel*> panels_;  // children of this bar
    int pressed_ = -1;             // panel under the left button's press
};

}  // namespace gui
