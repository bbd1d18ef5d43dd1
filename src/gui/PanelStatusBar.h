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
    // The panel's rectangle in the status bar's own coordinates.
    QRect PanelRect(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();

    std::vector<int> widths_;
    std::vector<QLabel*> panels_;  // children of this bar
};

}  // namespace gui
