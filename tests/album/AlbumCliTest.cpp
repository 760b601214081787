#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QMap>

using namespace tunora;
using namespace tunora::test;

namespace {

// A disc of three tracks of 1, 2 and 3 seconds.
const char* const kXmcd = "# xmcd\n"
                          "#\n"
                          "# Track frame offsets:\n"
                          "#\t150\n"
                          "#\t225\n"
                          "#\t375\n"
                          "#\n"
                          "# Disc length: 8 seconds\n"
                          "#\n"
                          "DISCID=0a000803\n"
                          "DTITLE=Some Artist / Some Album\n"
                          "DYEAR=1999\n"
                          "DGENRE=Jazz\n"
                          "TTITLE0=One\n"
                          "TTITLE1=Two\n"
                          "TTITLE2=Three\n"
                          "EXTD=\n"
                          "PLAYORDER=\n";

class AlbumCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        album = env.makeDir("music/album");
        // Listed a, b, c; their lengths put them in the order b, c, a.
        ASSERT_TRUE(MakeMp3(album + "/a.mp3", 3.0));
        ASSERT_TRUE(MakeMp3(album + "/b.mp3", 1.0));
        ASSERT_TRUE(MakeMp3(album + "/c.mp3", 2.0));
        xmcd = env.root() + "/disc.xmcd";
        ASSERT_TRUE(WriteAll(xmcd, kXmcd));
        SetSetting("Pattern", "%6 - %2");
        SetSetting("Playlist", "%1 - %3");
        SetSetting("PlaylistMode", "0");
    }
    int run(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", QStringList {"album"} + args, &out, &err);
    }
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> m;
        for (const QString& f : QDir(album).entryList(QDir::Files | QDir::Hidden))
            m.insert(f, ReadAll(album + "/" + f));
        return m;
    }

    TempAppEnv env;
    QString album, xmcd;
    QByteArray out, err;
};

} // namespace

TEST_F(AlbumCliTest, ADryRunPrintsThePreviewRowsAndChangesNoByte)
{
    const auto before = snapshot();
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--sort", "optimal", "--dry-run"}), 0) << err.constData();
    EXPECT_EQ(snapshot(), before);
    // File, length, track, track length, difference, new name, why left alone.
    QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << out.constData();
    EXPECT_EQ(lines.takeLast(), album + "/Some Artist - Some Album.m3u");
    const QStringList expected[] = {{"b.mp3", "One", "0:01.00", "01 - One.mp3", ""},
                                    {"c.mp3", "Two", "0:02.00", "02 - Two.mp3", ""},
                                    {"a.mp3", "Three", "0:03.00", "03 - Three.mp3", ""}};
    for (int r = 0; r < 3; ++r) {
        const QStringList got = lines.at(r).split('\t');
        ASSERT_EQ(got.size(), 7) << lines.at(r).toStdString();
        EXPECT_EQ(QStringList({got[0], got[2], got[3], got[5], got[6]}), expected[r]);
        EXPECT_NEAR(got[4].toDouble(), FfprobeDuration(album + "/" + got[0]) - (r + 1), 0.06) << got[4].toStdString();
    }
    // It ends with what Apply would do, never with "Done.".
    EXPECT_TRUE(err.contains(("Would tag 3, rename 3 and write the playlist " + album + "/Some Artist - Some Album.m3u.")
                                 .toUtf8()))
        << err.constData();
    EXPECT_FALSE(err.contains(LanguageText(51).toUtf8())) << err.constData();
    // Without sorting, the files keep the page's order, and a taken name is marked.
    SetSetting("Pattern", "%1");
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--dry-run", "--no-playlist", "--no-v1", "--no-v2"}), 1);
    lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        const QStringList got = lines.at(r).split('\t');
        ASSERT_EQ(got.size(), 7);
        EXPECT_EQ(got.mid(5), r == 0 ? QStringList({"Some Artist.mp3", ""}) : QStringList({got[0], "name taken"}));
    }
    EXPECT_TRUE(err.contains("Would tag 0, rename 1 and write no playlist. 2 would be left alone.")) << err.constData();
    EXPECT_FALSE(err.contains(LanguageText(51).toUtf8()));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(AlbumCliTest, WithoutATerminalNothingIsAskedAndTheDefaultsAreSaid)
{
    // Standard input is a pipe here. No playlist folder set up means the album folder, as the
    // setup page's default; a playlist name already taken leaves that file alone.
    const QString playlist = album + "/Some Artist - Some Album.m3u";
    const struct {
        const char* mode;
        QByteArray there; // the playlist file before the run, if any
        QString said;
        QByteArray after;
    } rows[] = {
        {"", {}, "no playlist folder is set up: the playlist goes into the album folder", "a.mp3\r\nb.mp3\r\nc.mp3\r\n"},
        {"0", "mine\r\n", playlist + " is there already: it stays as it is, and no playlist is written", "mine\r\n"},
    };
    for (const auto& row : rows) {
        SetSetting("PlaylistMode", row.mode);
        QFile::remove(playlist);
        if (!row.there.isEmpty()) {
            ASSERT_TRUE(WriteAll(playlist, row.there));
        }
        EXPECT_EQ(run({album, "--xmcd", xmcd, "--no-rename", "--no-v1", "--no-v2"}), 0) << err.constData();
        EXPECT_TRUE(err.contains(row.said.toUtf8())) << row.mode << ": " << err.constData();
        EXPECT_FALSE(err.contains(LanguageText(49).toUtf8()) || err.contains(LanguageText(50).toUtf8()));
        EXPECT_EQ(ReadAll(playlist), row.after) << row.mode;
    }
}

