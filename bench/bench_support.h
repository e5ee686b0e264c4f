#pragma once
// Shared by the benchmark programs: running an outside tool as one timed step, and keeping each
// benchmark's median so the ratios against the outside tools can be printed after the table.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.aggregate_name == "median")
                medians[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

// Runs the tool to its end once per iteration; a failure ends the benchmark with its message.
inline void runTool(benchmark::State& state, const QString& program, const QStringList& args)
{
    if (program.isEmpty()) {
        state.SkipWithError("tool not given");
        return;
    }
    for (auto _ : state) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            state.SkipWithError(("failed: " + program.toStdString() + " " + p.readAllStandardError().toStdString()).c_str());
            break;
        }
    }
}
