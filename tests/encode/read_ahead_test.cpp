// Reading ahead: every byte in file order across pieces and files, a refused or missing file ending
// the stream, and a writer that gives up early or asks past the end never left waiting.
#include "encode/read_ahead.h"
#include "support/test_support.h"

#include <QDir>
#include <gtest/gtest.h>

namespace vn::test {
namespace {

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xff);
    return bytes;
}

// Everything the reader hands over, one entry per file; a failed piece ends the list with "failed".
QList<QByteArray> drain(ReadAhead& audio, int files)
{
    QList<QByteArray> out;
    for (int f = 0; f < files; ++f) {
        QByteArray file;
        for (;;) {
            const ReadAhead::Piece piece = audio.next();
            if (piece.failed)
                return out << QByteArray("failed");
            file.append(piece.data, piece.size);
            if (piece.last)
                break;
        }
        out << file;
    }
    return out;
}

// The files this process has open.
int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

struct ReadAheadTest : ::testing::Test {
    void SetUp() override
    {
        for (int i = 0; i < files.size(); ++i) {
            paths << dir.filePath(QString::number(i));
            ASSERT_TRUE(writeFile(paths.last(), files[i]));
        }
    }
    QTemporaryDir dir;
    // Larger than all buffers together, empty after its skipped head, a piece and a bit, refused.
    const QList<QByteArray> files = {pattern(3 << 20, 1), pattern(100, 2), pattern((1 << 19) + 5, 3), pattern(50, 4)};
    QStringList paths;
    const ReadAhead::Check skipHead = [](int index, const ReadOnlyFile&, uint64_t& offset) {
        offset = index == 1 ? 100 : 10;
        return index != 3;
    };
};

TEST_F(ReadAheadTest, HandsOverEveryByteInOrderAndStopsAtARefusedFile)
{
    ReadAhead audio(paths, skipHead);
    const QList<QByteArray> got = drain(audio, 5);
    ASSERT_EQ(got.size(), 4);
    EXPECT_TRUE(got[0] == files[0].mid(10) && got[1].isEmpty() && got[2] == files[2].mid(10));
    EXPECT_EQ(got[3], QByteArray("failed"));
    EXPECT_TRUE(audio.next().failed); // asked past the end: an answer, not a wait
}

TEST_F(ReadAheadTest, AMissingFileEndsTheStream)
{
    ReadAhead audio(QStringList{paths[0], dir.filePath("missing"), paths[2]}, skipHead);
    EXPECT_EQ(drain(audio, 3), (QList<QByteArray>{files[0].mid(10), QByteArray("failed")}));
}

TEST_F(ReadAheadTest, AWriterThatGivesUpEarlyLeavesNoFileOpen)
{
    const int before = openFiles();
    {
        ReadAhead audio(paths, skipHead);
        EXPECT_FALSE(audio.next().failed); // gives up after one piece of a long file
    }
    EXPECT_EQ(openFiles(), before);
    {
        ReadAhead audio(paths, skipHead); // or before taking any
    }
    EXPECT_EQ(openFiles(), before);
}

} // namespace
} // namespace vn::test
