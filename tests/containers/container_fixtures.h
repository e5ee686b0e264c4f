#pragma once
// Fixtures for the container tests: short recordings and pictures written by ffmpeg, what ffprobe
// says about them, and checks of what a reader gave back.

#include "containers/read_file_tags.h"
#include "media/field_to_text.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

// A tool scripts/install-deps installs: its absence is a broken set-up, never a reason to skip.
#define VN_REQUIRE_PROGRAM(name) ASSERT_TRUE(::vn::test::haveProgram(QStringLiteral(name))) << name " is not installed"

namespace vn::test {

// Runs ffmpeg on a generated input, a sine of the given length or a one-frame picture of one colour.
inline bool ffmpegFrom(const QString& source, const QStringList& args, const QString& out)
{
    const ProcessResult r =
        runProcess("ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i", source} + args + QStringList{out});
    EXPECT_EQ(r.exitCode, 0) << "ffmpeg failed: " << r.err.constData();
    return r.exitCode == 0;
}
inline bool ffmpegSine(const QString& out, const QStringList& codecArgs, double seconds = 1.0, int rate = 44100,
                       int channels = 1)
{
    return ffmpegFrom(QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
                      QStringList{"-ac", QString::number(channels)} + codecArgs, out);
}
inline bool ffmpegImage(const QString& out, const QString& colour, int side)
{
    return ffmpegFrom(QStringLiteral("color=%1:s=%2x%2").arg(colour).arg(side), {"-frames:v", "1"}, out);
}

// ffprobe's format and first audio stream.
struct Probe {
    QJsonObject format;
    QJsonObject audio;
};
inline Probe ffprobe(const QString& path)
{
    const QStringList args{"-v", "error", "-select_streams", "a:0", "-show_format", "-show_streams", "-of", "json"};
    const QJsonObject root = QJsonDocument::fromJson(runProcess("ffprobe", args + QStringList{path}).out).object();
    return {root.value("format").toObject(), root.value("streams").toArray().at(0).toObject()};
}
// ffprobe gives most numbers as texts.
inline double probeNumber(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString().toDouble() : v.toDouble();
}

// The MD5 of the decoded audio, to show a rewrite left the samples alone.
inline QByteArray audioMd5(const QString& path)
{
    const ProcessResult r = runProcess("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-f", "md5", "-"});
    return r.exitCode == 0 ? r.out.trimmed() : QByteArray("ffmpeg failed: ") + r.err;
}

inline QByteArray bytesOf(const TagValue& v)
{
    return v.bytes().toByteArray();
}

// The display text of one row, by the kind the reader gave the record; for the picture row the
// picture's bytes go to picture.
inline QString rowText(const ContainerTags& t, int row, QByteArray* picture = nullptr)
{
    QString out;
    PictureRef ref;
    fieldToText(out, 1024, t.record, row, t.header.version, &ref);
    if (picture)
        *picture = ref.bytes().toByteArray();
    return out;
}

inline void expectRows(const ContainerTags& t, std::initializer_list<std::pair<TagRow, const char*>> rows)
{
    for (const auto& [row, text] : rows)
        EXPECT_EQ(rowText(t, row), QString::fromUtf8(text)) << "row " << int(row);
}

inline void expectContains(const QString& text, std::initializer_list<const char*> pieces)
{
    for (const char* piece : pieces)
        EXPECT_TRUE(text.contains(QString::fromUtf8(piece))) << "no '" << piece << "' in\n" << qPrintable(text);
}

// Runs a device reader on bytes held in memory.
template <typename Read>
auto readFromBuffer(const QByteArray& bytes, Read read)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer);
}

// A test that writes its fixtures with ffmpeg into a folder of its own.
class FfmpegFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VN_REQUIRE_PROGRAM("ffmpeg");
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

} // namespace vn::test
