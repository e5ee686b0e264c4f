// CDDB: the disc id, the reading of a read reply, and whole exchanges with a local HTTP server that
// answers with canned replies over real sockets, including servers that misbehave.
#include "support/cd_fixtures.h"
#include "cd/cddb.h"
#include "cd/cddb_query.h"
#include "config/settings.h"
#include "util/text_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;
using ::testing::ElementsAre;

namespace {

// The two-track example: starts 0 and 441,000 sample frames, end 882,000.
CueSheet twoTrackSheet()
{
    CueSheet cue;
    cue.trackCount = 2;
    cue.trackStarts[0] = 0;
    cue.trackStarts[1] = 441000;
    cue.trackStarts[2] = 882000;
    return cue;
}

const QByteArray QueryKey = "cmd=cddb+query+05001402+2+150+900+20&hello=me+here+vornelic+0.1&proto=5";
const QByteArray ReadKey = "cmd=cddb+read+rock+0a0b0c0d&hello=me+here+vornelic+0.1&proto=5";
const QByteArray ReadReply = "210 rock 0a0b0c0d CD database entry follows (until terminating `.')\r\n"
                             "# xmcd\r\n"
                             "DISCID=0a0b0c0d\r\n"
                             "DTITLE=Some Artist / Some Album\r\n"
                             "DYEAR=1999\r\n"
                             "DGENRE=Rock\r\n"
                             "TTITLE0=First\r\n"
                             "TTITLE1=Second\r\n"
                             ".\r\n";

CddbServer serverAt(const QByteArray& url)
{
    CddbServer server;
    server.url = url;
    server.hello = "me+here+vornelic+0.1";
    server.proto = "5";
    server.limits.timeoutMs = 400;
    return server;
}

CueSheet withOldTitles()
{
    CueSheet cue = twoTrackSheet();
    cue.titles[0] = "Old Album";
    cue.titles[1] = "Old First";
    return cue;
}

} // namespace

TEST(CddbDiscId, TwoTrackExample)
{
    const uint32_t starts[] = {0, 441000, 882000};
    uint32_t id = 0;
    EXPECT_EQ(cddbQueryText(starts, &id), QByteArray("05001402+2+150+900+20"));
    EXPECT_EQ(id, 0x05001402u);
    EXPECT_TRUE(cddbQueryText(std::span<const uint32_t>(starts, 1)).isEmpty());
}

TEST(CddbRead, SplitLinesTrackNumbersYearsAndTheEnd)
{
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    parseCddbRead("210 rock 0a0b0c0d CD database entry follows\r\n"
                  "# DTITLE=comment, not a title\n"
                  "DTITLE=Some Artist / Some Al\r\n"
                  "DTITLE=bum\r\n"
                  "TTITLE0=One\r\n"
                  "TTITLE1=Two, part\r\n"
                  "TTITLE1= two\r\n"
                  "TTITLE2=Beyond the disc\r\n"
                  "TTITLE10=Far beyond\r\n"
                  "TTITLE0=dropped: another title came in between\r\n"
                  "TTITLEx=no number\r\n"
                  "EXTD= YEAR: 1999 ID3G: 17\r\n"
                  "DYEAR=2001\r\n"
                  ".\r\n"
                  "TTITLE1=after the end\r\n",
                  cue, result, false);
    EXPECT_EQ(cue.titles[0], "Some Album");
    EXPECT_EQ(cue.performers[0], "Some Artist");
    EXPECT_EQ(cue.titles[1], "One");
    EXPECT_EQ(cue.titles[2], "Two, part two");
    EXPECT_TRUE(cue.titles[3].isNull());
    EXPECT_EQ(cue.performers[1], "Some Artist");
    EXPECT_EQ(cue.performers[2], "Some Artist");
    EXPECT_EQ(result.year, 2001u); // DYEAR after EXTD overrides it
    EXPECT_EQ(result.genre, "rock");
    EXPECT_EQ(result.discId, 0x0a0b0c0du);
}

TEST(CddbRead, WithoutASlashTheTitleIsTheAlbumAndTheLastLineNeedsNoLineFeed)
{
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    parseCddbRead("DYEAR=2001\nEXTD= YEAR: 1999\nDGENRE=Blues\nDTITLE=No slash here\nTTITLE0=last piece without line feed",
                  cue, result, false);
    EXPECT_EQ(result.year, 2001u); // EXTD only fills a year still missing
    EXPECT_EQ(result.genre, "Blues");
    EXPECT_EQ(result.discId, 0u);
    EXPECT_EQ(cue.titles[0], "No slash here");
    EXPECT_TRUE(cue.performers[0].isNull());
    EXPECT_TRUE(cue.performers[1].isNull());
    EXPECT_TRUE(cue.titles[1].isNull());
}

