// tunora-cli's MusicBrainz forms against the loopback stand-in; each run is a process of its
// own, so the pace between them is the one every Tunora process shares.
#include "shell/core/Settings.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

const QString kPair = "a1b2c3d4-0000-4000-8000-000000000022";

class MusicBrainzCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        SetSetting("CDDBUser", "tester@example.org");
        album = env.makeDir("album");
        ASSERT_TRUE(MakeMp3(album + "/b.mp3", 2.0));
        ASSERT_TRUE(MakeMp3(album + "/a.mp3", 1.0));
    }
    void TearDown() override
    {
        EXPECT_TRUE(server.violations().isEmpty()) << server.violations().join("\n").toStdString();
    }
    int cli(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", args, &out, &err, 60000);
    }
    TempAppEnv env;
    MusicBrainzServer server{env.root()};
    QString album;
    QByteArray out, err;
};

} // namespace

TEST_F(MusicBrainzCliTest, SearchQueryAndReadPrintWhatTheServiceKnows)
{
    ASSERT_EQ(cli({"search", "--source", "musicbrainz", "Dozen", "-", "Twelve"}), 0) << err.constData();
    EXPECT_EQ(out, "a1b2c3d4-0000-4000-8000-000000000012\tDozen Band / Twelve Songs\t2001-05-14\t12\n"
                   "a1b2c3d4-0000-4000-8000-000000000022\tPair & Band / Double Album\t1999\t5\n");

    // Two files of 1 s and 2 s in name order: 75 and 150 frames from 150.
    ASSERT_EQ(cli({"query", album, "--source", "musicbrainz"}), 0) << err.constData();
    EXPECT_EQ(out, "a1b2c3d4-0000-4000-8000-000000000022\tPair & Band / Double Album\t1999\t5\n");
    EXPECT_TRUE(server.targets().value(1).contains("?toc=1+2+")) << server.targets().value(1).toStdString();

    // Without files to match, the first medium.
    ASSERT_EQ(cli({"read", "--source", "musicbrainz", kPair}), 0) << err.constData();
    EXPECT_EQ(out, "ARTIST=Pair & Band\nALBUM=Double Album\nYEAR=1999\n1\t188\tAlpha\n2\t225\tBeta\n3\t263\tGamma\n");

    EXPECT_EQ(cli({"search", "--source", "musicbrainz", "nothing"}), 1);
    EXPECT_EQ(cli({"read", "--source", "musicbrainz", "a1b2c3d4-0000-4000-8000-0000000000ff"}), 1);
    EXPECT_TRUE(err.contains("no such release")) << err.constData();
    EXPECT_EQ(server.requests().size(), 5);
    EXPECT_EQ(server.requests().value(0)["ua"].toString(), "Tunora/4.0.77 ( tester@example.org )");

    EXPECT_EQ(cli({"search", "--source", "musicbrainz"}), 2);
    EXPECT_EQ(cli({"read", "--source", "musicbrainz", kPair, "x"}), 2);
    EXPECT_EQ(cli({"search", "--source", "elsewhere", "words"}), 2);
    EXPECT_EQ(server.requests().size(), 5);
}

TEST_F(MusicBrainzCliTest, AnAlbumTakesTheMediumWithItsNumberOfFiles)
{
    SetSetting("Pattern", "%6 - %2");
    ASSERT_EQ(cli({"album", album, "--mb", kPair, "--no-playlist"}), 0) << err.constData();
    const QStringList names = QDir(album).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, QStringList({"01 - Side Two Opener.mp3", "02 - Closer.mp3"}));
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1], translate=False)\n"
                          "print('|'.join(t[k].text[0] for k in ('TIT2','TRCK','TPE1','TALB','TYER')))",
                          album + "/02 - Closer.mp3"},
                         &tags),
              0);
    EXPECT_EQ(tags.trimmed(), QByteArray("Closer|2|Pair & Band|Double Album|1999"));

    EXPECT_EQ(cli({"album", album, "--mb", "not-an-id"}), 1);
    EXPECT_EQ(cli({"album", album, "--mb", kPair, "--read", "rock", "0a000803"}), 2);
}
