#pragma once
// The comparison list: A rows on even list rows, their B partners on the odd rows below, 24 columns.
// The compare fills it with plain texts; which B cells differ from A is worked out once when rows
// arrive, so painting never compares texts.

#include "media/comparison.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace vn {

struct ComparisonRow {
    ListRow cells;
    // Bit c set: column c is painted as changed.
    uint32_t changed = 0;
};

// The starting width of each of the 24 columns, in pixels.
int listColumnWidth(int column);

// Marks, on every odd row, the columns other than 0 whose text differs from the row above; even rows
// and column 0 are never marked.
void markChangedCells(std::vector<ComparisonRow>& rows);

class ComparisonModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ComparisonModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replaces the list; the changed flags are recomputed from the texts.
    void setRows(std::vector<ComparisonRow> rows);
    // Replaces the list keeping the caller's flags.
    void setRowsWithFlags(std::vector<ComparisonRow> rows);
    void clear();
    // A line added to every cell's tooltip of the row, and whether the row belongs to a pair that is
    // not the same recording (painted in the mismatch colour). Both go with the rows.
    void setRowNote(int row, const QString& note, bool mismatch);
    QString rowNote(int row) const;
    bool rowMismatch(int row) const;
    const std::vector<ComparisonRow>& rows() const { return rows_; }
    QString text(int row, int column) const;

    // Cell backgrounds (the list's colours, 0x00BBGGRR values 0xFFFFFF, 0xEEEEAF and 0xC4E4FF).
    static QColor rowAColour();
    static QColor rowBColour();
    static QColor changedColour();
    static QColor mismatchColour();

private:
    struct RowNote {
        QString note;
        bool mismatch = false;
    };
    std::vector<ComparisonRow> rows_;
    std::vector<RowNote> notes_; // empty until a note is set
    QBrush rowABrush_, rowBBrush_, changedBrush_, mismatchBrush_;
};

} // namespace vn