TEST_F(AlbumCliTest, AppliesTheAlbumFromAnXmcdFile)
{
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--sort", "fast"}), 0) << err.constData();
    EXPECT_EQ(QDir(album).entryList(QDir::Files, QDir::Name),
              QStringList({"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3", "Some Artist - Some Album.m3u"}));
    EXPECT_EQ(ReadAll(album + "/Some Artist - Some Album.m3u"),
              QByteArray("01 - One.mp3\r\n02 - Two.mp3\r\n03 - Three.mp3\r\n"));
    // The 1-second file became track 1, tagged with the entry's genre.
    EXPECT_NEAR(FfprobeDuration(album + "/01 - One.mp3"), 1.0, 0.1);
    EXPECT_NEAR(FfprobeDuration(album + "/03 - Three.mp3"), 3.0, 0.1);
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1], translate=False)\n"
                          "print('|'.join(t[k].text[0] for k in ('TIT2','TRCK','TPE1','TALB','TYER','TCON')))",
                          album + "/02 - Two.mp3"},
                         &tags),
              0);
    EXPECT_EQ(tags.trimmed(), QByteArray("Two|2|Some Artist|Some Album|1999|Jazz"));
    EXPECT_TRUE(err.contains(LanguageText(51).toUtf8()));
}

TEST_F(AlbumCliTest, OptionsNarrowTheWork)
{
    const auto before = snapshot();
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--no-rename", "--no-playlist", "--no-v2", "--genre", "Rock"}), 0)
        << err.constData();
    EXPECT_EQ(snapshot().keys(), before.keys());
    // Only the ID3v1 tag, at the end: "TAG", the title padded to 30 bytes.
    const QByteArray a = ReadAll(album + "/a.mp3");
    EXPECT_EQ(a.left(before["a.mp3"].size()), before["a.mp3"]);
    EXPECT_EQ(a.size(), before["a.mp3"].size() + 128);
    EXPECT_EQ(a.right(128).left(33), QByteArray("TAGOne                           "));
    EXPECT_EQ(static_cast<quint8>(a.at(a.size() - 1)), 17); // Rock
}

TEST_F(AlbumCliTest, ProblemsAreReportedAndSetTheExitCode)
{
    SetSetting("Pattern", "%1");
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--no-playlist"}), 1);
    EXPECT_TRUE(err.contains(
        LanguageText(46).replace("%%1%%", album + "/Some Artist.mp3").replace("%%2%%", album + "/b.mp3").toUtf8()));
    EXPECT_EQ(QDir(album).entryList(QDir::Files, QDir::Name), QStringList({"Some Artist.mp3", "b.mp3", "c.mp3"}));

    ASSERT_TRUE(WriteAll(env.root() + "/broken.xmcd", "# nothing here\n"));
    EXPECT_EQ(run({album, "--xmcd", env.root() + "/broken.xmcd"}), 1);
    EXPECT_EQ(run({album}), 2);
    EXPECT_EQ(run({album, "--xmcd", xmcd, "--read", "rock", "0a000803"}), 2);
    EXPECT_EQ(run({album, "--xmcd", xmcd, "--sort", "best"}), 2);
    EXPECT_EQ(run({album, "--xmcd", xmcd, "--format", "xyz"}), 2);
    EXPECT_EQ(run({env.root() + "/nowhere", "--xmcd", xmcd}), 2);
}

