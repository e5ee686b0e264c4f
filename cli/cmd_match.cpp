#include "batch/matcher.h"
#include "cli/cli.h"
#include "util/file_name.h"

#include <QDir>
#include <QFile>

namespace vn::cli {

// The extensions a batch can take its A files from.
bool batchExtension(const QString& ext)
{
    for (const char* known : {".mp3", ".m4a", ".mp4", ".flac", ".mka", ".webm"}) {
        if (ext.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

namespace {

int runMatch(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString root, cues, list, log, ext, exclude, error;
    const bool haveRoot = takeOption(args, QStringLiteral("--mp3-root"), root, error);
    const bool haveCues = error.isEmpty() && takeOption(args, QStringLiteral("--cue-folders"), cues, error);
    const bool haveList = error.isEmpty() && takeOption(args, QStringLiteral("--list"), list, error);
    const bool haveLog = error.isEmpty() && takeOption(args, QStringLiteral("--log"), log, error);
    const bool haveExt = error.isEmpty() && takeOption(args, QStringLiteral("--ext"), ext, error);
    const bool haveExclude = error.isEmpty() && takeOption(args, QStringLiteral("--exclude"), exclude, error);
    if (!error.isEmpty())
        return usageError("match", error);
    if (!args.isEmpty())
        return usageError("match", QStringLiteral("unexpected \"%1\"").arg(args.first()));
    if (!haveRoot || !haveCues || !haveList)
        return usageError("match", QStringLiteral("match needs --mp3-root, --cue-folders and --list"));
    if (haveExt && !batchExtension(ext))
        return usageError("match", QStringLiteral("--ext takes .mp3, .m4a, .mp4, .flac, .mka or .webm"));

    s.CueMatch_FldrMp3 = QDir(root).absolutePath();
    QStringList folders;
    for (const QString& folder : cues.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        folders << QDir(folder).absolutePath();
    s.CueMatch_FldrCue = folders.join(QLatin1Char(';'));
    s.CueMatch_FileLst = QDir(list).absolutePath();
    s.CueMatch_FileLog = haveLog ? QDir(log).absolutePath() : QString();
    if (haveExt)
        s.CueMatch_Extension = ext.toLower();
    if (haveExclude)
        s.CueMatch_ExceptEnc = exclude.toUtf8();

    MatchStats stats;
    switch (generateMatchList(s, context.feedback, &stats)) {
    case MatchOk:
        break;
    case MatchNothingToMatch:
        printErr(stats.aFiles == 0 ? QStringLiteral("No MP3 files.\n") : QStringLiteral("No CUE sheet files.\n"));
        return ExitFailure;
    case MatchAborted:
        return ExitFailure;
    default:
        printErr(QStringLiteral("cannot write \"%1\"%2\n")
                     .arg(s.CueMatch_FileLst, haveLog ? QStringLiteral(" or \"%1\"").arg(s.CueMatch_FileLog) : QString()));
        return ExitFailure;
    }
    QFile file;
    if (openForReading(file, s.CueMatch_FileLst))
        printOut(QString::fromUtf8(file.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("match", "--mp3-root DIR --cue-folders DIR[;DIR...] --list FILE [--log FILE] [--ext .mp3] [--exclude ENC;ENC]",
               "MP3-vs-CUE matching: writes the MP3-Cue Match List File for the albums under DIR and prints it",
               runMatch);

} // namespace vn::cli
