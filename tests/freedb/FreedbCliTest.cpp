// tunora-cli search, read and query against the loopback CDDB server.
#include "shell/core/Settings.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class FreedbCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        server.useAsProxy(); // the settings file is shared with the program through TUNORA_REGISTRY
        SetSetting("CDDBUser", "tester@example.org");
    }
    int cli(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", args, &out, &err, 60000);
    }
    TempAppEnv env;
    FreedbServer server{env.root(), env.root() + "/extra"};
    QByteArray out, err;
};

} // namespace

TEST_F(FreedbCliTest, SearchPrintsOneLinePerResult)
{
    ASSERT_EQ(cli({"search", "Some", "Album"}), 0) << err.constData();
    EXPECT_EQ(out, "rock\t19033503\tSome Artist / Some Album\n"
                   "jazz\t8408700c\tDozen Band / Twelve Songs\n");
    EXPECT_TRUE(server.requestLines().value(2).contains("words=Some+Album&"));

    // "Artist - Album": the search command alone.
    server.clearLog();
    ASSERT_EQ(cli({"search", "Some Artist - Some Album"}), 0) << err.constData();
    EXPECT_EQ(out, "rock\t19033503\tSome Artist / Some Album\n"
                   "blues\t0000b10e\tSome Artist / Some Album (Live)\n");
    EXPECT_EQ(server.requests().size(), 1);

    EXPECT_EQ(cli({"search", "gnudbonly"}), 0);
    EXPECT_EQ(out.count('\n'), 3);
    EXPECT_TRUE(out.startsWith("rock\t19033503\tSome Artist / Some Album\n"));

    EXPECT_EQ(cli({"search", "nothing"}), 1);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(err.isEmpty());

    EXPECT_EQ(cli({"search"}), 2);
}

TEST_F(FreedbCliTest, ReadPrintsTheRecord)
{
    ASSERT_EQ(cli({"read", "rock", "19033503"}), 0) << err.constData();
    EXPECT_EQ(out, "ARTIST=Some Artist\n"
                   "ALBUM=Some Album\n"
                   "YEAR=1999\n"
                   "1\t20902\tOne\n"
                   "2\t19118\tTwo\n"
                   "3\t21555\tThree\n");
    const QByteArray record = out;

    EXPECT_EQ(cli({"read", "rock", "deadbeef"}), 1);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("401 rock deadbeef No such CD entry in database")) << err.constData();

    // The default source named, or options after the words: the same record.
    ASSERT_EQ(cli({"read", "rock", "--source", "CDDB", "19033503"}), 0) << err.constData();
    EXPECT_EQ(out, record);

    EXPECT_EQ(cli({"read", "rock"}), 2);
    EXPECT_EQ(cli({"read", "rock", "19033503", "extra"}), 2);
    EXPECT_EQ(cli({"read", "--bogus", "rock", "19033503"}), 2);
    EXPECT_TRUE(err.contains("usage: tunora-cli read")) << err.constData();
    ASSERT_EQ(cli({"read", "--help"}), 0);
    EXPECT_TRUE(out.contains("--source <cddb|musicbrainz|acoustid>")) << out.constData();
    // Both forms of the help table, the second introduced by "or:".
    EXPECT_TRUE(out.startsWith("usage: tunora-cli read [--source cddb] [--timeout SECONDS] CATEGORY DISCID\n"
                               "   or: tunora-cli read --source musicbrainz RELEASE-ID\n"))
        << out.constData();
}

TEST_F(FreedbCliTest, AnAlbumTakesItsEntryByCategoryAndDiscId)
{
    const QString album = env.makeDir("album");
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        ASSERT_TRUE(MakeMp3(album + "/" + name, 1.0));
    SetSetting("Pattern", "%6 - %2");
    ASSERT_EQ(cli({"album", album, "--dry-run", "--read", "rock", "19033503", "--no-playlist"}), 0) << err.constData();
    // The dry run's rows: the file is column 1, its new name column 6.
    QStringList renames;
    for (const QString& line : QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts))
        renames << line.section('\t', 0, 0) + " > " + line.section('\t', 5, 5);
    EXPECT_EQ(renames, QStringList({"a.mp3 > 01 - One.mp3", "b.mp3 > 02 - Two.mp3", "c.mp3 > 03 - Three.mp3"}));
    // The option takes two words; the folder stays a word of its own.
    EXPECT_EQ(cli({"album", album, "--read", "rock"}), 2);
    EXPECT_EQ(cli({"album", "--read", "rock", "19033503"}), 2);
    ASSERT_EQ(cli({"album", "--help"}), 0);
    EXPECT_TRUE(out.contains("--read <CATEGORY DISCID>")) << out.constData();
}

TEST_F(FreedbCliTest, ASilentServerEndsTheCommandAfterTimeout)
{
    SetSetting("CDDBUser", "silent@example.org"); // the server reads the request and never answers
    const QString album = env.makeDir("album");
    ASSERT_TRUE(MakeMp3(album + "/01.mp3", 1.0));
    const QList<QStringList> commands = {{"search", "--timeout", "2", "Some", "Album"},
                                         {"read", "rock", "19033503", "--timeout", "2"},
                                         {"query", "--timeout", "2", album}};
    for (const QStringList& args : commands) {
        server.clearLog();
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(cli(args), 1) << args.join(' ').toStdString();
        EXPECT_LT(t.elapsed(), 20000);
        EXPECT_TRUE(err.contains("no answer from the server for 2 seconds")) << err.constData();
        EXPECT_EQ(server.requests().size(), 1);
    }
    for (const char* bad : {"0", "x", "-1"})
        EXPECT_EQ(cli({"read", "--timeout", bad, "rock", "19033503"}), 2) << bad;
    EXPECT_EQ(cli({"search", "words", "--timeout"}), 2);
}

TEST_F(FreedbCliTest, QueryFindsTheDiscOfAFolder)
{
    const QString album = env.makeDir("album");
    ASSERT_TRUE(MakeMp3(album + "/02.mp3", 2.0));
    ASSERT_TRUE(MakeMp3(album + "/01.mp3", 3.0));
    ASSERT_TRUE(WriteAll(album + "/cover.jpg", "not audio"));

    // No fixture for this identifier: the server answers "202 No match found".
    EXPECT_EQ(cli({"query", album}), 1) << err.constData();
    ASSERT_EQ(server.requestLines().size(), 1);
    const QString line = server.requestLines().at(0);
    // Two tracks in name order, the first at frame 150.
    EXPECT_TRUE(line.contains(QRegularExpression("cmd=cddb\\+query\\+[0-9a-f]{8}\\+2\\+150\\+3[0-9]{2}\\+[0-9]+&hello=")))
        << line.toStdString();
    const QString id = line.section("cddb+query+", 1).left(8);

    QDir().mkpath(env.root() + "/extra/query");
    ASSERT_TRUE(WriteAll(env.root() + "/extra/query/" + id, "200 rock 19033503 Some Artist / Some Album\r\n"));
    ASSERT_EQ(cli({"query", album, "--format", "mp3"}), 0) << err.constData();
    EXPECT_EQ(out, "rock\t19033503\tSome Artist / Some Album\n");

    EXPECT_EQ(cli({"query", env.makeDir("empty")}), 1);
    EXPECT_EQ(cli({"query"}), 2);
    EXPECT_EQ(cli({"query", album, "--format"}), 2);
    EXPECT_EQ(cli({"query", album, "--source", "elsewhere"}), 2);
}
