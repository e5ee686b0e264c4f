#pragma once
// Fixtures for the container tests: short sine recordings written by ffmpeg, and what ffprobe says
// about them.

#include "containers/container_tags.h"
#include "media/field_to_text.h"
#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace vn::test {

// Runs ffmpeg writing out; the input is a sine of the given length unless extra brings its own.
inline bool ffmpegSine(const QString& out, const QStringList& codecArgs, double seconds = 1.0, int rate = 44100,
                       int channels = 1)
{
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
                     QStringLiteral("-ac"), QString::number(channels)};
    args += codecArgs;
    args << out;
    const ProcessResult r = runProcess(QStringLiteral("ffmpeg"), args);
    if (r.exitCode != 0)
        ADD_FAILURE() << "ffmpeg failed: " << r.err.constData();
    return r.exitCode == 0;
}

inline bool ffmpegImage(const QString& out, const QString& colour, int side)
{
    const ProcessResult r = runProcess(
        QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("color=%1:s=%2x%2").arg(colour).arg(side),
                                   QStringLiteral("-frames:v"), QStringLiteral("1"), out});
    return r.exitCode == 0;
}

// ffprobe's format and first audio stream.
struct Probe {
    QJsonObject format;
    QJsonObject audio;
    QJsonArray streams;
};

inline Probe ffprobe(const QString& path)
{
    const ProcessResult r = runProcess(QStringLiteral("ffprobe"),
                                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_format"),
                                        QStringLiteral("-show_streams"), QStringLiteral("-of"),
                                        QStringLiteral("json"), path});
    Probe p;
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    p.format = root.value(QStringLiteral("format")).toObject();
    p.streams = root.value(QStringLiteral("streams")).toArray();
    for (const auto& s : p.streams)
        if (s.toObject().value(QStringLiteral("codec_type")).toString() == u"audio") {
            p.audio = s.toObject();
            break;
        }
    return p;
}

inline int probeInt(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString().toInt() : v.toInt();
}

inline double probeDouble(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString().toDouble() : v.toDouble();
}

// The MD5 of the decoded audio, to show a rewrite left the samples alone.
inline QByteArray audioMd5(const QString& path)
{
    const ProcessResult r = runProcess(QStringLiteral("ffmpeg"),
                                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                        QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-f"),
                                        QStringLiteral("md5"), QStringLiteral("-")});
    return r.exitCode == 0 ? r.out.trimmed() : QByteArray("ffmpeg failed: ") + r.err;
}

#define VN_REQUIRE_PROGRAM(name)                                                                                    \
    do {                                                                                                            \
        if (!::vn::test::haveProgram(QStringLiteral(name)))                                                         \
            GTEST_SKIP() << name " is not installed";                                                               \
    } while (0)

// The display text of one row, by the kind the reader gave the record.
inline QString rowText(const ContainerTags& t, int row)
{
    QString out;
    fieldToText(out, 1024, t.record, row, t.header.version);
    return out;
}

// A test that writes its fixtures with ffmpeg into a folder of its own.
class FfmpegFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VN_REQUIRE_PROGRAM("ffmpeg");
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

} // namespace vn::test
