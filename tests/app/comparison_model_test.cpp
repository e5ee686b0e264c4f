// The comparison list's model: columns, and which cells are painted as changed.

#include "app/comparison_model.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QTableView>

namespace vn::test {
namespace {

ComparisonRow row(std::initializer_list<QString> cells)
{
    ComparisonRow r;
    int c = 0;
    for (const QString& text : cells)
        r.cells[size_t(c++)] = text;
    return r;
}

QColor background(const ComparisonModel& model, int r, int c)
{
    return model.data(model.index(r, c), Qt::BackgroundRole).value<QBrush>().color();
}

TEST(ComparisonModelTest, ColumnsAreTheLeadingThreeThenTheTagFields)
{
    ComparisonModel model;
    ASSERT_EQ(model.columnCount(), 24);
    const char* names[] = {"No",
                           "file name",
                           "tag ver",
                           "Album title",
                           "Artist",
                           "Album artist",
                           "Title",
                           "Track",
                           "Disc number",
                           "Year",
                           "Genre",
                           "Comment",
                           "Composer",
                           "Encoded by",
                           "Encoder settings",
                           "Length",
                           "Attached picture",
                           "CD identifier",
                           "codec",
                           "bits/sample",
                           "bitrate(kbps)",
                           "fs(Hz)",
                           "duration",
                           "dataSize"};
    const int widths[] = {30,  120, 50, 120, 100, 100, 200, 40, 40,  40, 60, 70,
                          100, 70,  70, 50,  100, 75,  120, 30, 100, 50, 50, 60};
    for (int c = 0; c < 24; ++c) {
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(names[c])) << c;
        EXPECT_EQ(listColumnWidth(c), widths[c]) << c;
    }
    EXPECT_FALSE(model.headerData(24, Qt::Horizontal).isValid() &&
                 !model.headerData(24, Qt::Horizontal).toString().isEmpty());
}

TEST(ComparisonModelTest, OddRowEqualToRowAboveHasNoChangedCell)
{
    ComparisonModel model;
    ComparisonRow a = row({QStringLiteral("1"), QStringLiteral("01.mp3"), QStringLiteral("ID3v2.3"),
                           QStringLiteral("Album"), QStringLiteral("Artist")});
    model.setRows({a, a});
    ASSERT_EQ(model.rowCount(), 2);
    for (int c = 0; c < 24; ++c) {
        EXPECT_EQ(background(model, 0, c), QColor(255, 255, 255)) << c;
        EXPECT_EQ(background(model, 1, c), QColor(0xAF, 0xEE, 0xEE)) << c; // 0xEEEEAF as BBGGRR
    }
}

TEST(ComparisonModelTest, ChangedCellsAreHighlightedButNeverColumnZeroOrEvenRows)
{
    ComparisonModel model;
    ComparisonRow a1 = row({QStringLiteral("1"), QStringLiteral("01.mp3"), QStringLiteral("ID3v2.3"),
                            QStringLiteral("Album"), QStringLiteral("Artist")});
    ComparisonRow b1 = row({QStringLiteral("2"), QStringLiteral("01.mp3"), QStringLiteral("ID3v2.4"),
                            QStringLiteral("Album"), QStringLiteral("artist")});
    ComparisonRow a2 = row({QStringLiteral("3"), QStringLiteral("02.mp3")});
    // B longer than A's row: an A row without B shows only A's texts, a B row beyond A differs.
    ComparisonRow b2 = row({QStringLiteral("3"), QStringLiteral("02.mp3"), QString(), QString(), QString()});
    b2.cells[23] = QStringLiteral("1234");
    model.setRows({a1, b1, a2, b2});
    const QColor changed(0xFF, 0xE4, 0xC4); // 0xC4E4FF as BBGGRR
    const QColor plainB(0xAF, 0xEE, 0xEE);
    EXPECT_EQ(background(model, 1, 0), plainB); // "No" differs but is never marked
    EXPECT_EQ(background(model, 1, 1), plainB);
    EXPECT_EQ(background(model, 1, 2), changed);
    EXPECT_EQ(background(model, 1, 3), plainB);
    EXPECT_EQ(background(model, 1, 4), changed);
    EXPECT_EQ(background(model, 3, 23), changed);
    EXPECT_EQ(background(model, 3, 22), plainB);
    EXPECT_EQ(background(model, 2, 1), QColor(255, 255, 255));
    EXPECT_EQ(model.data(model.index(1, 4)).toString(), QStringLiteral("artist"));
    EXPECT_FALSE(model.data(model.index(4, 0)).isValid());
}

TEST(ComparisonModelTest, LongTextsAreComparedWhole)
{
    ComparisonModel model;
    ComparisonRow a, b;
    a.cells[11] = QString(1500, QLatin1Char('c'));
    b.cells[11] = a.cells[11];
    b.cells[11][1400] = QLatin1Char('d');
    model.setRows({a, b});
    EXPECT_EQ(background(model, 1, 11), QColor(0xFF, 0xE4, 0xC4));
}

TEST(ComparisonModelTest, CallerFlagsAreKeptAndClearEmpties)
{
    ComparisonModel model;
    ComparisonRow a, b;
    b.changed = 1u << 5;
    model.setRowsWithFlags({a, b});
    EXPECT_EQ(background(model, 1, 5), QColor(0xFF, 0xE4, 0xC4));
    EXPECT_EQ(background(model, 1, 6), QColor(0xAF, 0xEE, 0xEE));
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.data(model.index(1, 5), Qt::BackgroundRole).isValid());
}

TEST(ComparisonModelTest, TwentyThousandRowsShowInAView)
{
    std::vector<ComparisonRow> rows(20000);
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].cells[0] = QString::number(i / 2 + 1);
        rows[i].cells[6] = QStringLiteral("Title %1").arg(i % 7);
    }
    ComparisonModel model;
    model.setRows(std::move(rows));
    QTableView view;
    view.setModel(&model);
    view.resize(800, 600);
    view.scrollToBottom();
    EXPECT_FALSE(view.grab().isNull());
    EXPECT_EQ(model.rowCount(), 20000);
    EXPECT_EQ(model.text(19999, 6), QStringLiteral("Title 0"));
    // Row 19999 (B) shows "Title 0", row 19998 (A) "Title 6": marked as changed.
    EXPECT_EQ(background(model, 19999, 6), QColor(0xFF, 0xE4, 0xC4));
}

} // namespace
} // namespace vn::test
