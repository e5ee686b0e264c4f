// The settings file through the command-line program and through the loader itself.
#include "config/settings.h"
#include "util/feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class RecordingFeedback : public SilentFeedback {
public:
    int inputBox(const QString& title, const QString& prompt, QString& value, int, const QString&,
                 const QString&) override
    {
        asked << title + QLatin1Char('|') + prompt;
        if (answers.isEmpty())
            return AnswerCancel;
        value = answers.takeFirst();
        return AnswerOk;
    }
    QStringList asked;
    QStringList answers;
};

struct SettingsFixture : ::testing::Test {
    QTemporaryDir home;
    QString ini() const { return home.filePath(QStringLiteral("Vornelic.ini")); }

    // Runs "vornelic-cli --ini FILE settings" on the given file text and returns what it printed.
    QString cliSettings(const QByteArray& fileText, int* exitCode = nullptr)
    {
        writeFile(ini(), fileText);
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORNELIC_HOME"), home.path());
        p.setProcessEnvironment(env);
        p.start(cliPath(), {QStringLiteral("--ini"), ini(), QStringLiteral("settings")});
        p.waitForFinished(60000);
        if (exitCode)
            *exitCode = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    Settings load(const QByteArray& fileText, Feedback* feedback = nullptr)
    {
        writeFile(ini(), fileText);
        Settings s = defaultSettings(home.path());
        EXPECT_TRUE(LoadSettings(s, ini()));
        if (feedback)
            askForLogNames(s, *feedback);
        return s;
    }
};

TEST_F(SettingsFixture, CliShowsEveryRuleOfTheFile)
{
    int code = -1;
    const QString out = cliSettings("path_a=/music/a\n"
                                    "Path_B =/ignored\n"
                                    "Path_Otpt=\"/out put\" trailing\n"
                                    "Lame_bps_Max=300\n"
                                    "Lame_bps_CBR=400\n"
                                    "Flac_Block_Size=8\n"
                                    "Flac_Comp_Level=12\n"
                                    "Encoder_Selected=OPUSENC\n"
                                    "FileExtPriority=.mp3, .flac\n",
                                    &code);
    EXPECT_EQ(code, 0);
    const QString dir = home.path();
    EXPECT_THAT(out.toStdString(), HasSubstr("\nPath_A=/music/a\n"));           // key case ignored
    EXPECT_THAT(out.toStdString(), HasSubstr(("\nPath_B=" + dir + "\n").toStdString())); // blank before "="
    EXPECT_THAT(out.toStdString(), HasSubstr("\nPath_Otpt=/out put\n"));        // quotes dropped, tail too
    EXPECT_THAT(out.toStdString(), HasSubstr("\nLame_bps_Max=320\n"));
    EXPECT_THAT(out.toStdString(), HasSubstr("\nLame_bps_CBR=160\n"));          // above 320: unchanged
    EXPECT_THAT(out.toStdString(), HasSubstr("\nFlac_Block_Size=16\n"));
    EXPECT_THAT(out.toStdString(), HasSubstr("\nFlac_Comp_Level=8\n"));
    EXPECT_THAT(out.toStdString(), HasSubstr("\nEncoder_Selected=opusenc\n"));
    EXPECT_THAT(out.toStdString(), HasSubstr("\nFileExtPriority=.mp3\n"));      // comma and blank end the list

    // Every key in table order, empty ones as "Key=" directly followed by the line end.
    QStringList expected;
    for (const SettingsRow& row : SettingsTable)
        expected << QString::fromLatin1(row.name);
    QStringList names;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char('='), 0, 0);
    EXPECT_EQ(names, expected);
    EXPECT_THAT(out.toStdString(), HasSubstr("\nQaac_Exe=\n"));
}

TEST_F(SettingsFixture, EncoderSelection)
{
    EXPECT_EQ(load("Encoder_Selected=OPUSENC\n").EncoderIndex, 5);
    EXPECT_EQ(load("Encoder_Selected=flac\n").EncoderIndex, 2);
    EXPECT_EQ(load("[Encoder]\n").EncoderIndex, 0); // a file without the key selects none
    EXPECT_EQ(load("Encoder_Selected=mp2\n").EncoderIndex, 0);

    Settings missing = defaultSettings(home.path());
    EXPECT_FALSE(LoadSettings(missing, home.filePath(QStringLiteral("absent.ini"))));
    EXPECT_EQ(missing.EncoderIndex, 1); // no file at all keeps LAME
    // Loading touches nothing but the record; the working folders are the front end's step.
    for (const char* folder : {"bkup", "output", "temp"})
        EXPECT_FALSE(QFileInfo(home.filePath(QLatin1String(folder))).exists()) << folder;
    createWorkingFolders(missing);
    for (const char* folder : {"bkup", "output", "temp"})
        EXPECT_TRUE(QFileInfo(home.filePath(QLatin1String(folder))).isDir()) << folder;
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
    s.ExtPriorityList = QStringList{QStringLiteral(".flac"), QStringLiteral(".mp3")};
    s.EncoderIndex = 0;
    s.TextEditor = QStringLiteral("vi\nInjected=1"); // a line break never starts a line of its own
    ASSERT_TRUE(SaveSettings(s, ini()));
    const QByteArray saved = readFile(ini());
    EXPECT_TRUE(saved.startsWith("[Folder]\r\nPath_A=/m\xc3\xbasica/"));
    EXPECT_THAT(saved.toStdString(), HasSubstr("\r\nEncoder_Selected=\r\n"));
    EXPECT_THAT(saved.toStdString(), HasSubstr("\r\nTextEditor=vi\r\n"));
    EXPECT_THAT(saved.toStdString(), Not(HasSubstr("Injected")));
    EXPECT_TRUE(QDir(home.path()).entryList(QDir::Files).filter(QStringLiteral("Vornelic.ini")).size() == 1);

    Settings again = defaultSettings(home.path());
    LoadSettings(again, ini());
    EXPECT_EQ(again.Path_A, s.Path_A);
    EXPECT_EQ(again.CueMatch_FldrCue, s.CueMatch_FldrCue);
    EXPECT_EQ(again.ExtPriorityList, s.ExtPriorityList);
    EXPECT_EQ(again.EncoderIndex, 0);

    // An unwritable place saves nothing and says so.
    EXPECT_FALSE(SaveSettings(s, home.filePath(QStringLiteral("no/such/dir/Vornelic.ini"))));
}