TEST(CddbRead, AnEmptyYearIsFilledFromTheExtendedData)
{
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    parseCddbRead("DYEAR=\nEXTD= YEAR: 1999\n", cue, result, false);
    EXPECT_EQ(result.year, 1999u);
}

TEST(CddbRead, JapaneseTitlesInEveryEncodingAndUtf8AtLevelSix)
{
    const int ansi = ansiCodePage();
    setAnsiCodePage(1252);
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    // "日本" in Shift_JIS, EUC-JP and UTF-8, one per entry.
    parseCddbRead("DTITLE=\x93\xfa\x96\x7b\nTTITLE0=\xc6\xfc\xcb\xdc\nTTITLE1=\xe6\x97\xa5\xe6\x9c\xac\n"
                  "DGENRE=M\xc3\xbasica\n",
                  cue, result, false);
    const QString nihon = QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac");
    EXPECT_EQ(cue.titles[0], nihon);
    EXPECT_EQ(cue.titles[1], nihon);
    EXPECT_EQ(cue.titles[2], nihon);
    EXPECT_EQ(result.genre, QString::fromUtf8("M\xc3\x83\xc2\xbasica")); // below level 6: the ANSI code page

    parseCddbRead("DGENRE=M\xc3\xbasica\nDTITLE=\xe6\x97\xa5\xe6\x9c\xac / Caf\xc3\xa9\n", cue, result, true);
    EXPECT_EQ(result.genre, QString::fromUtf8("M\xc3\xbasica"));
    EXPECT_EQ(cue.performers[0], nihon);
    EXPECT_EQ(cue.titles[0], QString::fromUtf8("Caf\xc3\xa9"));
    setAnsiCodePage(ansi);
}

TEST(CddbRead, HostileRepliesStayWithinThePool)
{
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    parseCddbRead("DTITLE=" + QByteArray(70000, 'a') + "\nTTITLE0=b\nTTITLE1=c\n", cue, result, false);
    EXPECT_EQ(cue.titles[0].size(), 65535); // the 64 KiB pool less its terminator
    EXPECT_TRUE(cue.titles[1].isEmpty());
    EXPECT_FALSE(cue.titles[1].isNull());

    static const char Alphabet[] = "DTITLE=TTITLE0123456789=\n\r. /#EXTD YEAR:\xe6\x93";
    SplitMix mix{3};
    for (int i = 0; i < 300; ++i) {
        QByteArray noise(int(mix.below(400)), '\0');
        for (char& c : noise)
            c = Alphabet[mix.below(sizeof Alphabet - 1)];
        parseCddbRead(noise, cue, result, i % 2);
        for (int t = 3; t <= CueTrackLimit; ++t)
            ASSERT_TRUE(cue.titles[size_t(t)].isNull());
    }
}

