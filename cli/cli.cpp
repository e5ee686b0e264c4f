#include "cli/cli.h"

#include "util/file_name.h"
#include "util/numbers.h"

#include <QFile>
#include <cstdio>
#include <vector>

namespace vn::cli {

bool handsOverDeviceWork = false;

std::vector<Command>& commandTable();

// A name's stray bytes print as replacement characters, so the output stays UTF-8.
void printOut(const QString& text)
{
    const QByteArray bytes = displayPath(text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printErr(const QString& text)
{
    const QByteArray bytes = displayPath(text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

bool takeNumber(QStringList& args, const QString& name, int& value, QString& error)
{
    QString text;
    if (!takeOption(args, name, text, error))
        return error.isEmpty();
    const std::optional<int> n = wholeNumber(text);
    if (!n) {
        error = QStringLiteral("%1 takes a whole number").arg(name);
        return false;
    }
    value = *n;
    return true;
}

QString withProblem(const QString& text, const QString& problem)
{
    return problem.isEmpty() ? text + QLatin1Char('\n') : QStringLiteral("%1 (%2)\n").arg(text, problem);
}

int usageError(const char* name, const QString& problem)
{
    for (const Command& c : commandTable()) {
        if (qstrcmp(c.name, name) == 0) {
            if (!problem.isEmpty())
                printErr(problem + QLatin1Char('\n'));
            printErr(QStringLiteral("usage: vornelic-cli [--ini FILE] %1 %2\n").arg(QLatin1String(c.name), QLatin1String(c.usage)));
            break;
        }
    }
    return ExitUsage;
}

bool takeOption(QStringList& args, const QString& name, QString& value, QString& error)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0)
        return false;
    if (at + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        args.removeAt(at);
        return false;
    }
    value = args.at(at + 1);
    args.remove(at, 2);
    return true;
}

bool takeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

void CliFeedback::setStatus(int, const QString& text)
{
    if (verbose && !text.isEmpty())
        printErr(text + QLatin1Char('\n'));
}

int CliFeedback::message(const QString& text, const QString& title, MessageButtons buttons, MessageIcon)
{
    printErr(QStringLiteral("%1: %2\n").arg(title, text));
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? AnswerNo : AnswerOk;
}

int CliFeedback::inputBox(const QString& title, const QString& prompt, QString&, int, const QString&, const QString&)
{
    printErr(QStringLiteral("%1: %2 (no one to ask; taken as cancelled)\n").arg(title, prompt));
    return AnswerCancel;
}

} // namespace vn::cli
