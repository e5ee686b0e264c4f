#include "cli/cli.h"
#include "util/playlist_ext.h"

#include <QDir>
#include <QFileInfo>

namespace vn::cli {

namespace {

int runPlaylistExt(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString extension, error;
    const bool haveExtension = takeOption(args, QStringLiteral("--ext"), extension, error);
    if (!error.isEmpty() || args.size() != 1 || !haveExtension)
        return usageError("playlist-ext", error.isEmpty() ? QStringLiteral("playlist-ext takes a base folder and --ext") : error);
    if (!extension.startsWith(u'.'))
        extension.prepend(u'.');
    QString newExtension;
    QStringList offered;
    for (const char* e : PlaylistNewExtensions) {
        offered.append(QLatin1String(e));
        if (extension.compare(QLatin1String(e), Qt::CaseInsensitive) == 0)
            newExtension = QLatin1String(e);
    }
    if (newExtension.isEmpty())
        return usageError("playlist-ext", QStringLiteral("--ext takes one of %1").arg(offered.join(u' ')));
    const QString base = args[0];
    if (!QFileInfo(base).isDir()) {
        printErr(QStringLiteral("Base folder not found: %1\n").arg(QDir::toNativeSeparators(base)));
        return ExitFailure;
    }

    const PlaylistExtCounts counts = replacePlaylistExtensions(base, newExtension, context.feedback);
    for (qsizetype i = 0; i < counts.leftAlone.size(); ++i)
        printErr(withProblem(QStringLiteral("left as it was (could not be read or rewritten): %1")
                                 .arg(QDir::toNativeSeparators(counts.leftAlone[i])),
                             counts.leftAloneCauses.value(i)));
    printOut(playlistExtResultText(counts, newExtension) + u'\n');
    return counts.leftAlone.isEmpty() ? ExitOk : ExitFailure;
}

} // namespace

VN_CLI_COMMAND("playlist-ext", "BASE --ext E",
               "gives the entries of every .m3u/.m3u8 playlist under BASE whose file is gone the new extension E "
               "(.mp3 .flac .m4a .mp4 .mka .webm .ogg .opus); prints the counts",
               runPlaylistExt);

} // namespace vn::cli
