// Playlist extension replacement: which text of a line is the entry, which entries change, and that
// a playlist keeps every other byte, its character set and its file when nothing or nothing
// writable changes.
#include "file_tree_fixture.h"
#include "util/playlist_ext.h"
#include "util/text_codec.h"

#include <QFileDevice>

namespace vn::test {
namespace {

using Playlists = FileTree;

// The bytes of a UTF-8 text in another character set, as iconv writes them.
QByteArray iconvTo(const char* charset, const QByteArray& utf8)
{
    const ProcessResult r = runProcess(QStringLiteral("iconv"), {"-f", "UTF-8", "-t", charset}, utf8);
    EXPECT_EQ(r.exitCode, 0) << charset << r.err.toStdString();
    return r.out;
}

TEST_F(Playlists, FindsTheEntryOfEachLineAndChangesOnlyMissingFiles)
{
    put("music/b.flac");
    put("music/b.m4a");
    put("music/c.m4a");
    put("Sym #5.m4a");
    const QString abs = path("music/d.flac");
    const QByteArray in = "#EXTM3U\n"
                          "#EXTINF:12,Artist - a\n"
                          "music\\a.flac\n"            // relative, Windows separators, nothing there
                          "music/b.flac\n"             // the original exists, the new one too: kept
                          "  music/c.flac   # third\n" // blanks and a comment around it
                          "   \n"
                          "\n"
                          + abs.toUtf8() + "\n"        // absolute stays absolute
                          "al.bum/track\n"             // a dot in a folder is no extension
                          "C:\\Music\\x.wma\n"         // a drive letter is absolute
                          "Sym #5.flac\n"              // '#' inside a name that exists under the new extension
                          "Gone #2.flac\n"             // '#' where no file says otherwise: a comment
                          "http://radio.example/live\n"
                          "music/e.flac #";
    const QByteArray expected = "#EXTM3U\n"
                                "#EXTINF:12,Artist - a\n"
                                "music\\a.m4a\n"
                                "music/b.flac\n"
                                "  music/c.m4a   # third\n"
                                "   \n"
                                "\n"
                                + path("music/d.m4a").toUtf8() + "\n"
                                "al.bum/track.m4a\n"
                                "C:\\Music\\x.m4a\n"
                                "Sym #5.m4a\n"
                                "Gone.m4a #2.flac\n"
                                "http://radio.example/live\n"
                                "music/e.m4a #";
    const PlaylistEdit edit = replaceExtensionsInPlaylist(in, dir.path(), ".m4a");
    EXPECT_EQ(edit.outcome, PlaylistRewritten);
    EXPECT_EQ(edit.bytes, expected);
    EXPECT_EQ(edit.counts.entries, 9u);          // not the stream
    EXPECT_EQ(edit.counts.notReplaced, 1u);      // b
    EXPECT_EQ(edit.counts.replacedExisting, 2u); // c, Sym #5
    EXPECT_EQ(edit.counts.replacedMissing, 6u);
}

TEST_F(Playlists, WithNothingToChangeKeepTheirBytes)
{
    put("music/b.flac");
    const QByteArray kept = "#EXTM3U\r\nmusic/b.flac\r\n# only comments\r\n";
    const PlaylistEdit same = replaceExtensionsInPlaylist(kept, dir.path(), ".m4a");
    EXPECT_EQ(same.outcome, PlaylistUnchanged);
    EXPECT_EQ(same.bytes, kept);
    EXPECT_EQ(same.counts.entries, 1u);
}

TEST_F(Playlists, TakeNoByteOrderMarkForTextAndRefuseWhatCannotBeEditedByteByByte)
{
    const PlaylistEdit bom = replaceExtensionsInPlaylist("\xEF\xBB\xBF#EXTM3U\nx.flac\n", dir.path(), ".opus");
    EXPECT_EQ(bom.bytes, QByteArray("\xEF\xBB\xBF#EXTM3U\nx.opus\n"));
    EXPECT_EQ(bom.counts.entries, 1u);
    // UTF-16 and ISO-2022-JP are refused, not mangled.
    const QByteArray utf16 = QByteArray("\xFF\xFE", 2) + encodeText(u"a.flac\r\n", CpUtf16Le);
    EXPECT_EQ(replaceExtensionsInPlaylist(utf16, dir.path(), ".m4a").outcome, PlaylistEncodingUnsupported);
    EXPECT_EQ(replaceExtensionsInPlaylist("\x1b$B$\"\x1b(B.flac\n", dir.path(), ".m4a").outcome,
              PlaylistEncodingUnsupported);
}

TEST_F(Playlists, KeepTheirCharacterSetAndEveryOtherByte)
{
    setAnsiCodePage(CpWindows1252);
    struct Case {
        const char* charset; // for iconv; empty: UTF-8
        QByteArray prefix;
        QByteArray in;
        QByteArray out;
    };
    // Japanese names on the disk are UTF-8 whatever the playlist's character set. 表 and ソ end in
    // the byte of a backslash in Shift_JIS.
    put(QStringLiteral("アルバム/表.m4a"));
    put(QStringLiteral("夜の曲.flac"));
    put(QStringLiteral("Café/Crème brûlée.m4a"));
    const QByteArray japaneseIn = "#EXTM3U\r\n"
                                  "#EXTINF:215,歌手 - 夜の曲\r\n"
                                  "アルバム\\表.flac\r\n"
                                  "  ソナタ.flac  # 二番目\n"
                                  "夜の曲.flac\n"
                                  "\n"
                                  "最後.flac";
    const QByteArray japaneseOut = "#EXTM3U\r\n"
                                   "#EXTINF:215,歌手 - 夜の曲\r\n"
                                   "アルバム\\表.m4a\r\n"
                                   "  ソナタ.m4a  # 二番目\n"
                                   "夜の曲.flac\n"
                                   "\n"
                                   "最後.m4a";
    const QByteArray westernIn = "#EXTINF:1,Café\r\nCafé\\Crème brûlée.flac\r\n";
    const QByteArray westernOut = "#EXTINF:1,Café\r\nCafé\\Crème brûlée.m4a\r\n";
    const Case cases[] = {
        {"", {}, japaneseIn, japaneseOut},
        {"", "\xEF\xBB\xBF", japaneseIn, japaneseOut},
        {"SHIFT_JIS", {}, japaneseIn, japaneseOut},
        {"EUC-JP", {}, japaneseIn, japaneseOut},
        {"WINDOWS-1252", {}, westernIn, westernOut},
    };
    int n = 0;
    for (const Case& c : cases) [&] {
        SCOPED_TRACE(std::string(*c.charset ? c.charset : "UTF-8") + (c.prefix.isEmpty() ? "" : " with BOM"));
        const QByteArray in = c.prefix + (*c.charset ? iconvTo(c.charset, c.in) : c.in);
        const QByteArray out = c.prefix + (*c.charset ? iconvTo(c.charset, c.out) : c.out);
        ASSERT_NE(in, c.prefix);
        const QString list = path(QStringLiteral("list%1.m3u8").arg(n++));
        put(QFileInfo(list).fileName(), in);
        PlaylistExtCounts counts;
        EXPECT_EQ(processPlaylist(list, ".m4a", counts), PlaylistRewritten);
        EXPECT_EQ(readFile(list), out);
        const bool japanese = c.in == japaneseIn;
        EXPECT_EQ(counts.entries, japanese ? 4u : 1u);
        EXPECT_EQ(counts.notReplaced, japanese ? 1u : 0u);
        EXPECT_EQ(counts.replacedExisting, 1u);
        EXPECT_EQ(counts.replacedMissing, japanese ? 2u : 0u);
    }();
    setAnsiCodePage(0);
}

struct PlaylistTree : Playlists {
    void SetUp() override
    {
        put("a/one.m3u", "x.flac\r\n");
        put("a/b/two.M3U8", "#EXTM3U\ny.mp3\n");
        put("a/b/y.mp3");
        put("a/b/not-a-list.txt", "z.flac\n");
        put("real/three.m3u", "w.flac\n");
        folder("c");
        link(path("real/three.m3u"), "c/linked.m3u");
        link(path("a"), "a/b/loop"); // a link back up the tree
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("a/pipe.m3u")).constData(), 0644), 0); // never opened, never waited on
    }
    RecordingFeedback feedback;
};