TEST(CddbExchange, ExactMatchReadsTheDiscWithTheAgentAndTheQueryAsItStands)
{
    CannedHttpServer server;
    server.reply(QueryKey, "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    server.reply(ReadKey, ReadReply);
    CueSheet cue = twoTrackSheet();
    CddbResult result;
    QByteArray transcript;
    ASSERT_EQ(cddbLookup(cue, result, serverAt(server.url()), &transcript), CddbOk);
    EXPECT_THAT(server.requestLines,
                ElementsAre("GET /~cddb/cddb.cgi?" + QueryKey + " HTTP/1.1", "GET /~cddb/cddb.cgi?" + ReadKey + " HTTP/1.1"));
    EXPECT_TRUE(server.requests[0].contains("\r\nUser-Agent: Agent-A\r\n")) << server.requests[0].toStdString();
    EXPECT_EQ(cue.titles[0], "Some Album");
    EXPECT_EQ(cue.titles[2], "Second");
    EXPECT_EQ(cue.performers[1], "Some Artist");
    EXPECT_EQ(result.year, 1999u);
    EXPECT_EQ(result.genre, "Rock");
    EXPECT_EQ(transcript, server.url() + "?" + QueryKey + "\r\n200 rock 0a0b0c0d Some Artist / Some Album\r\n\r\n" +
                              server.url() + "?" + ReadKey + "\r\n" + ReadReply + "--------\r\n");
    EXPECT_EQ(cddbTranscriptText(transcript), QString::fromLatin1(transcript));
}

TEST(CddbExchange, ListsOfMatchesTakeTheFirstCandidate)
{
    for (const QByteArray& status : {QByteArray("211 Found inexact matches, list follows (until terminating `.')"),
                                    QByteArray("210 Found exact matches, list follows (until terminating `.')")}) [&] {
        SCOPED_TRACE(status.toStdString());
        CannedHttpServer server;
        server.reply(QueryKey, status + "\r\nrock 0a0b0c0d Some Artist / Some Album\r\nblues 0e0f1011 Other / Disc\r\n.\r\n");
        server.reply(ReadKey, ReadReply);
        CueSheet cue = twoTrackSheet();
        CddbResult result;
        ASSERT_EQ(cddbLookup(cue, result, serverAt(server.url()), nullptr), CddbOk);
        ASSERT_EQ(server.requestLines.size(), 2);
        EXPECT_TRUE(server.requestLines[1].contains(ReadKey));
        EXPECT_EQ(cue.titles[1], "First");
    }();
}

TEST(CddbExchange, NoMatchErrorsAndBadReadsKeepTheOldTitles)
{
    struct Case {
        QByteArray query;
        QByteArray read;
        int code;
    };
    const Case cases[] = {
        {"202 No match for disc ID 05001402.\r\n", "", CddbNoMatch},
        {"500 Command syntax error: incorrect number of arguments.\r\n", "", CddbNoMatch},
        {"211 Found inexact matches, list follows (until terminating `.')\r\n.\r\n", "", CddbNoMatch},
        {"200 \r\n", "", CddbNoMatch},
        {"200 rock 0a0b0c0d Some Artist / Some Album\r\n", "401 rock 0a0b0c0d No such CD entry in database.\r\n",
         CddbNoReadReply},
        {"200 rock 0a0b0c0d Some Artist / Some Album\r\n", "", CddbNoReadReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString() + c.read.toStdString());
        CannedHttpServer server;
        server.reply(QueryKey, c.query);
        server.reply(ReadKey, c.read);
        CueSheet cue = withOldTitles();
        CddbResult result;
        EXPECT_EQ(cddbLookup(cue, result, serverAt(server.url()), nullptr), c.code);
        EXPECT_EQ(cue.titles[0], "Old Album");
        EXPECT_EQ(cue.titles[1], "Old First");
    }
    CueSheet none;
    CddbResult result;
    EXPECT_EQ(cddbLookup(none, result, serverAt("http://127.0.0.1:1/"), nullptr), CddbNoTracks);
    CueSheet cue = twoTrackSheet();
    EXPECT_EQ(cddbLookup(cue, result, serverAt(""), nullptr), CddbNoServer);
}

struct CddbHttp : ::testing::Test {
    CannedHttpServer server;
    HttpLimits limits;
    QByteArray body;
    int get(const QByteArray& path, Feedback* feedback = nullptr)
    {
        return httpGetText(QString::fromLatin1(server.url(path)), body, limits, feedback);
    }
};

TEST_F(CddbHttp, ASilentServerTimesOut)
{
    server.silent("/silent");
    limits.timeoutMs = 300;
    EXPECT_EQ(get("/silent"), HttpTimedOut);
    EXPECT_TRUE(body.isEmpty());
}

TEST_F(CddbHttp, AFloodingServerIsCutAtTheSizeCap)
{
    server.flood("/flood");
    EXPECT_EQ(get("/flood"), 1 << 20);
    EXPECT_EQ(body.size(), 1 << 20);
    EXPECT_EQ(body.count('x'), 1 << 20);
    EXPECT_LT(server.floodBytesSent, 50ll << 20); // the client stopped taking it
}

TEST_F(CddbHttp, ABrokenReplyOrAClosedPortIsBroken)
{
    server.closeMidway("/broken", "200 rock 0a0b0c0d Some");
    EXPECT_EQ(get("/broken"), HttpBroken);
    quint16 closedPort;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    EXPECT_EQ(httpGetText(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), body, limits), HttpBroken);
}

TEST_F(CddbHttp, AnErrorStatusStillGivesItsBody)
{
    server.reply("/error", "500 Internal trouble\r\n", 500);
    EXPECT_EQ(get("/error"), 22);
    EXPECT_EQ(body, QByteArray("500 Internal trouble\r\n"));
}

TEST_F(CddbHttp, NoUrlOrOneThatIsNotHttpOpensNoSession)
{
    EXPECT_EQ(httpGetText(QString(), body, limits), HttpEmptyUrl);
    EXPECT_EQ(httpGetText("ftp://127.0.0.1/x", body, limits), HttpNoSession);
    EXPECT_EQ(httpGetText("not a url", body, limits), HttpNoSession);
}

TEST_F(CddbHttp, TheUsersStopEndsAWaitWhileTheCallersEventsRun)
{
    server.silent("/silent");
    limits.timeoutMs = 60000;
    RecordingFeedback feedback;
    feedback.abortWhen = [&] { return feedback.pumps >= 2; };
    EXPECT_EQ(get("/silent", &feedback), HttpCanceled);
    EXPECT_GE(feedback.pumps, 2);
}

class CddbQueryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.Cddb_Hello = "me+here+vornelic+0.1";
        settings.Cddb_Proto = "5";
        settings.Cddb_Timeout = 1;
        state.folderBMode = false;
        state.cue = twoTrackSheet();
        state.rows.resize(4);
        for (ListRow& row : state.rows)
            row.fill("before");
    }
    Settings settings;
    ComparisonState state;
    RecordingFeedback feedback;
};