TEST_F(AlbumCliTest, TitlesInOtherScriptsFromTheServerAreTaggedInUtf16)
{
    FreedbServer server(env.root());
    ASSERT_TRUE(server.running());
    server.useAsProxy();
    const QString disc = env.makeDir("music/disc");
    ASSERT_TRUE(MakeMp3(disc + "/1.mp3", 1.0));
    ASSERT_TRUE(MakeMp3(disc + "/2.mp3", 2.0));
    ASSERT_EQ(run({disc, "--read", "misc", "c1c1c102", "--no-playlist"}), 0) << err.constData();
    const QString first = QString::fromUtf8("01 - Ночной город.mp3"), second = QString::fromUtf8("02 - 夜の散歩.mp3");
    EXPECT_EQ(QDir(disc).entryList(QDir::Files, QDir::Name), QStringList({first, second}));
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\nfor p in sys.argv[1:]:\n"
                          "    t = ID3(p, translate=False)\n"
                          "    line = '|'.join('%d:%s' % (int(t[k].encoding), t[k].text[0]) for k in ('TIT2', 'TPE1', 'TALB', 'TCON'))\n"
                          "    sys.stdout.buffer.write((line + '\\n').encode('utf-8'))",
                          disc + "/" + first, disc + "/" + second},
                         &tags),
              0);
    // Encoding 1: UTF-16 with a byte-order mark. The genre is the entry's DGENRE, not "misc".
    EXPECT_EQ(QString::fromUtf8(tags), QString::fromUtf8("1:Ночной город|1:Звёздный путь|1:Ночной город|0:Rock\n"
                                                         "1:夜の散歩|1:Звёздный путь|1:Ночной город|0:Rock\n"));
    ASSERT_EQ(server.requestLines().size(), 1);
    EXPECT_TRUE(server.requestLines().at(0).contains("cmd=cddb+read+misc+c1c1c102&") &&
                server.requestLines().at(0).contains("&proto=6"));
}

TEST_F(AlbumCliTest, AJournalGivesNamesAndTagsBackButLeavesAFileChangedSince)
{
    ASSERT_EQ(RunProgram(SystemPython(), {"-c",
                                          "import sys\nfrom mutagen.id3 import ID3, TIT2, APIC\nt = ID3()\n"
                                          "t.add(TIT2(encoding=3, text='Old'))\n"
                                          "t.add(APIC(encoding=0, mime='image/png', type=3, data=b'\\x89PNG' * 99))\n"
                                          "t.save(sys.argv[1], v2_version=4, v1=2)",
                                          album + "/a.mp3"}),
              0);
    const auto before = snapshot();
    const QString journal = env.root() + "/journal.json";
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--no-playlist", "--journal", journal}), 0) << err.constData();
    const auto applied = snapshot();
    ASSERT_EQ(applied.keys(), QStringList({"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3"}));
    // A journal already there is never replaced, and nothing is done then.
    EXPECT_EQ(run({album, "--xmcd", xmcd, "--no-playlist", "--journal", journal}), 2);
    EXPECT_EQ(snapshot(), applied);

    // Another program changes a tag after the apply.
    QByteArray changed = applied["02 - Two.mp3"];
    changed[20] = 'Z';
    ASSERT_TRUE(WriteAll(album + "/02 - Two.mp3", changed));
    QByteArray undone;
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", journal}, &undone, &err), 1) << err.constData();
    EXPECT_EQ(QString::fromUtf8(undone), "restored\t" + album + "/a.mp3\n" + "left\t" + album +
                                             "/b.mp3\tits tags changed since they were written\n" + "restored\t" +
                                             album + "/c.mp3\n");
    auto expected = before;
    expected["b.mp3"] = changed;
    EXPECT_TRUE(snapshot() == expected);
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", env.root() + "/missing.json"}), 2);
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", "--bogus", journal}), 2);
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", journal, journal}), 2);
    EXPECT_TRUE(snapshot() == expected);
}