TEST_F(PlaylistTree, RunFindsEachListOnceRewritesOnlyWhatChangesAndReports)
{
    QStringList found = findPlaylists(path("a"));
    found.sort();
    EXPECT_EQ(found, QStringList({path("a/b/two.M3U8"), path("a/one.m3u")}));

    const ino_t unchangedInode = inodeOf(path("a/b/two.M3U8"));
    EXPECT_EQ(runPlaylistExtReplacement({path("a"), 1}, feedback), 2);
    EXPECT_EQ(readFile(path("a/one.m3u")), QByteArray("x.flac\r\n")); // already .flac: the same bytes
    EXPECT_EQ(inodeOf(path("a/b/two.M3U8")), unchangedInode);           // nothing changed there: never rewritten
    EXPECT_EQ(feedback.messages,
              QStringList{"Result: Playlist Extension Replacement Utility|"
                          "Total number of music file entries in the processed playlist files: 2\n"
                          "  Not replaced, the music file with original extension exists: 1\n"
                          "  Replaced, the music file with new extension(.flac) exists: 0\n"
                          "  Replaced, the music file with new extension(.flac) does not exist: 1\n"
                          "Total number of processed playlist files (.m3u;.m3u8): 2"});
}

TEST_F(PlaylistTree, ARewriteKeepsTheModeAndTheOwner)
{
    ASSERT_TRUE(QFile::setPermissions(path("a/one.m3u"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    // Root rewrites a user's playlist: it stays the user's.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(path("a/one.m3u")).constData(), 4321, 4321), 0);
    }
    PlaylistExtCounts counts;
    EXPECT_EQ(processPlaylist(path("a/one.m3u"), ".ogg", counts), PlaylistRewritten);
    EXPECT_EQ(readFile(path("a/one.m3u")), QByteArray("x.ogg\r\n"));
    EXPECT_EQ(QFileInfo(path("a/one.m3u")).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup);
    if (root) {
        EXPECT_EQ(QFileInfo(path("a/one.m3u")).ownerId(), 4321u);
    }
}

TEST_F(PlaylistTree, ALinkedPlaylistHasItsTargetRewrittenAndStaysALink)
{
    EXPECT_EQ(runPlaylistExtReplacement({path("c"), 7}, feedback), 1);
    EXPECT_TRUE(QFileInfo(path("c/linked.m3u")).isSymLink());
    EXPECT_EQ(readFile(path("real/three.m3u")), QByteArray("w.opus\n"));
}

TEST_F(PlaylistTree, NoExtensionChosenRunsNothingAndAMissingFolderCountsZero)
{
    for (int index : {-1, 8}) {
        RecordingFeedback none;
        EXPECT_EQ(runPlaylistExtReplacement({path("real"), index}, none), -1);
        EXPECT_TRUE(none.messages.isEmpty());
    }
    EXPECT_EQ(readFile(path("real/three.m3u")), QByteArray("w.flac\n"));
    EXPECT_EQ(runPlaylistExtReplacement({path("nowhere"), 2}, feedback), 0);
    ASSERT_EQ(feedback.messages.size(), 1);
    EXPECT_TRUE(feedback.messages[0].endsWith("(.m3u;.m3u8): 0"));
}

TEST_F(PlaylistTree, AnAbortStopsBetweenPlaylists)
{
    feedback.abortAfterPumps = 0;
    EXPECT_EQ(replacePlaylistExtensions(path("a"), ".mp3", feedback).playlists, 0u);
    EXPECT_EQ(readFile(path("a/one.m3u")), QByteArray("x.flac\r\n"));
}

TEST_F(Playlists, ThatCannotBeWrittenStayAsTheyWere)
{
    const QByteArray original = "#EXTM3U\r\nsong.flac\r\n";
    put("ro/list.m3u", original);
    put("ro/other.m3u", "song.mp3\n");
    put("ro/song.mp3");

    PlaylistExtCounts counts;
    {
        ReadOnlyFolder readOnly(path("ro"));
        ASSERT_TRUE(readOnly.holds());
        SilentFeedback silent;
        counts = replacePlaylistExtensions(path("ro"), ".m4a", silent);
    }
    EXPECT_EQ(readFile(path("ro/list.m3u")), original);
    EXPECT_EQ(filesUnder("ro"), QStringList({"list.m3u", "other.m3u", "song.mp3"})); // no temporary file left
    EXPECT_EQ(counts.leftAlone, QStringList{path("ro/list.m3u")});
    // The playlist that could not be written adds no entries; the one that needed no change does.
    EXPECT_EQ(counts.playlists, 2u);
    EXPECT_EQ(counts.entries, 1u);
    EXPECT_EQ(counts.notReplaced, 1u);
    EXPECT_EQ(playlistExtResultText(counts, ".m4a"),
              "Total number of music file entries in the processed playlist files: 1\n"
              "  Not replaced, the music file with original extension exists: 1\n"
              "  Replaced, the music file with new extension(.m4a) exists: 0\n"
              "  Replaced, the music file with new extension(.m4a) does not exist: 0\n"
              "Total number of processed playlist files (.m3u;.m3u8): 2\n"
              "  Left as they were, could not be read or rewritten: 1");
}

TEST_F(Playlists, ThatCannotBeReadOrUnderstoodAreCountedAndLeftAlone)
{
    const QByteArray utf16 = QByteArray("\xFF\xFE", 2) + encodeText(u"song.flac\r\n", CpUtf16Le);
    put("wide/list.m3u", utf16);
    PlaylistExtCounts wide;
    EXPECT_EQ(processPlaylist(path("wide/list.m3u"), ".m4a", wide), PlaylistEncodingUnsupported);
    EXPECT_EQ(readFile(path("wide/list.m3u")), utf16);
    EXPECT_EQ(wide.playlists, 1u);
    EXPECT_EQ(wide.entries, 0u);

    PlaylistExtCounts gone;
    EXPECT_EQ(processPlaylist(path("none.m3u"), ".m4a", gone), PlaylistReadFailed);
    EXPECT_EQ(gone.playlists, 1u);
}

} // namespace
} // namespace vn::test
