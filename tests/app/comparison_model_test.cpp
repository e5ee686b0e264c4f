// The comparison list's model: which cells are painted as changed, and a long list in a view.

#include "app/widgets/comparison_model.h"

#include <gtest/gtest.h>

#include <QTableView>

namespace vn::test {
namespace {

// The list's colours, written as 0x00BBGGRR values: 0xFFFFFF, 0xEEEEAF and 0xC4E4FF.
const QColor rowA(255, 255, 255), rowB(0xAF, 0xEE, 0xEE), changed(0xFF, 0xE4, 0xC4);

ComparisonRow row(std::initializer_list<const char*> cells)
{
    ComparisonRow r;
    size_t c = 0;
    for (const char* text : cells)
        r.cells[c++] = QString::fromUtf8(text);
    return r;
}

QColor background(const ComparisonModel& model, int r, int c)
{
    return model.data(model.index(r, c), Qt::BackgroundRole).value<QBrush>().color();
}

TEST(ComparisonModelTest, OnlyCellsOfAnOddRowThatDifferFromTheRowAboveAreHighlighted)
{
    ComparisonRow a1 = row({"1", "01.mp3", "ID3v2.3", "Album", "Artist"});
    ComparisonRow b1 = row({"2", "01.mp3", "ID3v2.4", "Album", "artist"});
    a1.cells[11] = QString(1500, 'c'); // long texts are compared whole
    b1.cells[11] = a1.cells[11];
    b1.cells[11][1400] = 'd';
    // A B row with more texts than its A row differs where A has none.
    ComparisonRow b2 = row({"3", "02.mp3", "", "", ""});
    b2.cells[23] = "1234";
    ComparisonModel model;
    model.setRows({a1, a1, a1, b1, row({"3", "02.mp3"}), b2});
    ASSERT_EQ(model.rowCount(), 6);
    for (int c = 0; c < 24; ++c) { // an odd row equal to the row above has no highlighted cell
        EXPECT_EQ(background(model, 0, c), rowA) << c;
        EXPECT_EQ(background(model, 1, c), rowB) << c;
    }
    // "No" differs but is never marked; even rows never are.
    const std::tuple<int, int, QColor> cells[] = {{3, 0, rowB},  {3, 1, rowB},     {3, 2, changed},
                                                  {3, 3, rowB},  {3, 4, changed},  {3, 11, changed},
                                                  {5, 22, rowB}, {5, 23, changed}, {4, 1, rowA}};
    for (const auto& [r, c, colour] : cells)
        EXPECT_EQ(background(model, r, c), colour) << r << "," << c;
    EXPECT_EQ(model.data(model.index(3, 4)).toString(), "artist");
    EXPECT_FALSE(model.data(model.index(6, 0)).isValid());
}

// The flags are worked out once when the rows arrive; painting reads them without comparing texts.
TEST(ComparisonModelTest, TwentyThousandRowsPaintFromFlagsWorkedOutOnArrival)
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
    view.show();
    view.scrollToBottom();
    ASSERT_EQ(model.rowCount(), 20000);
    // Row 19999 (B) shows "Title 0", row 19998 (A) "Title 6": painted as changed.
    EXPECT_EQ(model.text(19999, 6), "Title 0");
    const QImage painted = view.viewport()->grab().toImage();
    const auto paintedColour = [&](int r, int c) {
        return QColor(painted.pixel(view.visualRect(model.index(r, c)).topLeft() + QPoint(1, 1)));
    };
    EXPECT_EQ(paintedColour(19999, 6), changed);
    EXPECT_EQ(paintedColour(19999, 5), rowB);
    EXPECT_EQ(paintedColour(19998, 6), rowA);

    // Flags given by the caller are what is painted, whatever the texts say.
    ComparisonRow a, b;
    b.cells[6] = "differs";
    b.changed = 1u << 5;
    model.setRowsWithFlags({a, b});
    EXPECT_EQ(background(model, 1, 5), changed);
    EXPECT_EQ(background(model, 1, 6), rowB);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.data(model.index(1, 5), Qt::BackgroundRole).isValid());
}

} // namespace
} // namespace vn::test
