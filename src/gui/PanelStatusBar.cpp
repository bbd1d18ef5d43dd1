#include "gui/PanelStatusBar.h"

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace gui {

PanelStatusBar::PanelStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
}

void PanelStatusBar::SetPanels(const std::vector<int>& widths) {
    for (QLabel* p : panels_) {
        delete p;  // children of this bar
    }
    panels_.clear();
    widths_ = widths;
    for (std::size_t i = 0; i < widths_.size(); ++i) {
        auto* panel = new QLabel(this);  // owned by this bar
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(2);
        panel->setTextFormat(Qt::PlainText);
        panel->show();
        panels_.push_back(panel);
    }
    Place();
}

void PanelStatusBar::SetPanelText(int index, const QString& text) {
    panels_.at(static_cast<std::size_t>(index))->setText(text);
}

QString PanelStatusBar::PanelText(int index) const {
    return panels_.at(static_cast<std::size_t>(index))->text();
}

QRect PanelStatusBar::PanelRect(int index) const {
    return panels_.at(static_cast<std::size_t>(index))->geometry();
}

void PanelStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    Place();
}

void PanelStatusBar::Place() {
    int left = 0;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        const int w = last ? std::max(widths_[i], width() - left) : widths_[i];
        panels_[i]->setGeometry(left, 0, w, height());
        left += w;
    }
}

}  // namespace gui
