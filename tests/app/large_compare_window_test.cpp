// A large folder in the window: the compare of 5,000 pairs of tiny files keeps the window pumped
// with its count of files in the status bar, fills a list of 10,000 rows, and leaves the window
// usable.
#include "app/app_fixture.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "support/mp3_fixtures.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

namespace vn::test {
namespace {

constexpr int Pairs = 5000;

TEST_F(WindowTest, AFiveThousandFilePairIsListedWhileTheWindowShowsTheCount)
{
    for (const char* side : {"A", "B"})
        ASSERT_TRUE(QDir(home.path()).mkpath(QLatin1String(side)));
    // Tiny MP3s: a tag with the title and two frames; every hundredth B title differs from A's.
    const QByteArray audio = cbrFrames(2);
    for (int i = 0; i < Pairs; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QString name = QStringLiteral("%1.mp3").arg(i, 4, 10, QLatin1Char('0'));
        ASSERT_TRUE(writeFile(home.filePath("A/" + name), id3Tag(3, id3Frame(3, "TIT2", '\0' + n)) + audio));
        const QByteArray title = i % 100 == 0 ? "other " + n : n;
        ASSERT_TRUE(writeFile(home.filePath("B/" + name), id3Tag(3, id3Frame(3, "TIT2", '\0' + title)) + audio));
    }
    writeIni(QStringLiteral("Path_A=%1\nPath_B=%2\n").arg(home.filePath("A"), home.filePath("B")).toUtf8());
    MainWindow& w = open();
    w.show();

    // Whatever runs while the compare pumps the window sees the count of files read so far.
    QStringList seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] { seen << w.statusText(3); });
    watcher.start(0);
    w.runCommand(BtnCompare);
    watcher.stop();

    const ComparisonModel& model = *w.comparisonModel();
    ASSERT_EQ(model.rowCount(), 2 * Pairs);
    EXPECT_EQ(model.text(2 * Pairs - 2, 0), "A5000");
    EXPECT_EQ(model.text(2 * Pairs - 1, 0), "B5000");
    EXPECT_EQ(model.text(2 * Pairs - 1, 1), "4999.mp3");
    EXPECT_EQ(model.text(4401, 3 + RowTitle), "other 2200"); // pair 2200 is on rows 4400 and 4401
    EXPECT_EQ(model.text(2 * Pairs - 1, 3 + RowDuration), "00:00.1");
    const auto background = [&](int row) {
        return model.data(model.index(row, 3 + RowTitle), Qt::BackgroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(background(4401), ComparisonModel::changedColour());
    EXPECT_EQ(background(4403), ComparisonModel::rowBColour());

    // The count went up while the files were read, and is gone once the list stands.
    static const QRegularExpression count(QStringLiteral("^(\\d+)/%1$").arg(2 * Pairs));
    int last = 0, shown = 0;
    for (const QString& text : seen) {
        const QRegularExpressionMatch m = count.match(text);
        if (!m.hasMatch())
            continue;
        const int n = m.captured(1).toInt();
        EXPECT_GE(n, last);
        EXPECT_LE(n, 2 * Pairs);
        shown += n != last;
        last = n;
    }
    EXPECT_GE(shown, 2) << seen.size() << " pumps seen";
    EXPECT_TRUE(w.statusText(3).isEmpty());
    EXPECT_TRUE(w.statusText(2).isEmpty());

    // The window goes on: the list scrolls to its end and shows its last row, the buttons the
    // compare enables are there.
    w.listView()->scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.listView()->verticalScrollBar()->value(), w.listView()->verticalScrollBar()->maximum());
    const QRect lastRow = w.listView()->visualRect(model.index(2 * Pairs - 1, 0));
    EXPECT_TRUE(w.listView()->viewport()->rect().contains(lastRow.center()));
    EXPECT_TRUE(enabled(BtnReplace) && enabled(BtnProp));
}

} // namespace
} // namespace vn::test
