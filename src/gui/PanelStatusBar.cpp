#include "gui/PanelStatusBar.h"

#include <QLabel>
#include <QMouseEvent>
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

void PanelStatusBar::SetPanelToolTip(int index, const QString& text) {
    panels_.at(static_cast<std::size_t>(index))->setToolTip(text);
}

QString PanelStatusBar::PanelToolTip(int index) const {
    return panels_.at(static_cast<std::size_t>(index))->toolTip();
}

void PanelStatusBar::SetPanelIndent(int index, int pixels) {
    panels_.at(static_cast<std::size_t>(index))->setIndent(pixels);
}

int PanelStatusBar::PanelAt(const QPoint& pos) const {
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        if (panels_[i]->geometry().contains(pos)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The panels' labels pass mouse presses on to this bar.
void PanelStatusBar::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? PanelAt(event->position().toPoint()) : -1;
    QStatusBar::mousePressEvent(event);
}

void PanelStatusBar::mouseReleaseEvent(QMouseEvent* event) {
    const int panel = event->button() == Qt::LeftButton ? PanelAt(event->position().toPoint()) : -1;
    const bool click = panel >= 0 && panel == pressed_;
    pressed_ = -1;
    QStatusBar::mouseReleaseEvent(event);
    if (click) {
        Q_EMIT panelClicked(panel);
    }
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
