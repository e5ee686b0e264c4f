// A new file that copies part of another behind what it wrote itself: the head and the source's rest
// whatever the two offsets (on pages or not), and a source that is too short fails the file rather
// than leaving it short under the name.
#include "support/test_support.h"
#include "util/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vn::test {
namespace {

TEST(NewFileCopy, AnyHeadAndSourceOffsetGiveTheHeadAndTheSourcesRest)
{
    QTemporaryDir dir;
    QByteArray source(3 * 256 * 1024 + 12345, Qt::Uninitialized);
    SplitMix random{7};
    for (char& c : source)
        c = char(random.below(256));
    const QString sourcePath = dir.filePath(QStringLiteral("source"));
    ASSERT_TRUE(writeFile(sourcePath, source));
    const ReadOnlyFile from(sourcePath);
    ASSERT_TRUE(from.isOpen());

    // Heads and source offsets on and off pages.
    int made = 0;
    for (qsizetype head : {0, 10, 4096, 65536, 100003, 262144 - 5}) {
        for (qsizetype offset : {0, 1, 4096, 5000, 262144 + 77}) {
            SCOPED_TRACE(testing::Message() << "head " << head << ", offset " << offset);
            const QString path = dir.filePath(QStringLiteral("made%1").arg(made++));
            const QByteArray headBytes(head, 'h');
            NewFile out(path);
            ASSERT_TRUE(out.open());
            ASSERT_TRUE(out.write(headBytes.constData(), head));
            ASSERT_TRUE(out.copyFrom(from.handle(), uint64_t(offset), uint64_t(source.size() - offset)));
            ASSERT_TRUE(out.commit());
            EXPECT_TRUE(readFile(path) == headBytes + source.mid(offset));
        }
    }

    // More than the source holds: nothing under the name.
    for (qsizetype head : {0, 10}) {
        const QString path = dir.filePath(QStringLiteral("short%1").arg(head));
        NewFile out(path);
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.write(QByteArray(head, 'h').constData(), head));
        EXPECT_FALSE(out.copyFrom(from.handle(), 0, uint64_t(source.size()) + 1));
        EXPECT_FALSE(out.commit());
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

} // namespace
} // namespace vn::test
