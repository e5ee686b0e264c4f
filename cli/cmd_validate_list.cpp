#include "batch/match_list.h"
#include "cli/cli.h"

namespace vn::cli {

bool batchExtension(const QString& ext);

namespace {

QString plainLines(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

int runValidateList(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString ext = context.settings.CueMatch_Extension, error;
    takeOption(args, QStringLiteral("--ext"), ext, error);
    if (!error.isEmpty())
        return usageError("validate-list", error);
    if (args.size() != 1)
        return usageError("validate-list", QStringLiteral("validate-list takes one list file"));
    if (!batchExtension(ext))
        return usageError("validate-list", QStringLiteral("--ext takes .mp3, .m4a, .mp4, .flac, .mka or .webm"));
    BatchList list;
    QString errors;
    const int count = validateBatchList(ext.toLower(), args.first(), list, errors);
    if (count == ValidateCannotOpen) {
        printErr(QStringLiteral("cannot read the list file \"%1\"\n").arg(args.first()));
        return ExitFailure;
    }
    if (count != 0) {
        printErr(plainLines(errors));
        return ExitFailure;
    }
    printOut(plainLines(precheckReport(list)));
    return ExitOk;
}

} // namespace

VN_CLI_COMMAND("validate-list", "FILE [--ext .mp3]",
               "checks an MP3-Cue Match List File: prints the pre-check report, or the errors with exit code 1",
               runValidateList);

} // namespace vn::cli
