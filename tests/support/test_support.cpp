#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <sys/resource.h>

namespace vn::test {

ProcessResult runProcess(const QString& program, const QStringList& args, const QByteArray& input, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.exitCode = -2;
    } else {
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ProcessResult runPython(const QString& script, const QStringList& args)
{
    return runProcess(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
}

bool haveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

ProcessResult runCli(const QStringList& args, const CliRun& how)
{
    QProcess p;
    if (!how.home.isEmpty()) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORNELIC_HOME"), how.home);
        p.setProcessEnvironment(env);
    }
    if (how.fileSizeLimit >= 0) {
        p.setChildProcessModifier([limit = rlim_t(how.fileSizeLimit), kill = how.killAtLimit] {
            const rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
            if (!kill)
                signal(SIGXFSZ, SIG_IGN);
        });
    }
    if (!how.workingDirectory.isEmpty())
        p.setWorkingDirectory(how.workingDirectory);
    p.start(cliPath(), args);
    ProcessResult result;
    if (!p.waitForStarted(10000))
        return result;
    if (!p.waitForFinished(300000)) { // a whole encode under the sanitizers
        p.kill();
        p.waitForFinished();
        result.exitCode = -2;
    } else {
        result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    }
    if (how.crashed)
        *how.crashed = p.exitStatus() == QProcess::CrashExit;
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    return result;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray be32(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString cliPath()
{
    return QStringLiteral(VORNELIC_BIN_DIR "/vornelic-cli");
}

uint64_t SplitMix::next()
{
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

} // namespace vn::test
