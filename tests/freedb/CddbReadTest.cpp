// Reading discs from the loopback CDDB server: the request, the server and script choice,
// the hello, refusals, decoding, and a read through tinyproxy.
#include "freedb/Cddb.h"

#include "freedb/WebClient.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class CddbReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        server.useAsProxy();
    }
    void TearDown() override
    {
        EXPECT_EQ(WebClient::instance().state(), 0);
        EXPECT_FALSE(IsBusy());
    }
    QString lastRequestLine() const { return server.requestLines().value(server.requestLines().size() - 1); }

    TempAppEnv env;
    FreedbServer server{env.root()};
};

} // namespace

TEST_F(CddbReadTest, ReadsTheDiscOfTheExample)
{
    DiscRecord r;
    QString error;
    ASSERT_TRUE(ReadCDDBDisc("rock", "19033503", r, &error)) << error.toStdString();
    EXPECT_EQ(r.artist, "Some Artist");
    EXPECT_EQ(r.album, "Some Album");
    EXPECT_EQ(r.year, "1999");
    ASSERT_EQ(r.tracks.size(), 3);
    EXPECT_EQ(r.tracks.at(0), (CddbTrack{"One", 20902}));
    EXPECT_EQ(r.tracks.at(1), (CddbTrack{"Two", 19118}));
    EXPECT_EQ(r.tracks.at(2), (CddbTrack{"Three", 21555}));
    EXPECT_EQ(lastRequestLine(), "GET http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=cddb+read+rock+19033503"
                                 "&hello=tunora+localhost+Tunora+4.0.77&proto=6 HTTP/1.0");
    EXPECT_FALSE(server.requests().at(0).contains("User-Email")); // no address set
}

TEST_F(CddbReadTest, EntriesAsTheServerSendsThem)
{
    struct Row {
        const char* user;
        const char* category;
        const char* discid;
        QString artist, album, year;
        QStringList titles;
        QStringList levels; // of the requests sent, in order
    } rows[] = {
        {"", "misc", "c1c1c102", QString::fromUtf8("Звёздный путь"), QString::fromUtf8("Ночной город"), "1988",
         {QString::fromUtf8("Ночной город"), QString::fromUtf8("夜の散歩")}, {"6"}},
        // Continued DTITLE and TTITLE lines, a blank line, escapes, LF line ends.
        {"", "rock", "ac0dc002", "AC/DC", "Back in Black", "1980",
         {"Bells\tand Whistles", "A Very Long Title That The Database Continues On A Second Line With A Break And A Back\\slash"},
         {"6"}},
        // An older server refuses level 6: asked again at level 5, its Latin-1 read as such.
        {"level5@example.org", "jazz", "8408700c", "Dozen Band", "Twelve Songs", "2004",
         {QString::fromUtf8("Chanson n\xc2\xb0" "1 \xc3\xa9t\xc3\xa9")}, {"6", "5"}},
    };
    for (const Row& row : rows) {
        server.clearLog();
        SetSetting("CDDBUser", row.user);
        DiscRecord r;
        QString error;
        ASSERT_TRUE(ReadCDDBDisc(row.category, row.discid, r, &error)) << row.discid << error.toStdString();
        EXPECT_EQ(r.artist, row.artist);
        EXPECT_EQ(r.album, row.album);
        EXPECT_EQ(r.year, row.year);
        QStringList titles;
        for (const CddbTrack& t : r.tracks)
            titles << t.title;
        EXPECT_EQ(titles.mid(0, row.titles.size()), row.titles);
        QStringList levels;
        for (const QString& line : server.requestLines())
            levels << line.section("&proto=", 1).section(' ', 0, 0);
        EXPECT_EQ(levels, row.levels) << row.discid;
    }
}

TEST_F(CddbReadTest, ServerAndScriptChoice)
{
    struct Row {
        const char* server;
        const char* cgi;
        const char* expectedStart;
    } rows[] = {
        {"", "", "GET http://gnudb.gnudb.org/~cddb/cddb.cgi?"},
        {"  de.cddb.tunora.example.org ", "   ", "GET http://de.cddb.tunora.example.org/~cddb/cddb.cgi?"},
        {"DE.cddb.Tunora.example.org", "", "GET http://DE.cddb.Tunora.example.org/~cddb/cddb.cgi?"},
        {"freedb.dbpoweramp.com", "", "GET http://freedb.dbpoweramp.com/~cddb/cddb.cgi?"},
        // A server the list does not name is asked as it is.
        {"cddb.other.example", "", "GET http://cddb.other.example/~cddb/cddb.cgi?"},
        {"", " /cgi-bin/cddb.cgi ", "GET http://gnudb.gnudb.org/cgi-bin/cddb.cgi?"},
    };
    for (const Row& row : rows) {
        SetSetting("FreeDBServer", row.server);
        SetSetting("CGIPath", row.cgi);
        DiscRecord r;
        EXPECT_TRUE(ReadCDDBDisc("rock", "19033503", r)) << row.server << row.cgi;
        EXPECT_TRUE(lastRequestLine().startsWith(row.expectedStart)) << lastRequestLine().toStdString();
    }
}

