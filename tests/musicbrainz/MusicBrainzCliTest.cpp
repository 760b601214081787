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

namespace {

// Frames of an earlier tagger, put in by mutagen: a front cover to be replaced, a back cover,
// a comment and a user text to be kept.
const char* const kEarlierTags = R"py(
import sys
from mutagen.id3 import ID3, APIC, COMM, TXXX
for path in sys.argv[1:]:
    t = ID3()
    t.add(APIC(encoding=3, mime="image/jpeg", type=3, desc="old front", data=b"\xff\xd8\xff" + b"o" * 500))
    t.add(APIC(encoding=0, mime="image/png", type=4, desc="back", data=b"\x89PNG back"))
    t.add(COMM(encoding=1, lang="eng", desc="mood", text="calm"))
    t.add(TXXX(encoding=3, desc="CATALOG", text="PB-22"))
    t.save(path, v2_version=4)
)py";

// The frames as mutagen reads them, one line each, pictures with their bytes in hex.
const char* const kReadFrames = R"py(
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1], translate=False)
print("version", t.version[1])
for f in sorted(t.values(), key=lambda f: f.HashKey):
    if f.FrameID == "APIC":
        print("APIC", int(f.encoding), f.mime, int(f.type), repr(f.desc), f.data.hex())
    elif f.FrameID == "COMM":
        print("COMM", f.lang, f.desc, f.text[0])
    elif f.FrameID == "TXXX":
        print("TXXX", f.desc, f.text[0])
    else:
        print(f.FrameID, f.text[0])
)py";

} // namespace

TEST_F(MusicBrainzCliTest, AnAlbumTakesTheMediumWithItsNumberOfFilesAndItsFrontCover)
{
    SetSetting("Pattern", "%6 - %2");
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", kEarlierTags, album + "/a.mp3", album + "/b.mp3"}), 0);
    // A cover with bytes a text reader would stop at, behind the redirect.
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) + QByteArray(2000, '\0') + "end";
    ASSERT_TRUE(WriteAll(server.extra() + "/cover/" + kPair + ".png", png));

    ASSERT_EQ(cli({"album", album, "--mb", kPair, "--cover", "--no-playlist"}), 0) << err.constData();
    const QStringList names = QDir(album).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, QStringList({"01 - Side Two Opener.mp3", "02 - Closer.mp3"}));
    QByteArray frames;
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", kReadFrames, album + "/02 - Closer.mp3"}, &frames), 0);
    EXPECT_EQ(frames, "version 3\n"
                      "APIC 0 image/png 3 '' " + png.toHex() + "\n"
                      "APIC 0 image/png 4 'back' " + QByteArray("\x89PNG back").toHex() + "\n"
                      "COMM eng Comments Tagged By Tunora\n"
                      "COMM eng ID3v1 Comment Tagged By Tunora\n"
                      "COMM eng mood calm\n"
                      "TALB Double Album\n"
                      "TCON 12\n"
                      "TIT2 Closer\n"
                      "TPE1 Pair & Band\n"
                      "TPE2 Pair & Band\n" // the release's artist as the album artist
                      "TPOS 2/2\n"
                      "TRCK 2\n"
                      "TXXX CATALOG PB-22\n"
                      "TYER 1999\n");

    // A release without a cover tags as without the option; --cover needs a release.
    ASSERT_TRUE(QFile::remove(server.extra() + "/cover/" + kPair + ".png"));
    ASSERT_EQ(cli({"album", album, "--mb", kPair, "--cover", "--no-playlist"}), 0) << err.constData();
    EXPECT_TRUE(err.contains("no front cover")) << err.constData();
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", kReadFrames, album + "/02 - Closer.mp3"}, &frames), 0);
    EXPECT_TRUE(frames.contains("APIC 0 image/png 3 '' " + png.toHex())) << frames.constData();
    EXPECT_EQ(cli({"album", album, "--read", "rock", "0a000803", "--cover"}), 2);

    EXPECT_EQ(cli({"album", album, "--mb", "not-an-id"}), 1);
    EXPECT_EQ(cli({"album", album, "--mb", kPair, "--read", "rock", "0a000803"}), 2);
}
