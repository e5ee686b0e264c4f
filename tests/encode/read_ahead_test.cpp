// Reading ahead: every byte in file order across pieces and files, a refused or missing file ending
// the stream, a writer that gives up early or asks past the end never left waiting, and pieces that
// end on the writer's blocks.
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
    const ReadAhead::Check skipHead = [](int index, const ReadOnlyFile&, uint64_t& offset, uint64_t&) {
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

TEST(ReadAheadPieces, AShorterFirstPieceMakesTheOthersEndOnTheWritersBlocks)
{
    QTemporaryDir dir;
    const QByteArray file = pattern(3 * int(ReadAhead::PieceSize) + 1000, 5);
    const QString path = dir.filePath(QStringLiteral("f"));
    ASSERT_TRUE(writeFile(path, file));
    // A writer with 1234 bytes of its own before the copy: every piece after the first ends where
    // one of its blocks does.
    constexpr uint64_t Head = 1234;
    ReadAhead audio(QStringList{path}, [](int, const ReadOnlyFile&, uint64_t& offset, uint64_t& firstPiece) {
        offset = 7;
        firstPiece = ReadAhead::PieceSize - Head;
        return true;
    });
    QByteArray got;
    uint64_t written = Head;
    for (;;) {
        const ReadAhead::Piece piece = audio.next();
        ASSERT_FALSE(piece.failed);
        got.append(piece.data, piece.size);
        written += uint64_t(piece.size);
        if (piece.last)
            break;
        EXPECT_EQ(written % ReadAhead::PieceSize, 0u) << got.size();
    }
    EXPECT_TRUE(got == file.mid(7));
}

TEST(ReadAheadPieces, AFileLeftToTheWriterIsOneEmptyPieceAndTheNextFollows)
{
    QTemporaryDir dir;
    const QList<QByteArray> files = {pattern(1000, 1), pattern(2000, 2)};
    QStringList paths;
    for (int i = 0; i < files.size(); ++i) {
        paths << dir.filePath(QString::number(i));
        ASSERT_TRUE(writeFile(paths.last(), files[i]));
    }
    ReadAhead audio(paths, [](int index, const ReadOnlyFile&, uint64_t&, uint64_t& firstPiece) {
        if (index == 0)
            firstPiece = 0;
        return true;
    });
    const ReadAhead::Piece left = audio.next();
    EXPECT_TRUE(left.leftToWriter && left.last && !left.failed);
    EXPECT_EQ(left.size, 0);
    const ReadAhead::Piece next = audio.next();
    EXPECT_FALSE(next.leftToWriter || next.failed);
    EXPECT_TRUE(next.last && QByteArray(next.data, next.size) == files[1]);
}

} // namespace
} // namespace vn::test
