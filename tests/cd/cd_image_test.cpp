// CD images read from a virtual drive: a BIN/cue pair made here, opened by libcdio like a disc.
#include "support/cd_fixtures.h"
#include "cd/cd_image.h"
#include "media/cue_sheet.h"

#include <QDir>
#include <QRegularExpression>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;
using ::testing::ElementsAre;

namespace {

class RipFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList folder() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    RipSettings settingsFor(const DiscImage& disc, const QString& cueName, uint32_t format) const
    {
        RipSettings rip;
        rip.device = disc.cuePath;
        rip.cuePath = path(cueName);
        rip.format = format;
        return rip;
    }
};

// Track 1 after the start, three tracks, 3000 sectors of audio.
const std::vector<int> Starts = {33, 1000, 2500};
constexpr int AudioEnd = 3000;

const QByteArray ExpectedBinCue = "FILE \"out.bin\" BINARY\r\n"
                                  "  TRACK 01 AUDIO\r\n"
                                  "    INDEX 00 00:00:00\r\n"
                                  "    INDEX 01 00:00:33\r\n"
                                  "  TRACK 02 AUDIO\r\n"
                                  "    INDEX 01 00:13:25\r\n"
                                  "  TRACK 03 AUDIO\r\n"
                                  "    INDEX 01 00:33:25\r\n";

} // namespace

TEST_F(RipFixture, BinImageHoldsTheDiscAudioExactlyWithEveryReaderAndBlockSize)
{
    QDir().mkpath(path("src"));
    const DiscImage made = makeDiscImage(path("src"), "disc", Starts, AudioEnd);
    struct Case {
        bool verified;
        uint32_t block;
    };
    for (const Case& c : {Case{true, 27}, Case{false, 27}, Case{false, 7}, Case{true, 1000}}) {
        SCOPED_TRACE(testing::Message() << "verified " << c.verified << " block " << c.block);
        QFile::remove(path("out.cue"));
        RipSettings rip = settingsFor(made, "out.cue", RipBin);
        rip.verifiedReads = c.verified;
        rip.blockSize = c.block;
        RecordingFeedback feedback;
        EXPECT_EQ(ripCdImage(rip, feedback), RipOk) << feedback.statuses.join(u'|').toStdString();
        EXPECT_EQ(readFile(path("out.bin")), made.audio);
        EXPECT_EQ(readFile(path("out.cue")), ExpectedBinCue);
        EXPECT_EQ(feedback.statuses.last(), "Image file is created succesfully");
        // The pregap before track 1 counts as track 0; every text has the progress format.
        EXPECT_EQ(feedback.statuses.first(), "  0.0% (track 0/3)");
        const QRegularExpression progress("^[ \\d]{2}\\d\\.\\d% \\(track [0-3]/3\\)$");
        for (const QString& s : feedback.statuses.first(feedback.statuses.size() - 1))
            EXPECT_TRUE(progress.match(s).hasMatch()) << s.toStdString();
        for (const char* track : {"(track 1/3)", "(track 2/3)", "(track 3/3)"}) {
            if (c.block <= 27) {
                EXPECT_FALSE(feedback.statuses.filter(QLatin1String(track)).isEmpty()) << track;
            }
        }
    }
    // The program's own cue reader takes the sheet back: the image and the track starts.
    CueSheet sheet;
    ASSERT_EQ(parseCueSheet(path("out.cue"), CueTrackLimit, 0, sheet), 3);
    EXPECT_EQ(QFileInfo(sheet.imagePath).fileName(), "out.bin");
    EXPECT_EQ(sheet.trackStarts[0], 33u * 588);
    EXPECT_EQ(sheet.trackStarts[2], 2500u * 588);
    EXPECT_EQ(sheet.trackStarts[3], uint32_t(AudioEnd) * 588);
}

