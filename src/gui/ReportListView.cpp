#include "gui/ReportListView.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QStyledItemDelegate>

namespace gui {

namespace {

// Draws rows without the selection state while the list lacks the keyboard focus, so an
// unfocused list shows no highlight, whatever the style does with inactive selections.
class UnfocusedSelectionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto* view = qobject_cast<const QAbstractItemView*>(parent());
        if (view != nullptr && !view->hasFocus()) {
            option->state &= ~QStyle::State_Selected;
        }
        option->state &= ~QStyle::State_HasFocus;  // no dotted focus rectangle per cell
    }
};

}  // namespace

ReportListView::ReportListView(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setItemDelegate(new UnfocusedSelectionDelegate(this));

    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A fixed vertical header with one section size: resizing rows to their contents makes
    // large appends quadratic.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FitRowHeight();

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Q_EMIT popupRequested(viewport()->mapToGlobal(pos)); });
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(
        horizontalHeader(), &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { Q_EMIT popupRequested(horizontalHeader()->mapToGlobal(pos)); });
    ShowSelection(false);
}

void ReportListView::SetModel(QAbstractItemModel* model, std::span<const int> columnWidths) {
    setModel(model);
    for (std::size_t c = 0; c < columnWidths.size(); ++c) {
        horizontalHeader()->resizeSection(static_cast<int>(c), columnWidths[c]);
    }
}

void ReportListView::focusInEvent(QFocusEvent* event) {
    ShowSelection(true);
    QTableView::focusInEvent(event);
}

void ReportListView::focusOutEvent(QFocusEvent* event) {
    // An open popup menu leaves the focus where it was.
    if (event->reason() != Qt::PopupFocusReason) {
        ShowSelection(false);
    }
    QTableView::focusOutEvent(event);
}

void ReportListView::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FitRowHeight();
    }
}

void ReportListView::ShowSelection(bool shown) {
    QPalette p = palette();
    const QPalette defaults = QPalette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        if (shown) {
            p.setColor(group, QPalette::Highlight,
                       defaults.color(QPalette::Active, QPalette::Highlight));
            p.setColor(group, QPalette::HighlightedText,
                       defaults.color(QPalette::Active, QPalette::HighlightedText));
        } else {
            p.setColor(group, QPalette::Highlight, Qt::transparent);
            p.setColor(group, QPalette::HighlightedText, p.color(group, QPalette::Text));
        }
    }
    setPalette(p);
    viewport()->update();
}

void ReportListView::FitRowHeight() {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
}

}  // namespace gui
