// The CD identifier added to MP4 files that FFmpeg wrote, whatever their layout: mutagen reads the
// freeform item, the other tags and the decoded audio are unchanged.

#include "container_fixtures.h"
#include "containers/mp4_tag_writer.h"
#include "support/mp3_fixtures.h"

namespace vn::test {
namespace {

QString freeformAndTitle(const QString& path)
{
    const ProcessResult r = runPython(mutagenPrelude() + QStringLiteral(R"(
import mutagen.mp4, sys
f = mutagen.mp4.MP4(sys.argv[1])
toc = f.tags.get('----:com.apple.iTunes:CDTOC', [b'?'])[0]
print(bytes(toc).decode() + '|' + (f.tags.get('\xa9nam') or ['-'])[0])
)"),
                                      {path});
    return QString::fromUtf8(r.out.trimmed() + r.err);
}

TEST(Mp4TagWriter, TheCdIdentifierReachesEveryLayoutAndTheAudioStays)
{
    QTemporaryDir dir;
    const QByteArray toc = "3+96+2000+4000+6000";
    struct Layout {
        const char* name;
        QStringList args;
        const char* title;
    };
    const Layout layouts[] = {
        {"moov-last.m4a", {"-c:a", "aac", "-metadata", "title=Intro"}, "Intro"},
        {"moov-first.m4a", {"-c:a", "aac", "-metadata", "title=Intro", "-movflags", "+faststart"}, "Intro"},
        {"no-tags.m4a", {"-c:a", "aac", "-map_metadata", "-1", "-fflags", "+bitexact", "-flags:a", "+bitexact"}, "-"},
        {"alac.m4a", {"-c:a", "alac", "-metadata", "title=Intro", "-movflags", "+faststart"}, "Intro"},
    };
    for (const Layout& l : layouts) {
        const QString path = dir.filePath(QLatin1String(l.name));
        ASSERT_TRUE(ffmpegSine(path, l.args, 2.0, 44100, 2)) << l.name;
        const QByteArray before = audioMd5(path);
        ASSERT_EQ(addMp4FreeformText(path, "CDTOC", toc), Mp4TagWritten) << l.name;
        EXPECT_EQ(freeformAndTitle(path), QString::fromLatin1(toc + '|' + l.title)) << l.name;
        EXPECT_EQ(audioMd5(path), before) << l.name;
    }
}

TEST(Mp4TagWriter, WhatIsNotAnMp4IsLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.m4a");
    for (const QByteArray& bytes : {QByteArray("not an mp4 at all"), QByteArray("\0\0\0\x10moov\0\0\0\xffudta", 16),
                                    QByteArray()}) {
        ASSERT_TRUE(writeFile(path, bytes));
        EXPECT_EQ(addMp4FreeformText(path, "CDTOC", "1+96+200"), Mp4TagNotMp4);
        EXPECT_EQ(readFile(path), bytes);
    }
    EXPECT_EQ(addMp4FreeformText(dir.filePath("missing.m4a"), "CDTOC", "1"), Mp4TagCannotRead);
}

} // namespace
} // namespace vn::test