TEST_F(RipFixture, DataTrackAfterTheAudioIsLeftOutAndWavImageIsReadByPython)
{
    const DiscImage disc = makeDiscImage(dir.path(), "extra", {0, 1200, 2100}, 2600, 500);
    for (uint32_t format : {uint32_t(RipWav), uint32_t(RipImg)}) [&] {
        RipSettings rip = settingsFor(disc, "image.cue", format);
        QFile::remove(rip.cuePath);
        RecordingFeedback feedback;
        EXPECT_EQ(ripCdImage(rip, feedback), RipOk);
        const QByteArray cue = readFile(rip.cuePath);
        const QByteArray tracks = "  TRACK 01 AUDIO\r\n"
                                  "    INDEX 01 00:00:00\r\n"
                                  "  TRACK 02 AUDIO\r\n"
                                  "    INDEX 01 00:16:00\r\n"
                                  "  TRACK 03 AUDIO\r\n"
                                  "    INDEX 01 00:28:00\r\n";
        if (format == RipWav) {
            EXPECT_EQ(cue, "FILE \"image.wav\" WAVE\r\n" + tracks);
            const QByteArray wav = readFile(path("image.wav"));
            ASSERT_EQ(wav.size(), 44 + disc.audio.size());
            EXPECT_EQ(wav.sliced(44), disc.audio);
            const ProcessResult py = runPython(QStringLiteral(
                "import wave,sys\n"
                "w=wave.open(sys.argv[1])\n"
                "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes(), w.getcomptype())\n"),
                {path("image.wav")});
            ASSERT_EQ(py.exitCode, 0) << py.err.toStdString();
            EXPECT_EQ(py.out.trimmed(), QByteArray("2 2 44100 1528800 NONE")); // 2600 sectors of 588 frames
        } else {
            EXPECT_EQ(cue, "FILE \"image.img\" BINARY\r\n" + tracks);
            EXPECT_EQ(readFile(path("image.img")), disc.audio);
        }
    }();
}

TEST_F(RipFixture, CuePathWithoutExtensionNamesTheImageAndIsWrittenAsTyped)
{
    const DiscImage disc = makeDiscImage(dir.path(), "src", {0, 400}, 900);
    RipSettings rip = settingsFor(disc, "disc", RipBin);
    RecordingFeedback feedback;
    ASSERT_EQ(ripCdImage(rip, feedback), RipOk);
    EXPECT_EQ(readFile(path("disc.bin")), disc.audio);
    EXPECT_TRUE(readFile(path("disc")).startsWith("FILE \"disc.bin\" BINARY\r\n"));
    EXPECT_EQ(folder(), QStringList({"disc", "disc.bin", "src.bin",
                                     "src.cue"}));

    // A cue sheet named like the image would be written over it.
    rip.cuePath = path("disc.bin");
    EXPECT_EQ(ripCdImage(rip, feedback), RipImageIsCueSheet);
    EXPECT_EQ(readFile(path("disc.bin")), disc.audio);

    EXPECT_EQ(ripImagePath("C:\\cd\\disc", RipBin), "C:\\cd\\disc.bin");
    EXPECT_EQ(ripImagePath("/cd/disc.v2.cue", RipImg), "/cd/disc.v2.img");
    EXPECT_EQ(ripImagePath("/cd.d/disc", RipWav), "/cd.d/disc.wav");
}

TEST_F(RipFixture, CancelAndFailedReadsLeaveTheOldImageAndWriteNoCueSheet)
{
    QDir().mkpath(path("src"));
    const QByteArray oldImage = "the image of an earlier rip";
    for (bool verified : {true, false}) {
        for (bool cancel : {true, false}) {
            SCOPED_TRACE(testing::Message() << "verified " << verified << " cancel " << cancel);
            const DiscImage disc = makeDiscImage(path("src"), "disc", Starts, AudioEnd);
            writeFile(path("out.bin"), oldImage);
            const QStringList before = folder();
            RipSettings rip = settingsFor(disc, "out.cue", RipBin);
            rip.verifiedReads = verified;
            rip.blockSize = 0; // falls back to 27
            RecordingFeedback feedback;
            if (cancel) {
                feedback.abortWhen = [&] { return feedback.pumps >= 3; };
            } else {
                // The disc goes bad once the read has begun: nothing of it can be read any more.
                feedback.onPump = [&](int pump) {
                    if (pump == 1)
                        QFile::resize(disc.binPath, 0);
                };
            }
            const int code = ripCdImage(rip, feedback);
            if (cancel) {
                EXPECT_EQ(code, RipCanceled);
                EXPECT_EQ(feedback.statuses.last(), "Process canceled");
            } else {
                EXPECT_GT(code, 0);
                EXPECT_TRUE(QRegularExpression("^Read Error [0-9A-F]+ in LBA 0 - 26 \\(track 0/3\\)$")
                                .match(feedback.statuses.last())
                                .hasMatch())
                    << feedback.statuses.last().toStdString();
            }
            EXPECT_EQ(rip.blockSize, 27u);
            EXPECT_EQ(readFile(path("out.bin")), oldImage);
            EXPECT_EQ(folder(), before); // no cue sheet, no partial image under any name
        }
    }
}

