#include "app/widgets/comparison_model.h"

namespace vn {

namespace {

constexpr std::array<int, ListColumnCount> ListColumnWidths = {
    30, 120, 50,                              // No, file name, tag ver
    120, 100, 100, 200, 40, 40, 40, 60, 70,   // album .. comment
    100, 70, 70, 50, 100, 75,                 // composer .. CD identifier
    120, 30, 100, 50, 50, 60,                 // codec .. dataSize
};

} // namespace

int listColumnWidth(int column)
{
    return column >= 0 && column < ListColumnCount ? ListColumnWidths[size_t(column)] : 0;
}

void markChangedCells(std::vector<ComparisonRow>& rows)
{
    for (size_t r = 0; r < rows.size(); ++r) {
        ComparisonRow& row = rows[r];
        row.changed = 0;
        if (r % 2 == 0)
            continue;
        const ComparisonRow& above = rows[r - 1];
        for (int c = 1; c < ListColumnCount; ++c) {
            if (row.cells[size_t(c)] != above.cells[size_t(c)])
                row.changed |= 1u << c;
        }
    }
}

ComparisonModel::ComparisonModel(QObject* parent)
    : QAbstractTableModel(parent), rowABrush_(rowAColour()), rowBBrush_(rowBColour()), changedBrush_(changedColour()),
      mismatchBrush_(mismatchColour())
{
}

QColor ComparisonModel::rowAColour()
{
    return QColor(0xFF, 0xFF, 0xFF);
}
QColor ComparisonModel::rowBColour()
{
    return QColor(0xAF, 0xEE, 0xEE);
}
QColor ComparisonModel::changedColour()
{
    return QColor(0xFF, 0xE4, 0xC4);
}
QColor ComparisonModel::mismatchColour()
{
    return QColor(0xFF, 0xB4, 0xB4);
}

int ComparisonModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ComparisonModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ListColumnCount;
}

QVariant ComparisonModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()) || index.column() >= ListColumnCount)
        return {};
    const ComparisonRow& row = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[size_t(index.column())];
    case Qt::ToolTipRole: {
        const QString& text = row.cells[size_t(index.column())];
        const QString note = rowNote(index.row());
        if (note.isEmpty())
            return text;
        return text.isEmpty() ? note : text + QLatin1Char('\n') + note;
    }
    case Qt::BackgroundRole:
        if (rowMismatch(index.row()))
            return mismatchBrush_;
        if (index.row() % 2 == 0)
            return rowABrush_;
        return (row.changed >> index.column()) & 1u ? changedBrush_ : rowBBrush_;
    default:
        return {};
    }
}

QVariant ComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return listColumnName(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ComparisonModel::setRows(std::vector<ComparisonRow> rows)
{
    markChangedCells(rows);
    setRowsWithFlags(std::move(rows));
}

void ComparisonModel::setRowsWithFlags(std::vector<ComparisonRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    notes_.clear();
    endResetModel();
}

void ComparisonModel::clear()
{
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    notes_.clear();
    endResetModel();
}

void ComparisonModel::setRowNote(int row, const QString& note, bool mismatch)
{
    if (row < 0 || row >= int(rows_.size()))
        return;
    notes_.resize(rows_.size());
    notes_[size_t(row)] = RowNote{note, mismatch};
    emit dataChanged(index(row, 0), index(row, ListColumnCount - 1), {Qt::ToolTipRole, Qt::BackgroundRole});
}

QString ComparisonModel::rowNote(int row) const
{
    return row >= 0 && size_t(row) < notes_.size() ? notes_[size_t(row)].note : QString();
}

bool ComparisonModel::rowMismatch(int row) const
{
    return row >= 0 && size_t(row) < notes_.size() && notes_[size_t(row)].mismatch;
}

QString ComparisonModel::text(int row, int column) const
{
    if (row < 0 || row >= int(rows_.size()) || column < 0 || column >= ListColumnCount)
        return {};
    return rows_[size_t(row)].cells[size_t(column)];
}

} // namespace vn
