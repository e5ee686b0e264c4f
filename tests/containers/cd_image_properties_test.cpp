#include "containers/cd_image_properties.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace vn;

TEST(CdImageProperties, ListsEveryTrackAndTheWholeDisc)
{
    QTemporaryDir dir;
    QFile image(dir.filePath("disc.wav"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(QByteArray("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data", 40));
    ASSERT_TRUE(image.resize(44 + 2352LL * 75 * 6000)); // sparse: 100 minutes
    image.close();
    QByteArray cue = "FILE disc.wav WAVE\r\n";
    for (int t = 1; t <= 10; ++t)
        cue += QString::asprintf("TRACK %02d AUDIO\r\nINDEX 01 %02d:00:00\r\n", t, t * 5 - 5).toLatin1();
    vn::test::writeFile(dir.filePath("disc.cue"), cue);

    QString text;
    ASSERT_EQ(dumpCueFile(dir.filePath("disc.cue"), 0, text), 0);
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 22 + 21 + 1); // every line ends in CR LF, the last one too
    EXPECT_EQ(lines.last(), QString());
    EXPECT_EQ(lines[0], "[Image File] " + dir.filePath("disc.wav"));
    EXPECT_EQ(lines[5], "Sample rate= 44100 Hz");
    EXPECT_EQ(lines[8], " 01 00:00:00 / 05:00:00         44   52920000");
    EXPECT_EQ(lines[17], " 10 45:00:00 / 55:00:00  476280044  582120000");
    EXPECT_EQ(lines[18], "Ttl 100:00:00 / 100:00:00 1058400044 1058400000");
    EXPECT_EQ(lines[20], "[Cue File] " + dir.filePath("disc.cue"));
    EXPECT_EQ(lines[22], "FILE disc.wav WAVE");
    EXPECT_EQ(dumpCueFile(dir.filePath("none.cue"), 0, text), CueCannotOpen);
}
