#pragma once

#include <QTableView>

#include <span>

// A table view that looks and behaves like a Windows report-style list: grid lines, whole-row
// single selection that is hidden while the list does not have the keyboard focus, no in-place
// editing, no sorting, fixed row height (which keeps a million rows fast), header captions on
// the left, and a context menu request from anywhere in the list, the header included.
namespace gui {

class ReportListView : public QTableView {
    Q_OBJECT
public:
    explicit ReportListView(QWidget* parent = nullptr);

    // Sets the model and the column widths, in column order.
    void SetModel(QAbstractItemModel* model, std::span<const int> columnWidths);

Q_SIGNALS:
    // A right click (or the menu key) anywhere in the list; `globalPos` is where the menu opens.
    void popupRequested(const QPoint& globalPos);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ShowSelection(bool shown);
    void FitRowHeight();
};

}  // namespace gui
