// Seeded mutation loops: every reader meets thousands of damaged versions of a small real file and
// must neither crash nor read outside its buffers (the sanitizers watch), nor hang.

#include "container_fixtures.h"
#include "containers/flac_reader.h"
#include "containers/matroska.h"
#include "containers/matroska_writer.h"
#include "containers/mp4_reader.h"
#include "containers/wav_reader.h"
#include "media/field_to_text.h"
#include "media/packed_tags.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

constexpr int Mutations = 10000;

QByteArray mutate(const QByteArray& base, SplitMix& rng)
{
    QByteArray b = base;
    const int edits = 1 + int(rng.below(4));
    for (int i = 0; i < edits && !b.isEmpty(); ++i) {
        const qsizetype at = rng.below(uint32_t(b.size()));
        switch (rng.below(6)) {
        case 0: // one random byte
            b[at] = char(rng.next());
            break;
        case 1: { // a length-like field set to an extreme
            static const uint32_t values[] = {0, 1, 7, 8, 0x7f, 0x80, 0xff, 0x7fffffff, 0xffffffff, 0x01000000};
            const uint32_t v = values[rng.below(10)];
            for (int k = 0; k < 4 && at + k < b.size(); ++k)
                b[at + k] = char(v >> (8 * (3 - k)));
            break;
        }
        case 2: // cut short
            b.truncate(at);
            break;
        case 3: // bytes removed
            b.remove(at, 1 + rng.below(16));
            break;
        case 4: // bytes inserted
            b.insert(at, QByteArray(1 + rng.below(16), char(rng.next())));
            break;
        default: { // a run copied from elsewhere
            const qsizetype from = rng.below(uint32_t(b.size()));
            const QByteArray run = b.mid(from, 1 + rng.below(32));
            b.replace(at, run.size(), run);
            break;
        }
        }
    }
    return b;
}

// Shows every tag row the way the list would, so that values pointing out of their buffer show up.
void showAll(const ContainerTags& t)
{
    QString out;
    PictureRef picture;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        fieldToText(out, 256, t.record, row, t.header.version, &picture);
        if (picture.data && picture.size)
            (void)picture.data[picture.size - 1];
    }
}

void runLoop(const QByteArray& base, uint64_t seed, const std::function<void(const QByteArray&)>& read)
{
    ASSERT_FALSE(base.isEmpty());
    read(base);
    SplitMix rng{seed};
    for (int i = 0; i < Mutations; ++i)
        read(mutate(base, rng));
}

template <typename Fn>
void onDevice(const QByteArray& bytes, Fn fn)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    fn(buffer);
}

class MalformedInput : public FfmpegFolderTest {};

TEST_F(MalformedInput, Mp4)
{
    ASSERT_TRUE(ffmpegSine(path("m.m4a"), {"-c:a", "aac", "-b:a", "32k", "-metadata", "title=T", "-metadata",
                                           "track=1/2", "-metadata", "album=A"},
                           0.05, 22050));
    runLoop(readFile(path("m.m4a")), 1, [](const QByteArray& bytes) {
        onDevice(bytes, [](QIODevice& d) {
            ContainerTags t;
            readMp4Device(nullptr, d, QStringLiteral("m"), &t);
            showAll(t);
            QString dump;
            readMp4Device(&dump, d, QStringLiteral("m"), nullptr);
        });
    });
}

TEST_F(MalformedInput, Flac)
{
    VN_REQUIRE_PROGRAM("flac");
    ASSERT_TRUE(ffmpegSine(path("f.wav"), {"-c:a", "pcm_s16le"}, 0.02, 8000));
    ASSERT_TRUE(ffmpegImage(path("p.png"), "white", 2));
    const ProcessResult r = runProcess("flac", {"-s", "-f", "--padding=8", "-S", "1x", "-T", "ALBUM=a", "-T",
                                                "title=t", "--picture=" + path("p.png"), "-o", path("f.flac"),
                                                path("f.wav")});
    ASSERT_EQ(r.exitCode, 0);
    runLoop(readFile(path("f.flac")), 2, [](const QByteArray& bytes) {
        onDevice(bytes, [](QIODevice& d) {
            ContainerTags t;
            QString dump;
            readFlacDevice(&dump, d, QStringLiteral("f"), &t);
            showAll(t);
        });
    });
}

TEST_F(MalformedInput, Wav)
{
    ASSERT_TRUE(ffmpegSine(path("w.wav"), {"-c:a", "pcm_s24le", "-metadata", "title=x"}, 0.002, 8000, 2));
    runLoop(readFile(path("w.wav")), 3, [](const QByteArray& bytes) {
        onDevice(bytes, [](QIODevice& d) {
            ContainerTags t;
            if (readWavDevice(d, t) == WavOk) {
                ASSERT_EQ(t.buffer.size(), WavHeaderSize);
                QString dump;
                dumpWavHeader(dump, t.buffer);
            }
        });
    });
}

TEST_F(MalformedInput, MatroskaReaderAndWriter)
{
    ASSERT_TRUE(ffmpegSine(path("k.mka"), {"-c:a", "pcm_s16le", "-metadata", "title=T"}, 0.01, 8000));
    ASSERT_TRUE(ffmpegImage(path("c.png"), "black", 2));
    QStringList texts{QStringLiteral("Album"), QStringLiteral("Artist")};
    MatroskaJob job;
    job.writeFlags = MkvWriteTags | MkvWriteCover;
    job.tagTexts = texts;
    job.coverPath = path("c.png");
    MatroskaResult result;
    ASSERT_EQ(processMatroska(path("k.mka"), job, result), MkvOk);
    const QByteArray newTags = buildMatroskaTags(texts, QStringLiteral("x"));
    const QByteArray newCover = buildMatroskaAttachments("cover", QStringLiteral("c.jpg"));
    runLoop(readFile(path("k.mka")), 4, [&](const QByteArray& bytes) {
        // An exactly sized copy, so that a read one byte past the end is caught.
        std::vector<char> exact(bytes.begin(), bytes.end());
        const QByteArrayView view(exact.data(), qsizetype(exact.size()));
        MatroskaScan scan;
        QString dump;
        scanMatroska(view, scan, &dump);
        ContainerTags t;
        t.buffer = packMatroskaTags(scan);
        t.header.version = KindMatroska;
        ASSERT_TRUE(unpackTags(t.buffer, t.record));
        showAll(t);
        QByteArray out;
        if (rewriteMatroska(bytes, scan, newTags, newCover, out) == MkvOk) {
            // Whatever was accepted comes out as a Segment that ends with the file.
            MatroskaScan again;
            scanMatroska(out, again, nullptr);
            ASSERT_GE(again.segmentPos, 0);
            if (!again.segmentUnknownSize) {
                ASSERT_EQ(uint64_t(again.segmentDataPos) + again.segmentSize, uint64_t(out.size()));
            }
        }
    });
}

} // namespace
