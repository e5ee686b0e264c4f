#include "containers/cd_image_properties.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace vn;

TEST(CdImageProperties, ListsEveryTrackAndTheWholeDisc)
{
    QTemporaryDir dir;
    QFile image(dir.filePath(QStringLiteral("disc.wav")));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data", 40));
    ASSERT_TRUE(image.resize(44 + 2352LL * 75 * 6000)); // sparse: 100 minutes
    image.close();
    QByteArray cue = "FILE disc.wav WAVE\r\n";
    for (int t = 1; t <= 10; ++t)
        cue += QStringLiteral("TRACK %1 AUDIO\r\nINDEX 01 %2:00:00\r\n").arg(t, 2, 10, QChar(u'0')).arg(t * 5 - 5, 2, 10, QChar(u'0')).toLatin1();
    vn::test::writeFile(dir.filePath(QStringLiteral("disc.cue")), cue);

    QString text;
    ASSERT_EQ(dumpCueFile(dir.filePath(QStringLiteral("disc.cue")), 0, text), 0);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[0], QStringLiteral("[Image File] ") + dir.filePath(QStringLiteral("disc.wav")));
    EXPECT_EQ(lines[2], QStringLiteral("Format= PCM"));
    EXPECT_EQ(lines[5], QStringLiteral("Sample rate= 44100 Hz"));
    EXPECT_EQ(lines[8], QStringLiteral(" 01 00:00:00 / 05:00:00         44   52920000"));
    EXPECT_EQ(lines[17], QStringLiteral(" 10 45:00:00 / 55:00:00  476280044  582120000"));
    EXPECT_EQ(lines[18], QStringLiteral("Ttl 100:00:00 / 100:00:00 1058400044 1058400000"));
    EXPECT_EQ(lines[20], QStringLiteral("[Cue File] ") + dir.filePath(QStringLiteral("disc.cue")));
    EXPECT_EQ(lines[22], QStringLiteral("FILE disc.wav WAVE"));
    EXPECT_EQ(lines.size(), 22 + 21 + 1); // every line ends in CR LF, the last one too
    EXPECT_EQ(lines.last(), QString());

    EXPECT_EQ(dumpCueFile(dir.filePath(QStringLiteral("none.cue")), 0, text), CueCannotOpen);
}
