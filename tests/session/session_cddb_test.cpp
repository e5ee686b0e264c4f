// CDDB through the comparison session: the titles found land in the cue sheet and the B rows, and
// no query runs while another step of the session does.
#include "config/settings.h"
#include "media/tag_field.h"
#include "cd/cddb_query.h"
#include "session/session.h"
#include "support/cd_fixtures.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

namespace {

constexpr size_t col(int row) { return size_t(3 + row); }

} // namespace

TEST(SessionCddb, TitlesReachTheSheetAndTheBRowsButNotWhileACompareRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("A"));
    for (const char* name : {"A/1.mp3", "A/2.mp3"})
        ASSERT_TRUE(writeFile(dir.filePath(QLatin1String(name)), QByteArray()));
    // The worked example's layout: tracks at 0 and 441,000 sample frames, the end at 882,000.
    const DiscImage disc = makeDiscImage(dir.path(), "disc", {0, 750}, 1500);

    CannedHttpServer server;
    server.reply("cmd=cddb+query+05001402+2+150+900+20&hello=h&proto=5", "200 misc 0a0b0c0d Band / Album\r\n");
    server.reply("cmd=cddb+read+misc+0a0b0c0d&", "210 misc 0a0b0c0d\r\nDTITLE=Band / Album\r\nTTITLE0=One\r\n"
                                                 "TTITLE1=Two\r\nEXTD= YEAR: 2001\r\n.\r\n");
    Settings settings;
    settings.Cddb_Server1 = server.url();
    settings.Cddb_Hello = "h";
    settings.Cddb_Proto = "5";
    settings.ExtPriorityList = {".mp3"};

    ComparisonSession session;
    SilentFeedback silent;
    EXPECT_EQ(session.queryCddb(settings, silent, false), CddbNoTracks);

    // A query asked for from inside the compare's event pumping is refused and changes nothing.
    RecordingFeedback feedback;
    int during = 0;
    feedback.onPump = [&](int) {
        if (!during) {
            SilentFeedback inner;
            during = session.queryCddb(settings, inner, false);
        }
    };
    ASSERT_EQ(session.compare(Sides{dir.filePath("A"), disc.cuePath, false, 0}, settings, feedback), CompareOk);
    EXPECT_EQ(during, SessionBusy);
    EXPECT_TRUE(server.requestLines.isEmpty());
    ASSERT_EQ(session.state().rows.size(), 4u);
    EXPECT_TRUE(session.state().cue->titles[1].isEmpty());

    RecordingFeedback query;
    QString transcript;
    CddbResult found;
    EXPECT_EQ(session.queryCddb(settings, query, true, &transcript, &found), CddbOk);
    EXPECT_EQ(query.statuses, QStringList({"Querying CDDB for CD data....", "CDDB Successful"}));
    EXPECT_EQ(found.year, 2001u);
    EXPECT_EQ(found.discId, 0x0a0b0c0du);
    EXPECT_TRUE(transcript.contains("TTITLE1=Two"));
    const ComparisonState& s = session.state();
    EXPECT_EQ(s.cue->titles[0], "Album");
    EXPECT_EQ(s.cue->performers[0], "Band");
    EXPECT_EQ(s.cue->titles[2], "Two");
    EXPECT_EQ(s.rows[1][1], "01_One");
    EXPECT_EQ(s.rows[3][col(RowTitle)], "Two");
    EXPECT_EQ(s.rows[3][col(RowAlbumArtist)], "Band");
    EXPECT_EQ(s.rows[3][col(RowYear)], "2001");
    EXPECT_EQ(s.rows[3][col(RowGenre)], "misc");
    // A's rows are not CDDB's to change.
    EXPECT_EQ(s.rows[0][1], "1.mp3");
}
