#include "cli/cli.h"
#include "cli/verify_option.h"
#include "session/session.h"
#include "util/numbers.h"

namespace vn::cli {

namespace {

// A cell of the TSV: backslash, tab and line breaks escaped so every row stays one line.
QString tsvCell(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

int runCompare(Context& context, const QStringList& given)
{
    QStringList args = given;
    QString offsetText, error;
    const bool verify = takeFlag(args, QStringLiteral("--verify"));
    const bool hasOffset = takeOption(args, QStringLiteral("--offset"), offsetText, error);
    if (!error.isEmpty() || args.size() != 2)
        return usageError("compare", error.isEmpty() ? QStringLiteral("compare takes two sides") : error);
    const std::optional<int> offset = hasOffset ? wholeNumber(offsetText) : std::optional<int>(0);
    if (!offset)
        return usageError("compare", QStringLiteral("--offset takes a whole number"));

    ComparisonSession session;
    const Sides sides{args[0], args[1], !args[1].endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive), *offset};
    const int code = session.compare(sides, context.settings, context.feedback);
    if (code != CompareOk) {
        printErr(withProblem(compareErrorText(code), compareProblemText(code, sides.folderA, sides.folderB,
                                                                          context.settings.CP_Cue_Sheet)));
        return ExitFailure;
    }
    // With --verify, B rows end in their pair's similarity ("-" when it cannot be checked).
    const std::vector<QString> matches = verify ? matchColumn(context, session.state()) : std::vector<QString>();
    QString out;
    for (int c = 0; c < ListColumnCount; ++c)
        out += (c ? QStringLiteral("\t") : QString()) + listColumnName(c);
    if (verify)
        out += QStringLiteral("\tmatch %");
    out += QLatin1Char('\n');
    const std::vector<ListRow>& rows = session.state().rows;
    for (size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < ListColumnCount; ++c)
            out += (c ? QStringLiteral("\t") : QString()) + tsvCell(rows[r][size_t(c)]);
        if (verify)
            out += QLatin1Char('\t') + matches[r];
        out += QLatin1Char('\n');
    }
    printOut(out);
    // A file that could not be read keeps its row, but the run did not do all it was asked.
    const QString unreadable = unreadableFilesText(session.state());
    for (const QString& line : unreadable.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        printErr(QStringLiteral("cannot read %1\n").arg(line));
    return unreadable.isEmpty() ? ExitOk : ExitFailure;
}

} // namespace

VN_CLI_COMMAND("compare", "A B [--offset N] [--verify]",
               "Compare A/B: prints the comparison list as TSV; B is a folder or a .cue file; --verify adds each "
               "pair's similarity (match %)",
               runCompare);

} // namespace vn::cli
