#include "cd/cddb_query.h"
#include "cli/cli.h"
#include "cli/device_commands.h"

namespace vn::cli {

namespace {

QString reason(int code)
{
    switch (code) {
    case CddbNoQueryReply:
        return QStringLiteral("no reply to the query");
    case CddbNoMatch:
        return QStringLiteral("the server knows no such disc");
    case CddbNoReadReply:
        return QStringLiteral("no disc entry in reply to the read");
    case CddbNoServer:
        return QStringLiteral("no server set: Cddb_Server1, Cddb_Server2 or --server");
    default:
        return QStringLiteral("the CD image has no tracks");
    }
}

int runCddb(Context& context, const QStringList& given)
{
    QStringList args = given;
    Settings& s = context.settings;
    QString server, hello, proto, error;
    if (takeOption(args, QStringLiteral("--server"), server, error))
        s.Cddb_Server1 = server.toUtf8();
    if (error.isEmpty() && takeOption(args, QStringLiteral("--hello"), hello, error))
        s.Cddb_Hello = hello.toUtf8();
    if (error.isEmpty() && takeOption(args, QStringLiteral("--proto"), proto, error))
        s.Cddb_Proto = proto.toUtf8();
    if (!error.isEmpty() || args.size() != 1)
        return usageError("cddb", error.isEmpty() ? QStringLiteral("cddb takes one cue sheet") : error);

    CueSheet sheet;
    if (parseCueSheet(args.first(), CueTrackLimit, s.CP_Cue_Sheet, sheet) < 1) {
        printErr(QStringLiteral("Error : Illegal Cue sheet\n"));
        return ExitFailure;
    }
    uint32_t discId = 0;
    const QByteArray query =
        cddbQueryText(std::span<const uint32_t>(sheet.trackStarts.data(), size_t(sheet.trackCount) + 1), &discId);
    printOut(QStringLiteral("disc id\t%1\nquery\t%2\n")
                 .arg(QString::asprintf("%08x", discId), QString::fromLatin1(query)));

    ComparisonState state;
    state.folderB = args.first();
    state.folderBMode = false;
    state.cue = std::move(sheet);
    CddbResult found;
    const int code = queryCddb(state, s, context.feedback, false, nullptr, &found);
    if (code != CddbOk) {
        printErr(QStringLiteral("CDDB Failed: %1\n").arg(reason(code)));
        return ExitFailure;
    }
    const CueSheet& cue = *state.cue;
    QString out = QStringLiteral("genre\t%1\nyear\t%2\nread id\t%3\nalbum\t%4\nalbum artist\t%5\n")
                      .arg(found.genre, found.year ? QString::number(found.year) : QString(),
                           QString::asprintf("%08x", found.discId), cue.titles[0], cue.performers[0]);
    for (int t = 1; t <= cue.trackCount; ++t)
        out += QStringLiteral("%1\t%2\t%3\n").arg(QString::asprintf("%02d", t), cue.performers[size_t(t)], cue.titles[size_t(t)]);
    printOut(out);
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND(CddbCommand.name, CddbCommand.usage, CddbCommand.summary, runCddb);

} // namespace vn::cli
