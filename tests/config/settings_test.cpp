// The settings file through the command-line program and through the loader itself.
#include "config/settings.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct SettingsFixture : ::testing::Test {
    QTemporaryDir home;
    QString ini() const { return home.filePath("Vornelic.ini"); }

    // "vornelic-cli --ini FILE settings" on the given file text: what it printed.
    ProcessResult cliSettings(const QByteArray& fileText)
    {
        writeFile(ini(), fileText);
        return runCli({"--ini", ini(), "settings"}, {home.path()});
    }
    Settings load(const QByteArray& fileText)
    {
        writeFile(ini(), fileText);
        Settings s = defaultSettings(home.path());
        EXPECT_TRUE(LoadSettings(s, ini()));
        return s;
    }
};

TEST_F(SettingsFixture, CliShowsEveryRuleOfTheFile)
{
    const ProcessResult r = cliSettings("path_a=/music/a\n"
                                        "Path_B =/ignored\n"
                                        "Path_Otpt=\"/out put\" trailing\n"
                                        "Lame_bps_Max=300\n"
                                        "Lame_bps_CBR=400\n"
                                        "Flac_Block_Size=8\n"
                                        "Flac_Comp_Level=12\n"
                                        "Encoder_Selected=OPUSENC\n"
                                        "FileExtPriority=.mp3, .flac\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const std::string out = r.out.toStdString();
    EXPECT_THAT(out, HasSubstr("\nPath_A=/music/a\n"));                                    // key case ignored
    EXPECT_THAT(out, HasSubstr(("\nPath_B=" + home.path() + "\n").toStdString())); // blank before "="
    EXPECT_THAT(out, HasSubstr("\nPath_Otpt=/out put\n"));                                 // quotes dropped, tail too
    EXPECT_THAT(out, HasSubstr("\nLame_bps_Max=320\n"));
    EXPECT_THAT(out, HasSubstr("\nLame_bps_CBR=160\n")); // above 320: unchanged
    EXPECT_THAT(out, HasSubstr("\nFlac_Block_Size=16\n"));
    EXPECT_THAT(out, HasSubstr("\nFlac_Comp_Level=8\n"));
    EXPECT_THAT(out, HasSubstr("\nEncoder_Selected=opusenc\n"));
    EXPECT_THAT(out, HasSubstr("\nFileExtPriority=.mp3\n")); // comma and blank end the list
    EXPECT_THAT(out, HasSubstr("\nQaac_Exe=\n"));            // empty keys are shown too
}

TEST_F(SettingsFixture, WhatTheCliPrintsReadsBackAsTheSameFile)
{
    const ProcessResult first = cliSettings("Path_A=/música/日本語\nLame_Preset=--preset extreme\nID3_Pad=7\n");
    ASSERT_EQ(first.exitCode, 0) << first.err.constData();
    const ProcessResult again = cliSettings(first.out);
    EXPECT_EQ(again.out, first.out);
    // Every line a section or a key of its own.
    QStringList keys;
    for (const QByteArray& line : first.out.split('\n')) {
        if (line.isEmpty() || line.startsWith('['))
            continue;
        ASSERT_TRUE(line.contains('=')) << line.constData();
        keys << QString::fromUtf8(line.left(line.indexOf('=')));
    }
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size());
}

TEST_F(SettingsFixture, EncoderSelection)
{
    EXPECT_EQ(load("Encoder_Selected=OPUSENC\n").EncoderIndex, 5);
    EXPECT_EQ(load("Encoder_Selected=flac\n").EncoderIndex, 2);
    EXPECT_EQ(load("[Encoder]\n").EncoderIndex, 0); // a file without the key selects none
    EXPECT_EQ(load("Encoder_Selected=mp2\n").EncoderIndex, 0);
    Settings missing = defaultSettings(home.path());
    EXPECT_FALSE(LoadSettings(missing, home.filePath("absent.ini")));
    EXPECT_EQ(missing.EncoderIndex, 1); // no file at all keeps LAME
}