TEST_F(SettingsFixture, MalformedFilesLoadWithDefaults)
{
    SplitMix rng{7};
    QByteArray garbage(1 << 16, '\0');
    for (char& c : garbage)
        c = char(rng.next());
    const Settings defaults = defaultSettings(home.path());
    for (const QByteArray& text : {garbage, QByteArray(1 << 20, 'k'), QByteArray("Path_A=\xff\xfe\xc3(\x80"),
                                   QByteArray("Path_A=no line end at all"), QByteArray("=\n==\n\"\n")}) {
        const Settings s = load(text);
        EXPECT_EQ(s.ID3_Pad, defaults.ID3_Pad);
        EXPECT_EQ(s.FileExtPriority, defaults.FileExtPriority);
    }
    EXPECT_EQ(load("Path_A=no line end at all").Path_A, QStringLiteral("no line end at all"));
    EXPECT_FALSE(load("Path_A=\xff\xfe\n").Path_A.isEmpty()); // invalid UTF-8 still gives text
}

TEST_F(SettingsFixture, LogFilePromptsUntilValidOrCancelled)
{
    const QString bad = home.filePath(QStringLiteral("missing/dir/err.log"));
    const QString good = home.filePath(QStringLiteral("err.log"));
    RecordingFeedback feedback;
    feedback.answers = {bad, good};
    const Settings s = load("Batch_Log_EncErr=" + bad.toUtf8() + "\nBatch_Log_EncCmdLn=" + bad.toUtf8() + "\n",
                            &feedback);
    EXPECT_EQ(s.Batch_Log_EncErr, good);
    EXPECT_FALSE(QFileInfo::exists(good)); // the probe leaves nothing behind
    EXPECT_TRUE(s.Batch_Log_EncCmdLn.isEmpty()); // cancelled
    ASSERT_EQ(feedback.asked.size(), 3);
    EXPECT_EQ(feedback.asked[0], QStringLiteral("Invalid File Name Error|Set Valid File Name for Batch_Log_EncErr"));
    EXPECT_EQ(feedback.asked[2], QStringLiteral("Invalid File Name Error|Set Valid File Name for Batch_Log_EncCmdLn"));
}

TEST(SettingsHelpers, ExtensionListAndPath)
{
    EXPECT_EQ(splitExtPriority(QStringLiteral(".mp3 .m4a .flac")), (QStringList{".mp3", ".m4a", ".flac"}));
    EXPECT_EQ(splitExtPriority(QStringLiteral(".mp3,.flac")), (QStringList{".mp3", ".flac"}));
    EXPECT_EQ(splitExtPriority(QStringLiteral(" .mp3")), QStringList{});
    EXPECT_EQ(splitExtPriority(QStringLiteral(".mp3 ")), QStringList{".mp3"});

    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", "/usr/bin:/bin");
    AppendToPath(QStringLiteral("/opt/enc:"));
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc"));
    AppendToPath(QStringLiteral("/opt/enc"));
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc")); // already there
    AppendToPath(QStringLiteral("/opt"));
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/enc:/opt"));
    qputenv("PATH", oldPath);
}

TEST(SettingsHelpers, EnsureFolderAndCanCreateFile)
{
    QTemporaryDir dir;
    struct Answer : SilentFeedback {
        int answer;
        QString text, title;
        int message(const QString& t, const QString& ti, MessageButtons, MessageIcon) override
        {
            text = t;
            title = ti;
            return answer;
        }
    } no, yes;
    no.answer = AnswerNo;
    yes.answer = AnswerYes;
    const QString target = dir.filePath(QStringLiteral("a/b/c"));
    EXPECT_FALSE(EnsureFolder(no, target, QStringLiteral("Backup Folder")));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(no.text, QStringLiteral("Backup Folder \"%1\" not found\nCreate %1 ?").arg(target));
    EXPECT_EQ(no.title, QStringLiteral("Warning : Backup Folder not found"));
    EXPECT_TRUE(EnsureFolder(yes, target, QStringLiteral("Backup Folder")));
    EXPECT_TRUE(QFileInfo(target).isDir());

    EXPECT_TRUE(CanCreateFile(QString()));
    const QString existing = dir.filePath(QStringLiteral("keep.log"));
    writeFile(existing, "precious");
    EXPECT_TRUE(CanCreateFile(existing));
    EXPECT_EQ(readFile(existing), QByteArray("precious"));
    EXPECT_FALSE(CanCreateFile(dir.filePath(QStringLiteral("none/x.log"))));
}

} // namespace