TEST_F(AlbumCliTest, UndoGivesBackARenameChainWithThePlaylistBeside)
{
    // Each file takes the name the one before it gives up: 1 s "02" -> "01", 2 s "03" -> "02",
    // 3 s "a" -> "03". Undone first file first, "01" would find "02" taken.
    ASSERT_TRUE(QFile::rename(album + "/b.mp3", album + "/02 - Two.mp3"));
    ASSERT_TRUE(QFile::rename(album + "/c.mp3", album + "/03 - Three.mp3"));
    const auto before = snapshot();
    const QString journal = env.root() + "/chain.json";
    ASSERT_EQ(run({album, "--xmcd", xmcd, "--journal", journal}), 0) << err.constData();
    const auto applied = snapshot();
    ASSERT_EQ(applied.keys(),
              QStringList({"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3", "Some Artist - Some Album.m3u"}));
    QByteArray undone;
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", journal}, &undone, &err), 0) << undone.constData();
    EXPECT_EQ(undone.count("restored\t"), 3) << undone.constData();
    // The journal holds the files alone: the playlist stays as the apply wrote it.
    auto expected = before;
    expected.insert("Some Artist - Some Album.m3u", applied["Some Artist - Some Album.m3u"]);
    EXPECT_EQ(snapshot().keys(), expected.keys());
    EXPECT_TRUE(snapshot() == expected);
}

TEST_F(AlbumCliTest, AFlacAlbumFromTheServerIsSortedTaggedAndUndoneByteForByte)
{
    // A disc of tracks of 2 and 3 seconds, served from a fixture made here.
    const QString fixtures = env.makeDir("fixtures/xmcd/misc");
    ASSERT_TRUE(WriteAll(fixtures + "/f1ac0002", "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\t300\n#\n"
                                                 "# Disc length: 7 seconds\n#\nDISCID=f1ac0002\n"
                                                 "DTITLE=Flac Artist / Flac Album\nDYEAR=2001\nDGENRE=Ambient\n"
                                                 "TTITLE0=Short\nTTITLE1=Long\nEXTD=\nEXTT0=\nEXTT1=\nPLAYORDER=\n"));
    FreedbServer server(env.root(), env.root() + "/fixtures");
    ASSERT_TRUE(server.running());
    server.useAsProxy();
    const QString disc = env.makeDir("music/flac");
    for (const auto& [name, seconds] : {std::pair {"a.flac", "3"}, std::pair {"b.FLAC", "2"}})
        ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", QString("sine=duration=") + seconds,
                                        "-metadata", "title=Old", "-c:a", "flac", disc + "/" + name}),
                  0);
    const auto before = [&] {
        QMap<QString, QByteArray> m;
        for (const QString& f : QDir(disc).entryList(QDir::Files))
            m.insert(f, ReadAll(disc + "/" + f));
        return m;
    };
    const auto original = before();
    const QString journal = env.root() + "/flac-journal.json";
    ASSERT_EQ(run({disc, "--read", "misc", "f1ac0002", "--format", "flac", "--sort", "fast", "--no-playlist",
                   "--journal", journal}),
              0)
        << err.constData();
    // The 2-second file is track 1: sorted by its FLAC length, renamed.
    EXPECT_EQ(QDir(disc).entryList(QDir::Files, QDir::Name), QStringList({"01 - Short.flac", "02 - Long.flac"}));
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.flac import FLAC\nfor p in sys.argv[1:]:\n    t = FLAC(p)\n"
                          "    print('|'.join(t[k][0] for k in ('title', 'tracknumber', 'tracktotal', 'artist', "
                          "'album', 'date', 'genre', 'albumartist', 'comment')))",
                          disc + "/01 - Short.flac", disc + "/02 - Long.flac"},
                         &tags),
              0);
    EXPECT_EQ(tags, QByteArray("Short|1|2|Flac Artist|Flac Album|2001|Ambient|Flac Artist|Tagged By Tunora\n"
                               "Long|2|2|Flac Artist|Flac Album|2001|Ambient|Flac Artist|Tagged By Tunora\n"));
    // The journal gives both files their names and their old bytes back.
    QByteArray undone;
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"undo", journal}, &undone, &err), 0) << err.constData();
    EXPECT_EQ(QString::fromUtf8(undone), "restored\t" + disc + "/b.FLAC\nrestored\t" + disc + "/a.flac\n");
    EXPECT_TRUE(before() == original);
}
