// Reading and analysing a folder of MP3 files, against cat of the same files and against TagLib
// with accurate audio properties, in one run. The folder comes from VORNELIC_MP3_BENCH_DIR and the
// TagLib reader from VORNELIC_TAGLIB_READER (bench/mp3_read_bench.sh sets both up).

#include "containers/read_file_tags.h"
#include "media/id3v2_reader.h"

#include <QDir>
#include <QProcess>
#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

QStringList benchFiles()
{
    static const QStringList files = [] {
        QStringList out;
        const QDir dir(qEnvironmentVariable("VORNELIC_MP3_BENCH_DIR"));
        for (const QString& name : dir.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name))
            out << dir.filePath(name);
        return out;
    }();
    return files;
}


void ReadAndAnalyse(benchmark::State& state)
{
    const QStringList files = benchFiles();
    QByteArray readBuffer; // one for every file, of a fixed size
    uint64_t frames = 0;
    for (auto _ : state) {
        for (const QString& path : files) {
            vn::FileTags f;
            if (vn::readFileTags(path, f, readBuffer) == vn::ReadTagsOk && f.audioAnalysed)
                frames += f.mpegInfo.frameCount;
        }
    }
    benchmark::DoNotOptimize(frames);
    state.counters["files"] = double(files.size());
    state.counters["bufferKB"] = double(readBuffer.size()) / 1e3;
}

void Cat(benchmark::State& state)
{
    runTool(state, QStringLiteral("cat"), benchFiles());
}

void TagLibAccurate(benchmark::State& state)
{
    runTool(state, qEnvironmentVariable("VORNELIC_TAGLIB_READER"), benchFiles());
}

BENCHMARK(ReadAndAnalyse)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Cat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TagLibAccurate)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (benchFiles().isEmpty()) {
        std::fprintf(stderr, "VORNELIC_MP3_BENCH_DIR holds no .mp3 files (run bench/mp3_read_bench.sh)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.medians["ReadAndAnalyse"];
    std::printf("\n%d files\n", int(benchFiles().size()));
    if (reporter.medians["Cat"] > 0)
        std::printf("read+analyse / cat:            %.2f\n", ours / reporter.medians["Cat"]);
    if (reporter.medians["TagLibAccurate"] > 0)
        std::printf("read+analyse / TagLib(accurate): %.2f\n", ours / reporter.medians["TagLibAccurate"]);
    benchmark::Shutdown();
    return 0;
}
