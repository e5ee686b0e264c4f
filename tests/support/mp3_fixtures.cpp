#include "mp3_fixtures.h"

#include "test_support.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace vn::test {

bool writeTestWav(const QString& path, uint32_t frames, uint32_t sampleRate, int channels)
{
    QByteArray pcm(qsizetype(frames) * channels * 2, Qt::Uninitialized);
    SplitMix noise{uint64_t(sampleRate) * 31 + frames};
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        const double tone = std::sin(2 * M_PI * (200 + 1800 * t) * t) * 0.5;
        for (int c = 0; c < channels; ++c) {
            const double s = tone + (int(noise.below(2000)) - 1000) / 8000.0 * (1 + c);
            const auto v = int16_t(std::lround(std::clamp(s, -1.0, 1.0) * 32000));
            qToLittleEndian(v, pcm.data() + (qsizetype(i) * channels + c) * 2);
        }
    }
    QByteArray wav("RIFF");
    auto u32 = [&](uint32_t v) { char b[4]; qToLittleEndian(v, b); wav.append(b, 4); };
    auto u16 = [&](uint16_t v) { char b[2]; qToLittleEndian(v, b); wav.append(b, 2); };
    u32(uint32_t(36 + pcm.size()));
    wav += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(uint16_t(channels));
    u32(sampleRate);
    u32(sampleRate * channels * 2);
    u16(uint16_t(channels * 2));
    u16(16);
    wav += "data";
    u32(uint32_t(pcm.size()));
    wav += pcm;
    return writeFile(path, wav);
}

bool lameEncode(const QString& wav, const QString& mp3, const QStringList& options)
{
    const ProcessResult r =
        runProcess(QStringLiteral("lame"), QStringList{QStringLiteral("--quiet")} + options + QStringList{wav, mp3});
    return r.exitCode == 0;
}

QByteArray id3Tag(uint8_t version, const QByteArray& body, uint8_t revision, uint8_t flags)
{
    const auto n = uint32_t(body.size());
    QByteArray tag("ID3");
    tag += char(version);
    tag += char(revision);
    tag += char(flags);
    tag += char(n >> 21 & 0x7F);
    tag += char(n >> 14 & 0x7F);
    tag += char(n >> 7 & 0x7F);
    tag += char(n & 0x7F);
    return tag + body;
}

QByteArray id3Frame(uint8_t version, const QByteArray& id, const QByteArray& data, uint16_t flags)
{
    const auto n = uint32_t(data.size());
    QByteArray f = id;
    if (version == 2) {
        f += char(n >> 16);
        f += char(n >> 8);
        f += char(n);
        return f + data;
    }
    if (version == 3) {
        f += char(n >> 24);
        f += char(n >> 16);
        f += char(n >> 8);
        f += char(n);
    } else {
        f += char(n >> 21 & 0x7F);
        f += char(n >> 14 & 0x7F);
        f += char(n >> 7 & 0x7F);
        f += char(n & 0x7F);
    }
    f += char(flags >> 8);
    f += char(flags);
    return f + data;
}

QByteArray unsynchronise(const QByteArray& plain)
{
    QByteArray out;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        out += plain[i];
        const bool last = i + 1 == plain.size();
        if (uint8_t(plain[i]) == 0xFF && (last || plain[i + 1] == 0 || uint8_t(plain[i + 1]) >= 0xE0))
            out += '\0';
    }
    return out;
}

QByteArray id3v1Block(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                      const QByteArray& year, const QByteArray& comment, int track, uint8_t genre)
{
    auto field = [](const QByteArray& s, int width) { return s.left(width).leftJustified(width, '\0'); };
    QByteArray b = "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4);
    if (track >= 0)
        b += field(comment, 28) + '\0' + char(track);
    else
        b += field(comment, 30);
    b += char(genre);
    return b;
}

QByteArray cbrFrames(int count)
{
    QByteArray frame(417, '\x55');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    frame[3] = char(0x64); // joint stereo, ext 2, original
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += frame;
    return out;
}

QString mutagenPrelude()
{
    return QStringLiteral("import sys, json\n"
                          "import mutagen.id3\n"
                          "globals().update({k: getattr(mutagen.id3, k) for k in dir(mutagen.id3) if k[0] != '_'})\n");
}

} // namespace vn::test
