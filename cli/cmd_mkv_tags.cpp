// mkv-tags: writes new Tags (and optionally a cover attachment) into a Matroska/WebM file, as the
// encoders do after FFmpeg has made one.

#include "cli/cli.h"
#include "containers/matroska.h"

#include <array>

namespace vn::cli {

namespace {

struct TagOption {
    const char* option;
    int row;
};

constexpr std::array<TagOption, 11> TagOptions = {{
    {"--album", RowAlbum},
    {"--artist", RowArtist},
    {"--album-artist", RowAlbumArtist},
    {"--title", RowTitle},
    {"--track", RowTrack},
    {"--disc", RowDisc},
    {"--year", RowYear},
    {"--genre", RowGenre},
    {"--comment", RowComment},
    {"--composer", RowComposer},
    {"--encoded-by", RowEncodedBy},
}};

int runMkvTags(Context&, const QStringList& arguments)
{
    QStringList args = arguments;
    QString error;
    MatroskaJob job;
    job.writeFlags = MkvWriteTags;
    for (int row = 0; row < TagRowCount; ++row)
        job.tagTexts.append(QString());
    for (const TagOption& t : TagOptions) {
        QString value;
        if (takeOption(args, QString::fromLatin1(t.option), value, error))
            job.tagTexts[t.row] = value;
    }
    takeOption(args, QStringLiteral("--cdid"), job.cdIdentifier, error);
    if (takeOption(args, QStringLiteral("--cover"), job.coverPath, error))
        job.writeFlags |= MkvWriteCover;
    takeOption(args, QStringLiteral("--output"), job.outputPath, error);
    if (!error.isEmpty())
        return usageError("mkv-tags", error);
    if (args.size() != 1 || args[0].startsWith(QLatin1String("--")))
        return usageError("mkv-tags", args.isEmpty() ? QStringLiteral("no file given")
                                                     : QStringLiteral("unexpected argument: %1").arg(args.value(1, args[0])));
    const QString path = args[0];
    MatroskaResult result;
    switch (processMatroska(path, job, result)) {
    case MkvOk:
        printOut(QStringLiteral("%1: tags written\n").arg(job.outputPath.isEmpty() ? path : job.outputPath));
        return ExitOk;
    case MkvCannotOpen:
        printErr(QStringLiteral("cannot open %1\n").arg(path));
        break;
    case MkvCannotWrite:
        printErr(withProblem(QStringLiteral("cannot write %1").arg(job.outputPath.isEmpty() ? path : job.outputPath),
                             result.writeProblem));
        break;
    case MkvNotRewritable:
        printErr(QStringLiteral("%1: not a Matroska file whose tags can be rewritten\n").arg(path));
        break;
    case MkvOutputExists:
        printErr(QStringLiteral("%1 already exists; it is left alone\n").arg(job.outputPath));
        break;
    case MkvCannotReadCover:
        printErr(QStringLiteral("cannot read the cover %1\n").arg(job.coverPath));
        break;
    default:
        break;
    }
    return ExitFailure;
}

} // namespace

VN_CLI_COMMAND("mkv-tags",
               "FILE [--output OUT] [--album T] [--artist T] [--album-artist T] [--title T] [--track T] [--disc T] "
               "[--year T] [--genre T] [--comment T] [--composer T] [--encoded-by T] [--cdid T] [--cover IMAGE]",
               "write new Matroska/WebM tags (and a cover attachment)", runMkvTags);

} // namespace vn::cli