TEST_F(SettingsFixture, LoadingTouchesNothingButTheRecordAndTheFrontEndMakesTheFolders)
{
    Settings s = load("ID3_Pad=1\n");
    for (const char* folder : {"bkup", "output", "temp"})
        EXPECT_FALSE(QFileInfo(home.filePath(folder)).exists()) << folder;
    createWorkingFolders(s);
    for (const char* folder : {"bkup", "output", "temp"})
        EXPECT_TRUE(QFileInfo(home.filePath(folder)).isDir()) << folder;
}

TEST_F(SettingsFixture, ValueKindsAndTheirNoMatchRule)
{
    const Settings s = load("Lame_Preset=--PRESET EXTREME\n"
                            "Lame_Bitrate_Mode=cbr\n"
                            "Lame_VBR_Method=nonsense\n"
                            "Lame_Channel_Mode=Mono\n"
                            "Lame_bps_Min=-5\n"
                            "Lame_bps_ABR=  -42abc\n"
                            "ID3_Pad=99999999999\n"
                            "CueMatch_MciCueA=-1\n"
                            "RipCD_Drive=Dx\n"
                            "Cddb_Proto=0123456789abcdefXYZ\n"
                            "OpusEnc_Ext=.opus-long\n"
                            "Lame_Quality=-3\n"
                            "Lame_VBR_Quality=44\n"
                            "ID3_Blk=7\nid3_blk=9\n"); // a later line wins
    EXPECT_EQ(s.Lame_Preset, 6);
    EXPECT_EQ(s.Lame_Bitrate_Mode, 2);
    EXPECT_EQ(s.Lame_VBR_Method, 0);
    EXPECT_EQ(s.Lame_Channel_Mode, 3);
    EXPECT_EQ(s.Lame_bps_Min, 0);
    EXPECT_EQ(s.Lame_bps_ABR, -42);
    EXPECT_EQ(s.ID3_Pad, 2147483647);
    EXPECT_EQ(s.CueMatch_MciCueA, 4294967295u);
    EXPECT_EQ(s.RipCD_Drive, 'D');
    EXPECT_EQ(s.Cddb_Proto, QByteArray("0123456789abcde")); // capacity 16 with its terminator
    EXPECT_EQ(s.OpusEnc_Ext, QStringLiteral(".opus-l"));
    EXPECT_EQ(s.Lame_Quality, 0);
    EXPECT_EQ(s.Lame_VBR_Quality, 9);
    EXPECT_EQ(s.ID3_Blk, 9);
    EXPECT_FALSE(s.LameSectionSeen);
    EXPECT_TRUE(load("[lame]\r\n").LameSectionSeen);
}

TEST_F(SettingsFixture, SaveRoundTripsThroughATemporaryFile)
{
    Settings s = load("Path_A=/música/日本語\nCueMatch_FldrCue=" + QByteArray(3000, 'x') + "\n");
    EXPECT_EQ(s.Path_A, QStringLiteral("/música/日本語"));
    EXPECT_EQ(s.CueMatch_FldrCue.size(), 2599); // a long line is read whole, then cut to capacity
    s.ExtPriorityList = QStringList{".flac", ".mp3"};
    s.EncoderIndex = 0;
    s.TextEditor = "vi\nInjected=1"; // a line break never starts a line of its own
    ASSERT_TRUE(SaveSettings(s, ini()));
    const std::string saved = readFile(ini()).toStdString();
    EXPECT_EQ(saved.rfind("[Folder]\r\nPath_A=/m\xc3\xbasica/", 0), 0u);
    EXPECT_THAT(saved, HasSubstr("\r\nEncoder_Selected=\r\n"));
    EXPECT_THAT(saved, HasSubstr("\r\nTextEditor=vi\r\n"));
    EXPECT_THAT(saved, Not(HasSubstr("Injected")));
    EXPECT_EQ(folderEntries(home.path()), QStringList{"Vornelic.ini"}); // no temporary file left

    Settings again = defaultSettings(home.path());
    LoadSettings(again, ini());
    EXPECT_EQ(again.Path_A, s.Path_A);
    EXPECT_EQ(again.CueMatch_FldrCue, s.CueMatch_FldrCue);
    EXPECT_EQ(again.ExtPriorityList, s.ExtPriorityList);
    EXPECT_EQ(again.EncoderIndex, 0);
    // An unwritable place saves nothing and says so.
    EXPECT_FALSE(SaveSettings(s, home.filePath("no/such/dir/Vornelic.ini")));
}

