// The whole Compare A/B, as `vornelic-cli compare A B`, against cat, TagLib, mutagen and ffprobe
// reading the same files in one run, for folders of MP3, FLAC and M4A files. Each tool runs as a
// process of its own, as a user would run it, so start-up counts for every side alike.
//
// VORNELIC_COMPARE_BENCH_DIR holds mp3/, flac/ and m4a/, each with the folders A and B;
// VORNELIC_CLI is vornelic-cli and VORNELIC_TAGLIB_READER the TagLib reader
// (bench/compare_bench.sh sets all three up). Repetitions are interleaved at random so that the
// machine's slow moments fall on every tool alike; the ratios are of the medians.

#include <QDir>
#include <QProcess>
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

const char* const Formats[] = {"mp3", "flac", "m4a"};

// mutagen as a tagger uses it: every file opened, its tags and stream length read.
const char* const MutagenScript = R"(
import sys, mutagen
n = 0
for p in sys.argv[1:]:
    f = mutagen.File(p)
    if f is None:
        sys.exit(1)
    n += len(f.tags or ()) + int(f.info.length)
print(n)
)";

// ffprobe takes one input a run; the loop is the cheap part.
const char* const FfprobeLoop =
    R"(for f do ffprobe -v error -show_format -show_streams "$f" || exit 1; done)";

QString benchRoot()
{
    return qEnvironmentVariable("VORNELIC_COMPARE_BENCH_DIR");
}

QString sideFolder(const char* format, const char* side)
{
    return QDir(benchRoot()).filePath(QString::fromLatin1(format) + QLatin1Char('/') + QLatin1String(side));
}

// Both sides' files, A's first, each in name order.
QStringList sideFiles(const char* format)
{
    QStringList out;
    for (const char* side : {"A", "B"}) {
        const QDir dir(sideFolder(format, side));
        for (const QString& name : dir.entryList({QStringLiteral("*.") + QLatin1String(format)}, QDir::Files, QDir::Name))
            out << dir.filePath(name);
    }
    return out;
}


void registerFormat(const char* format)
{
    const QStringList files = sideFiles(format);
    const std::string f = format;
    auto add = [&](const std::string& tool, auto fn) {
        return benchmark::RegisterBenchmark((f + "/" + tool).c_str(), fn)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    };
    add("compare", [=](benchmark::State& s) {
        runTool(s, qEnvironmentVariable("VORNELIC_CLI"),
                {QStringLiteral("compare"), sideFolder(format, "A"), sideFolder(format, "B")});
    });
    add("cat", [=](benchmark::State& s) { runTool(s, QStringLiteral("cat"), files); });
    add("TagLib", [=](benchmark::State& s) { runTool(s, qEnvironmentVariable("VORNELIC_TAGLIB_READER"), files); });
    add("mutagen", [=](benchmark::State& s) {
        runTool(s, QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), QLatin1String(MutagenScript)} + files);
    });
    // One process per file makes it by far the slowest (over a minute a round): fewer rounds of it.
    add("ffprobe", [=](benchmark::State& s) {
        runTool(s, QStringLiteral("sh"), QStringList{QStringLiteral("-c"), QLatin1String(FfprobeLoop), QStringLiteral("sh")} + files);
    })->Repetitions(3);
}

} // namespace

int main(int argc, char** argv)
{
    for (const char* format : Formats) {
        const qsizetype n = sideFiles(format).size();
        if (n == 0) {
            std::fprintf(stderr, "no %s files under VORNELIC_COMPARE_BENCH_DIR (run bench/compare_bench.sh)\n", format);
            return 1;
        }
        registerFormat(format);
    }
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nmedians in ms; ratio = compare / tool (below 1: compare is faster)\n");
    std::printf("%-5s %6s %9s %9s %9s %9s %9s   %7s %7s %7s %7s\n", "", "files", "compare", "cat", "TagLib", "mutagen",
                "ffprobe", "/cat", "/TagLib", "/mutagen", "/ffprobe");
    bool met = true;
    for (const char* format : Formats) {
        const std::string f = format;
        auto median = [&](const char* tool) { return reporter.medians[f + "/" + tool]; };
        const double ours = median("compare");
        auto ratio = [&](const char* tool) { return median(tool) > 0 ? ours / median(tool) : 0.0; };
        std::printf("%-5s %6d %9.1f %9.1f %9.1f %9.1f %9.1f   %7.2f %7.2f %7.2f %7.2f\n", format,
                    int(sideFiles(format).size()), ours, median("cat"), median("TagLib"), median("mutagen"),
                    median("ffprobe"), ratio("cat"), ratio("TagLib"), ratio("mutagen"), ratio("ffprobe"));
        if (ours <= 0)
            continue; // filtered out or failed
        if (f == "mp3") {
            const bool ok = median("cat") > 0 && ratio("cat") <= 1.5;
            std::printf("      target compare / cat <= 1.5: %s\n", ok ? "met" : "MISSED");
            met = met && ok;
        } else {
            const bool ok = median("mutagen") > 0 && ratio("mutagen") < 1.0;
            std::printf("      target compare / mutagen < 1: %s\n", ok ? "met" : "MISSED");
            met = met && ok;
        }
    }
    benchmark::Shutdown();
    return met ? 0 : 3;
}
