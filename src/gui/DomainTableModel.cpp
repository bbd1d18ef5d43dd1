#include "gui/DomainTableModel.h"

#include "gui/GbkText.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace gui {

namespace {
const std::array<QString, DomainTableModel::kColumnCount> kCaptions{
    QStringLiteral("行号"), QStringLiteral("域名"), QStringLiteral("备案号"),
    QStringLiteral("主办单位"), QStringLiteral("审核日期")};
}

DomainTableModel::DomainTableModel(std::shared_ptr<table::DomainTable> table, QObject* parent)
    : QAbstractTableModel(parent),
      table_(std::move(table)),
      rows_(static_cast<int>(table_->RowCount())) {
    // Runs on the writing thread, possibly after this model is gone: hold only a guarded
    // pointer and look at it on the GUI thread.
    QPointer<DomainTableModel> self(this);
    table_->SetDirtyListener([self] {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [self] {
                if (self) {
                    // Gather what the workers write during one refresh period into one update:
                    // the table stays marked dirty (and silent) until the flush takes the range.
                    QTimer::singleShot(kRefreshPeriodMs, self.data(),
                                       &DomainTableModel::FlushDirtyRows);
                }
            },
            Qt::QueuedConnection);
    });
}

DomainTableModel::~DomainTableModel() {
    table_->SetDirtyListener({});
}

int DomainTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant lv1CustomDrawItem(int row) {
    return row % 2 == 1 ? QVariant(OddRowColor) : QVariant();
}

int DomainTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant DomainTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    if (role == Qt::BackgroundRole) {
        return lv1CustomDrawItem(index.row());
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    try {
        if (role == Qt::ForegroundRole) {
            return table_->Failure(row).empty() ? QVariant() : QVariant(FailedRowTextColor);
        }
        if (role == Qt::ToolTipRole) {
            // The reason of the row's last failed lookup, on every cell of the row.
            const std::string failure = table_->Failure(row);
            return failure.empty() ? QVariant() : QVariant(FromGbk(failure));
        }
        if (index.column() == 0) {
            return QString::number(table_->Row(row).number);
        }
        return FromGbk(table_->ReadCell(row, static_cast<table::Cell>(index.column() - 1)));
    } catch (const table::RowMissing&) {
        return {};  // the table changed behind the model's back; the reset follows
    }
}

QVariant DomainTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return kCaptions[static_cast<std::size_t>(section)];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DomainTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void DomainTableModel::AppendDomainRows(std::span<const std::string> lines) {
    AppendLines(lines);
}

void DomainTableModel::AppendDomainRows(std::span<const std::string_view> lines) {
    AppendLines(lines);
}

template <typename Line>
void DomainTableModel::AppendLines(std::span<const Line> lines) {
    if (lines.empty()) {
        return;
    }
    beginInsertRows({}, rows_, rows_ + static_cast<int>(lines.size()) - 1);
    table_->AppendDomainRows(lines);
    rows_ = static_cast<int>(table_->RowCount());
    endInsertRows();
}

void DomainTableModel::Clear() {
    if (rows_ == 0 && table_->RowCount() == 0) {
        return;
    }
    beginResetModel();
    table_->Clear();
    rows_ = 0;
    endResetModel();
}

void DomainTableModel::FlushDirtyRows() {
    const auto range = table_->TakeDirtyRange();
    if (!range || static_cast<int>(range->first) >= rows_) {
        return;
    }
    const int last = std::min(static_cast<int>(range->last), rows_ - 1);
    // A write changes result cells and the row's failure reason (the tooltip and the text
    // colour of every cell).
    Q_EMIT dataChanged(index(static_cast<int>(range->first), 0), index(last, kColumnCount - 1),
                       {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole});
}

}  // namespace gui
