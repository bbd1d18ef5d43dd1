#pragma once

#include "table/DomainTable.h"

#include <QAbstractTableModel>
#include <QColor>

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// Shows the domain table in a view: the row caption and the four cells as five columns.
//
// Structural changes (append, clear) go through this adapter on the GUI thread so the view is
// told about them. Workers write cells straight into the table from their own threads; the
// table's dirty listener then queues one flush to the GUI thread, which emits a single
// dataChanged over the rows written since the last flush.
namespace gui {

// Background of the rows with an odd index (the 2nd, 4th, ...): red 166, green 202, blue 240.
inline const QColor OddRowColor{0xA6, 0xCA, 0xF0};
// Text of the rows whose latest lookup failed, on the same backgrounds; other rows keep the
// list's default text colour.
inline const QColor FailedRowTextColor{0x80, 0x00, 0x00};

// The list's per-row drawing hook: the background of the row at this current index, or none
// (the list's default). Following the current index, the colouring alternates from the top,
// also after a clear; texts, grid and selection stay the list's own drawing.
QVariant lv1CustomDrawItem(int row);

class DomainTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 5;
    // Column widths in pixels: 行号, 域名, 备案号, 主办单位, 审核日期.
    static constexpr std::array<int, kColumnCount> kColumnWidths{45, 120, 130, 100, 90};
    // Workers' writes reach the view at most this long after they are made (one screen frame),
    // so a fast batch costs the GUI thread one repaint per period, not one per row.
    static constexpr int kRefreshPeriodMs = 15;

    explicit DomainTableModel(std::shared_ptr<table::DomainTable> table, QObject* parent = nullptr);
    ~DomainTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends one row per line (GBK), numbered from 1 for this call, in one insertion.
    void AppendDomainRows(std::span<const std::string> lines);
    void AppendDomainRows(std::span<const std::string_view> lines);
    // Removes every row.
    void Clear();

    table::DomainTable& Table() const { return *table_; }
    const std::shared_ptr<table::DomainTable>& SharedTable() const { return table_; }

private:
    template <typename Line>
    void AppendLines(std::span<const Line> lines);
    void FlushDirtyRows();

    std::shared_ptr<table::DomainTable> table_;
    int rows_ = 0;  // the row count the views have been told about
};

}  // namespace gui
