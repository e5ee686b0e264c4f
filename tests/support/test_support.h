#pragma once
// Shared by every test program: temporary folders, running the outside tools that write and read
// fixtures, and small file helpers.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Failures show texts as text.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << '"' << b.toStdString() << '"';
}

namespace vn::test {

struct ProcessResult {
    int exitCode = -1; // -1 when the program could not be started
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (at most timeoutMs) and collects both output streams.
ProcessResult runProcess(const QString& program, const QStringList& args, const QByteArray& input = {},
                         int timeoutMs = 120000);
// Runs a Python snippet with the system interpreter, which has mutagen.
ProcessResult runPython(const QString& script, const QStringList& args = {});
// True when the program is on PATH.
bool haveProgram(const QString& program);

// How vornelic-cli runs: its settings folder (VORNELIC_HOME), and a file-size limit past which its
// writes fail as on a full disk (or, with the signal left on, the program is killed).
struct CliRun {
    QString home;
    qint64 fileSizeLimit = -1;
    bool killAtLimit = false;
    bool* crashed = nullptr;
    QString workingDirectory; // where relative paths start; the test's own when empty
};
ProcessResult runCli(const QStringList& args, const CliRun& how = {});

QByteArray readFile(const QString& path);
// The names in a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);
// Big-endian 32-bit bytes.
QByteArray be32(uint32_t v);
bool writeFile(const QString& path, const QByteArray& bytes);

// The built programs.
QString cliPath();

// Deterministic pseudo-random bytes for mutation loops.
struct SplitMix {
    uint64_t state;
    uint64_t next();
    uint32_t below(uint32_t n) { return n ? uint32_t(next() % n) : 0; }
};

} // namespace vn::test
