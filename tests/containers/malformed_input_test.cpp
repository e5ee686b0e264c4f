// Seeded mutation loops: every reader meets thousands of damaged versions of a small real file and
// must neither crash nor read outside its buffers (the sanitizers watch), nor hang.

#include "container_fixtures.h"
#include "containers/flac_reader.h"
#include "containers/matroska.h"
#include "containers/matroska_writer.h"
#include "containers/mp4_reader.h"
#include "containers/wav_reader.h"
#include "media/packed_tags.h"

#include <functional>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

QByteArray mutate(QByteArray b, SplitMix& rng)
{
    static const uint32_t extremes[] = {0, 1, 7, 8, 0x7f, 0x80, 0xff, 0x7fffffff, 0xffffffff, 0x01000000};
    for (int edits = 1 + int(rng.below(4)); edits > 0 && !b.isEmpty(); --edits) {
        const qsizetype at = rng.below(uint32_t(b.size()));
        const uint32_t kind = rng.below(6);
        const int length = 1 + int(rng.below(16));
        if (kind == 0) { // one random byte
            b[at] = char(rng.next());
        } else if (kind == 1) { // a length-like field set to an extreme
            const uint32_t value = extremes[rng.below(10)];
            for (int k = 0; k < 4 && at + k < b.size(); ++k)
                b[at + k] = char(value >> (24 - 8 * k));
        } else if (kind == 2) { // cut short
            b.truncate(at);
        } else if (kind == 3) {
            b.remove(at, length);
        } else if (kind == 4) {
            b.insert(at, QByteArray(length, char(rng.next())));
        } else { // a run copied from elsewhere
            const QByteArray run = b.mid(rng.below(uint32_t(b.size())), 2 * length);
            b.replace(at, run.size(), run);
        }
    }
    return b;
}

// Shows every tag row the way the list would (a value pointing out of its buffer shows up under the
// sanitizers), and tells whether every value lies inside the bytes it holds.
bool showAll(const ContainerTags& t)
{
    QString out;
    PictureRef picture;
    bool inside = true;
    for (int row = 0; row < TagFieldRowCount; ++row) {
        fieldToText(out, 256, t.record, row, t.header.version, &picture);
        if (!picture.bytes().isEmpty())
            (void)picture.bytes().back();
        const TagValue& v = t.record[size_t(row)];
        inside = inside && (v.buffer.isNull() || qint64(v.offset) + v.size <= v.buffer.size());
    }
    return inside;
}

// The file itself, then 10,000 damaged copies, each given to read as bytes and as an open device;
// read tells whether the reader answered with one of its codes and a sound record. The file itself
// must show a text beginning with text in the row (when a text is given).
void runLoop(const QString& file, uint64_t seed, TagRow row, const char* text,
             const std::function<bool(const QByteArray&, QIODevice&, ContainerTags&)>& read)
{
    const QByteArray base = readFile(file);
    ASSERT_FALSE(base.isEmpty());
    SplitMix rng{seed};
    int unsound = 0;
    for (int i = 0; i <= 10000; ++i) {
        const QByteArray bytes = i == 0 ? base : mutate(base, rng);
        ContainerTags t;
        const bool sound = readFromBuffer(bytes, [&](QIODevice& d) { return read(bytes, d, t); });
        unsound += !sound;
        if (i == 0) {
            ASSERT_TRUE(sound);
            if (!text)
                continue;
            EXPECT_TRUE(rowText(t, row).startsWith(QString::fromUtf8(text))) << rowText(t, row).toStdString();
        }
    }
    EXPECT_EQ(unsound, 0);
}

class MalformedInput : public FfmpegFolderTest {};

TEST_F(MalformedInput, Mp4Reader)
{
    ASSERT_TRUE(ffmpegSine(path("m.m4a"), {"-c:a", "aac", "-b:a", "32k", "-metadata", "title=T", "-metadata",
                                           "track=1/2", "-metadata", "album=A"},
                           0.05, 22050));
    runLoop(path("m.m4a"), 1, RowTitle, "T", [](const QByteArray&, QIODevice& d, ContainerTags& t) {
        const int code = readMp4Device(nullptr, d, "m", &t);
        QString dump;
        readMp4Device(&dump, d, "m", nullptr);
        return (code == Mp4Ok || code == Mp4NoAtoms) && showAll(t);
    });
}

TEST_F(MalformedInput, FlacReader)
{
    VN_REQUIRE_PROGRAM("flac");
    ASSERT_TRUE(ffmpegSine(path("f.wav"), {"-c:a", "pcm_s16le"}, 0.02, 8000));
    ASSERT_TRUE(ffmpegImage(path("p.png"), "white", 2));
    ASSERT_EQ(runProcess("flac", {"-s", "-f", "--padding=8", "-S", "1x", "-T", "ALBUM=a", "-T", "title=t",
                                  "--picture=" + path("p.png"), "-o", path("f.flac"), path("f.wav")})
                  .exitCode,
              0);
    runLoop(path("f.flac"), 2, RowTitle, "t", [](const QByteArray&, QIODevice& d, ContainerTags& t) {
        QString dump;
        const int code = readFlacDevice(&dump, d, "f", &t);
        return (code == FlacOk || code == FlacNotFlac) && showAll(t);
    });
}

TEST_F(MalformedInput, WavReader)
{
    ASSERT_TRUE(ffmpegSine(path("w.wav"), {"-c:a", "pcm_s24le"}, 0.002, 8000, 2));
    runLoop(path("w.wav"), 3, RowTitle, nullptr, [](const QByteArray&, QIODevice& d, ContainerTags& t) {
        const int code = readWavDevice(d, t);
        if (code != WavOk)
            return code == WavBadFormatChunk || code == WavNotWave;
        QString dump;
        dumpWavHeader(dump, t.buffer);
        return t.buffer.size() == WavHeaderSize && showAll(t);
    });
}

TEST_F(MalformedInput, MatroskaReaderAndWriter)
{
    ASSERT_TRUE(ffmpegImage(path("c.png"), "black", 2));
    ASSERT_TRUE(ffmpegSine(path("k.mka"), {"-c:a", "pcm_s16le", "-metadata", "title=T", "-attach", path("c.png"),
                                           "-metadata:s:t", "mimetype=image/png"},
                           0.01, 8000));
    const QByteArray newTags = buildMatroskaTags({"Album", "Artist"}, "x");
    const QByteArray newCover = buildMatroskaAttachments("cover", "c.jpg");
    runLoop(path("k.mka"), 4, RowPicture, "image/png ", [&](const QByteArray& bytes, QIODevice&, ContainerTags& t) {
        // An exactly sized copy, so that a read one byte past the end is caught.
        std::vector<char> exact(bytes.begin(), bytes.end());
        MatroskaScan scan;
        QString dump;
        scanMatroska(QByteArrayView(exact.data(), qsizetype(exact.size())), scan, &dump);
        t.buffer = packMatroskaTags(scan);
        t.header.version = KindMatroska;
        if (!unpackTags(t.buffer, t.record) || !showAll(t))
            return false;
        // Whatever the writer accepts comes out as a Segment that ends with the file.
        QByteArray out;
        if (rewriteMatroska(bytes, scan, newTags, newCover, out) != MkvOk)
            return true;
        MatroskaScan again;
        scanMatroska(out, again, nullptr);
        return again.segmentPos >= 0 &&
               (again.segmentUnknownSize || uint64_t(again.segmentDataPos) + again.segmentSize == uint64_t(out.size()));
    });
}

} // namespace