TEST_F(CddbQueryFixture, MisbehavingFirstServersFallBackToTheSecond)
{
    CannedHttpServer bad, good;
    bad.silent("/silent");
    bad.flood("/flood");
    bad.closeMidway("/broken", "200 rock 0a0b0c0d Some Artist / Some Al");
    good.reply(QueryKey, "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    good.reply(ReadKey, ReadReply);
    for (const QByteArray& path : {QByteArray("/silent"), QByteArray("/flood"), QByteArray("/broken")}) {
        SCOPED_TRACE(path.toStdString());
        settings.Cddb_Server1 = bad.url(path);
        settings.Cddb_Server2 = good.url();
        state.cue = twoTrackSheet();
        feedback.statuses.clear();
        QString transcript;
        EXPECT_EQ(queryCddb(state, settings, feedback, true, &transcript), CddbOk);
        EXPECT_THAT(feedback.statuses, ElementsAre("Querying CDDB for CD data....", "CDDB Successful"));
        EXPECT_EQ(state.cue->titles[0], "Some Album");
        // The clipboard gets the exchange with the server that answered.
        EXPECT_TRUE(transcript.startsWith(QString::fromLatin1(good.url()))) << transcript.left(80).toStdString();
    }
}

TEST_F(CddbQueryFixture, SuccessRefreshesTheBRows)
{
    CannedHttpServer server;
    server.reply(QueryKey, "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    server.reply(ReadKey, ReadReply);
    settings.Cddb_Server1 = server.url();
    ASSERT_EQ(queryCddb(state, settings, feedback, false), CddbOk);
    EXPECT_EQ(state.rows[1][1], "01_First");
    EXPECT_EQ(state.rows[3][1], "02_Second");
    const ListRow& b2 = state.rows[3];
    EXPECT_EQ(b2[3], "Some Album");
    EXPECT_EQ(b2[4], "Some Artist");
    EXPECT_EQ(b2[5], "Some Artist");
    EXPECT_EQ(b2[6], "Second");
    EXPECT_EQ(b2[9], "1999");
    EXPECT_EQ(b2[10], "Rock");
    EXPECT_EQ(b2[7], "before"); // the other columns stay
    EXPECT_EQ(state.rows[2][1], "before"); // and the A rows
}

TEST_F(CddbQueryFixture, RefreshedRowsFollowTheOffsetOfB)
{
    // With the B side shifted down by one, track 1 is in row 3.
    state.cue->titles[1] = "First";
    state.cue->titles[2] = "Second";
    state.trackOffsetB = 1;
    state.rows.assign(6, ListRow{});
    CddbResult none;
    refreshCueRows(state, none);
    EXPECT_EQ(state.rows[3][6], "First");
    EXPECT_EQ(state.rows[5][6], "Second");
    EXPECT_EQ(state.rows[3][9], QString()); // year 0 shows nothing
    EXPECT_TRUE(state.rows[1][6].isEmpty());
}

TEST_F(CddbQueryFixture, FailureLeavesTheRowsAndTheTitles)
{
    state.cue = withOldTitles();
    CannedHttpServer empty;
    empty.reply("cddb+query", "202 No match\r\n");
    settings.Cddb_Server1 = empty.url();
    settings.Cddb_Server2 = empty.url("/other");
    const auto rows = state.rows;
    feedback.statuses.clear();
    EXPECT_EQ(queryCddb(state, settings, feedback, false), CddbNoMatch);
    EXPECT_THAT(feedback.statuses, ElementsAre("Querying CDDB for CD data....", "CDDB Failed"));
    EXPECT_EQ(state.rows, rows);
    EXPECT_EQ(state.cue->titles[0], "Old Album");
    // Without a second server the first one's answer stands.
    settings.Cddb_Server2.clear();
    EXPECT_EQ(queryCddb(state, settings, feedback, false), CddbNoMatch);
    settings.Cddb_Server1.clear();
    EXPECT_EQ(queryCddb(state, settings, feedback, false), CddbNoServer);
}

TEST_F(CddbQueryFixture, StopRequestSkipsTheSecondServer)
{
    CannedHttpServer first, second;
    first.silent("/");
    second.reply(QueryKey, "200 rock 0a0b0c0d Some Artist / Some Album\r\n");
    settings.Cddb_Server1 = first.url();
    settings.Cddb_Server2 = second.url();
    feedback.abortWhen = [&] { return feedback.pumps >= 3; };
    EXPECT_EQ(queryCddb(state, settings, feedback, false), CddbNoQueryReply);
    EXPECT_TRUE(second.requestLines.isEmpty());
    EXPECT_EQ(feedback.statuses.last(), "CDDB Failed");
}