TEST_F(SettingsFixture, MalformedFilesLoadWithDefaults)
{
    SplitMix rng{7};
    QByteArray garbage(1 << 16, '\0');
    for (char& c : garbage)
        c = char(rng.next());
    const Settings defaults = defaultSettings(home.path());
    for (const QByteArray& text : {garbage, QByteArray(1 << 20, 'k'), QByteArray("Path_A=\xff\xfe\xc3(\x80"),
                                   QByteArray("=\n==\n\"\n")}) {
        const Settings s = load(text);
        EXPECT_EQ(s.ID3_Pad, defaults.ID3_Pad);
        EXPECT_EQ(s.FileExtPriority, defaults.FileExtPriority);
    }
    EXPECT_EQ(load("Path_A=no line end at all").Path_A, QStringLiteral("no line end at all"));
    EXPECT_FALSE(load("Path_A=\xff\xfe\n").Path_A.isEmpty()); // invalid UTF-8 still gives text
}

TEST_F(SettingsFixture, LogFilePromptsUntilValidOrCancelled)
{
    const QString bad = home.filePath("missing/dir/err.log"), good = home.filePath("err.log");
    RecordingFeedback feedback;
    feedback.answers = {bad, good};
    Settings s = load("Batch_Log_EncErr=" + bad.toUtf8() + "\nBatch_Log_EncCmdLn=" + bad.toUtf8() + "\n");
    askForLogNames(s, feedback);
    EXPECT_EQ(s.Batch_Log_EncErr, good);
    EXPECT_FALSE(QFileInfo::exists(good));       // the probe leaves nothing behind
    EXPECT_TRUE(s.Batch_Log_EncCmdLn.isEmpty()); // cancelled
    EXPECT_EQ(feedback.asked, QStringList({"Invalid File Name Error|Set Valid File Name for Batch_Log_EncErr",
                                           "Invalid File Name Error|Set Valid File Name for Batch_Log_EncErr",
                                           "Invalid File Name Error|Set Valid File Name for Batch_Log_EncCmdLn"}));
}

TEST(SettingsHelpers, ExtensionListEndsAtABlankAfterAComma)
{
    EXPECT_EQ(splitExtPriority(".mp3 .m4a .flac"), (QStringList{".mp3", ".m4a", ".flac"}));
    EXPECT_EQ(splitExtPriority(".mp3,.flac"), (QStringList{".mp3", ".flac"}));
    EXPECT_EQ(splitExtPriority(" .mp3"), QStringList{});
    EXPECT_EQ(splitExtPriority(".mp3 "), QStringList{".mp3"});
}

TEST(SettingsHelpers, AppendToPathAddsAFolderOnce)
{
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", "/usr/bin:/bin");
    AppendToPath("/opt/enc:");
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc"));
    AppendToPath("/opt/enc");
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc")); // already there
    AppendToPath("/opt");
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc:/opt"));
    qputenv("PATH", oldPath);
}

TEST(SettingsHelpers, EnsureFolderCreatesOnlyWhenTheUserSaysYes)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a/b/c");
    RecordingFeedback no, yes;
    no.answer = AnswerNo;
    yes.answer = AnswerYes;
    EXPECT_FALSE(EnsureFolder(no, target, "Backup Folder"));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(no.messages, QStringList("Warning : Backup Folder not found|" +
                                       QStringLiteral("Backup Folder \"%1\" not found\nCreate %1 ?").arg(target)));
    EXPECT_TRUE(EnsureFolder(yes, target, "Backup Folder"));
    EXPECT_TRUE(QFileInfo(target).isDir());
}

TEST(SettingsHelpers, CanCreateFileLeavesAnExistingFileAlone)
{
    QTemporaryDir dir;
    EXPECT_TRUE(CanCreateFile(QString()));
    const QString existing = dir.filePath("keep.log");
    writeFile(existing, "precious");
    EXPECT_TRUE(CanCreateFile(existing));
    EXPECT_EQ(readFile(existing), QByteArray("precious"));
    EXPECT_FALSE(CanCreateFile(dir.filePath("none/x.log")));
}

} // namespace