TEST_F(RipFixture, MissingDriveAndEmptyDiscWriteNothing)
{
    RecordingFeedback feedback;
    RipSettings rip;
    rip.device = path("absent.cue");
    rip.cuePath = path("out.cue");
    EXPECT_GT(ripCdImage(rip, feedback), 0);
    EXPECT_FALSE(ripErrorText(ENOENT).isEmpty());

    // Only a data track: no audio to read.
    writeFile(path("data.bin"), QByteArray(300 * SectorSize, '\x11'));
    writeFile(path("data.cue"), "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    rip.device = path("data.cue");
    EXPECT_EQ(ripCdImage(rip, feedback), RipCanceled);
    EXPECT_TRUE(feedback.statuses.isEmpty());
    EXPECT_EQ(folder(), QStringList({"data.bin", "data.cue"}));
}

TEST_F(RipFixture, AnExistingCueSheetIsReplacedOnlyWhenTheUserSaysSo)
{
    RecordingFeedback feedback;
    EXPECT_TRUE(confirmCueOverwrite(path("new.cue"), feedback));
    EXPECT_TRUE(feedback.messages.isEmpty());
    writeFile(path("old.cue"), "FILE \"old.wav\" WAVE\n");
    feedback.answer = AnswerCancel;
    EXPECT_FALSE(confirmCueOverwrite(path("old.cue"), feedback));
    EXPECT_THAT(feedback.messages, ElementsAre("Create image file|Cue file exsists. OK to Overwrite or Cancel to exit"));
    feedback.answer = AnswerOk;
    EXPECT_TRUE(confirmCueOverwrite(path("old.cue"), feedback));
}

TEST(RipBlockSize, ZeroEmptyAndTooLargeFallBackToTheDefault)
{
    EXPECT_EQ(ripBlockSize(0, 27), 27u);
    EXPECT_EQ(ripBlockSize(28, 27), 27u);
    EXPECT_EQ(ripBlockSize(5, 27), 5u);
    EXPECT_EQ(ripBlockSize(64, 100), 64u);
    EXPECT_EQ(ripBlockSize(200, 100), 27u);
    EXPECT_EQ(ripBlockSize(20, 16), 16u); // a drive that takes less than the default
}

// The worked example: 12 tracks with the lead-out at 02:40:10.
TEST(RipWorkedExamples, LeadOutAt024010ReadsElevenThousandEightHundredSixtySectors)
{
    QByteArray toc;
    auto descriptor = [&](uint8_t session, uint8_t control, uint8_t point, uint8_t m, uint8_t s, uint8_t f) {
        toc += char(session);
        toc += char(0x10 | control);
        toc += char(0);
        toc += char(point);
        toc += QByteArray(4, '\0');
        toc += char(m);
        toc += char(s);
        toc += char(f);
    };
    descriptor(1, 0, 0xa0, 0, 0, 0);
    descriptor(1, 0, 0xa1, 12, 0, 0);
    descriptor(1, 0, 0xa2, 2, 40, 10);
    for (int t = 1; t <= 12; ++t)
        descriptor(1, 0, uint8_t(t), 0, uint8_t(2 + 10 * (t - 1) / 75), uint8_t(10 * (t - 1) % 75));
    const int length = int(toc.size()) + 2;
    toc.prepend(QByteArray("\x00\x00\x01\x01", 4));
    toc[0] = char(length >> 8);
    toc[1] = char(length & 0xff);

    CdToc parsed;
    ASSERT_TRUE(parseFullToc(toc, parsed));
    EXPECT_EQ(parsed.leadOut, 11860u);
    EXPECT_EQ(parsed.trackCount(), 12);
    EXPECT_EQ(parsed.starts[0], 0u);
    EXPECT_EQ(parsed.starts[1], 10u);

    // 11860 sectors of 2352 bytes: 27894720 bytes of data (0x01A9A3C0), 36 more for the RIFF size.
    EXPECT_EQ(ripWavHeader(parsed.leadOut).toHex(), QByteArray("52494646e4a3a90157415645666d74201000000001000200"
                                                               "44ac000010b102000400100064617461c0a3a901"));
}

TEST(RipWorkedExamples, IndexTimesOfTheCueSheet)
{
    CdToc toc;
    toc.starts = {33, 100000};
    toc.leadOut = 120000;
    const QList<QByteArray> lines = ripCueSheetText("disc.wav", RipWav, toc, 0).split('\n');
    EXPECT_THAT(lines, ElementsAre("FILE \"disc.wav\" WAVE\r", "  TRACK 01 AUDIO\r", "    INDEX 00 00:00:00\r",
                                   "    INDEX 01 00:00:33\r", "  TRACK 02 AUDIO\r", "    INDEX 01 22:13:25\r", ""));
    toc.starts = {0, 100};
    EXPECT_FALSE(ripCueSheetText("disc.bin", RipBin, toc, 0).contains("INDEX 00"));

    // The image's name in the sheet's code page.
    const QByteArray sjis = ripCueSheetText(QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC.bin"), RipBin, toc, 932);
    EXPECT_TRUE(sjis.startsWith("FILE \"\x93\xfa\x96\x7b.bin\" BINARY\r\n"));
}

TEST(RipFullToc, CdExtraAndTrailingDataTracksAreLeftOut)
{
    auto build = [](const std::vector<std::array<uint8_t, 6>>& entries) {
        QByteArray toc;
        for (const auto& e : entries) {
            // session, control, point, pmin, psec, pframe
            const char d[11] = {char(e[0]), char(0x10 | e[1]), 0, char(e[2]), 0, 0, 0, 0, char(e[3]), char(e[4]), char(e[5])};
            toc += QByteArray(d, 11);
        }
        const int length = int(toc.size()) + 2;
        return QByteArray(1, char(length >> 8)) + QByteArray(1, char(length & 0xff)) + QByteArray("\x01\x02", 2) + toc;
    };
    CdToc toc;
    // Session 1: two audio tracks, lead-out 10:00:00; session 2: a data track.
    ASSERT_TRUE(parseFullToc(build({{1, 0, 0xa2, 10, 0, 0}, {1, 0, 1, 0, 2, 0}, {1, 0, 2, 5, 0, 0},
                                    {2, 4, 0xa2, 20, 0, 0}, {2, 4, 3, 12, 34, 0}}),
                             toc));
    EXPECT_EQ(toc.starts, (std::vector<uint32_t>{0, 22350}));
    EXPECT_EQ(toc.leadOut, 44850u);

    // A data track at the end of the only session ends the audio where it starts.
    ASSERT_TRUE(parseFullToc(build({{1, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 0, 0}, {1, 4, 3, 2, 0, 0}, {1, 0, 0xa2, 3, 0, 0}}), toc));
    EXPECT_EQ(toc.starts, (std::vector<uint32_t>{0, 4350}));
    EXPECT_EQ(toc.leadOut, 8850u);
}

TEST(RipFullToc, MalformedResponsesStayWithinTheirBytes)
{
    CdToc toc;
    EXPECT_FALSE(parseFullToc(QByteArray(), toc));
    EXPECT_FALSE(parseFullToc(QByteArray("\x00\x20", 2), toc));
    // A length that claims more descriptors than there are bytes.
    QByteArray lying("\xff\xff\x01\x01", 4);
    lying += QByteArray("\x01\x10\x00\x01\x00\x00\x00\x00\x00\x02\x00", 11);
    lying += QByteArray(5, '\x01');
    ASSERT_TRUE(parseFullToc(lying, toc));
    EXPECT_EQ(toc.starts, (std::vector<uint32_t>{0}));
    EXPECT_EQ(toc.leadOut, 0u); // no lead-out: nothing to read

    SplitMix mix{7};
    for (int i = 0; i < 500; ++i) {
        QByteArray noise(int(mix.below(2000)), '\0');
        for (char& c : noise)
            c = char(mix.below(256));
        CdToc any;
        parseFullToc(noise, any);
        EXPECT_LE(any.trackCount(), 99);
    }
}