TEST_F(CddbReadTest, HelloCarriesTheConfiguredAddress)
{
    DiscRecord r;
    SetSetting("CDDBUser", " someone@example.org ");
    ASSERT_TRUE(ReadCDDBDisc("rock", "19033503", r));
    EXPECT_TRUE(lastRequestLine().contains("&hello=someone+example.org+Tunora+4.0.77&proto=6"))
        << lastRequestLine().toStdString();
    EXPECT_TRUE(server.requests().last().contains("\r\nUser-Email: someone@example.org\r\n"));

    // A "+" or "&" of the address cannot split the hello or add parameters.
    SetSetting("CDDBUser", "me+cddb&x=1@example.org");
    ASSERT_TRUE(ReadCDDBDisc("rock", "19033503", r));
    EXPECT_TRUE(lastRequestLine().contains("&hello=me%2Bcddb%26x%3D1+example.org+Tunora+4.0.77&proto=6"))
        << lastRequestLine().toStdString();

    // A line break in the setting cannot add header lines: no header at all.
    SetSetting("CDDBUser", "me@example.org\r\nX-Injected: 1");
    ReadCDDBDisc("rock", "19033503", r); // the hello's odd words make the server refuse
    EXPECT_FALSE(server.requests().last().contains("\nX-Injected"));
    EXPECT_FALSE(server.requests().last().contains("User-Email"));

    SetSetting("CDDBUser", "justaname");
    ASSERT_TRUE(ReadCDDBDisc("rock", "19033503", r));
    EXPECT_TRUE(lastRequestLine().contains("&hello=justaname+localhost+Tunora"));
}

TEST_F(CddbReadTest, RefusalsCarryTheServersLine)
{
    struct Row {
        const char* user;
        const char* category;
        const char* line;
    } rows[] = {
        {"", "rock", "401 rock deadbeef No such CD entry in database"},
        {"banned@example.org", "rock", "500 Unknown developer email"},
        {"refused@example.org", "rock", "403 No such user"},
        {"", "http404", "HTTP/1.0 404 Not Found"},
    };
    for (const Row& row : rows) {
        SetSetting("CDDBUser", row.user);
        DiscRecord r;
        r.artist = "before";
        r.tracks = {{"old", 1}};
        QString error, line;
        EXPECT_FALSE(ReadCDDBDisc(row.category, "deadbeef", r, &error, &line)) << row.line;
        EXPECT_EQ(line, row.line);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(r.artist, "before");
        EXPECT_TRUE(r.tracks.isEmpty());
    }
}

TEST_F(CddbReadTest, NetworkTextCannotAddParameters)
{
    DiscRecord r;
    EXPECT_FALSE(ReadCDDBDisc("rock&cmd=cddb+lscat", "19033503\r\nX: y", r));
    EXPECT_TRUE(lastRequestLine().contains("cmd=cddb+read+rock%26cmd%3Dcddb%2Blscat+19033503%0D%0AX%3A%20y&hello="))
        << lastRequestLine().toStdString();
}

TEST_F(CddbReadTest, LegacyEntryInWindows1252)
{
    DiscRecord r;
    ASSERT_TRUE(ReadCDDBDisc("misc", "b0b0b002", r));
    EXPECT_EQ(r.artist, QString::fromUtf8("Beyonc\xc3\xa9"));
    EXPECT_EQ(r.album, QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xacuro"));
    EXPECT_EQ(r.year, QDate::currentDate().toString("yyyy"));
    ASSERT_EQ(r.tracks.size(), 2);
    EXPECT_EQ(r.tracks.at(0), (CddbTrack{QString::fromUtf8("D\xc3\xa9j\xc3\xa0 vu"), 7500}));
    EXPECT_EQ(r.tracks.at(1), (CddbTrack{"Fin", 200 * 75 - 7650}));
}

TEST_F(CddbReadTest, NoConnectionIsAFailure)
{
    SetSetting("ProxyPort", "1"); // nothing listens on port 1 of the loopback
    DiscRecord r;
    QString error, line;
    EXPECT_FALSE(ReadCDDBDisc("rock", "19033503", r, &error, &line));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(line.isEmpty());
}

TEST_F(CddbReadTest, ThroughARealProxy)
{
    Tinyproxy proxy(env.root(), server.port());
    ASSERT_TRUE(proxy.running());
    proxy.useAsProxy();
    DiscRecord r;
    QString error;
    ASSERT_TRUE(ReadCDDBDisc("jazz", "8408700c", r, &error)) << error.toStdString();
    EXPECT_EQ(r.album, "Twelve Songs");
    ASSERT_EQ(r.tracks.size(), 12);
    EXPECT_EQ(r.tracks.at(0).title, QString::fromUtf8("Chanson n\xc2\xb0" "1 \xc3\xa9t\xc3\xa9"));
    for (const CddbTrack& t : r.tracks)
        EXPECT_EQ(t.frames, 13500);
}
