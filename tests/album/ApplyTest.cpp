#include "album/AlbumApply.h"
#include "album/AlbumSession.h"
#include "album/SeamApplyTalk.h"
#include "shell/core/Genres.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/Mp3Fixtures.h"
#include "tags/Journal.h"
#include "tests/common/TestSupport.h"

#include <QDate>
#include <QDir>
#include <QHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

// What mutagen reads from a file: the ID3v2 frames as written (no translation to 2.4) and
// the ID3v1 fields as "v1:" + frame.
QJsonObject ReadTags(const QString& path)
{
    static const char* const kScript = R"(
import sys, json
from mutagen.id3 import ID3, ParseID3v1
out = {}
try:
    t = ID3(sys.argv[1], translate=False)
    out['version'] = '2.%d' % t.version[1]
    for k in ('TIT2', 'TPE1', 'TALB', 'TYER', 'TCON', 'TRCK'):
        if k in t:
            out[k] = t[k].text[0]
    c = t.getall('COMM')
    if c:
        out['COMM'] = c[0].text[0]
except Exception as e:
    out['error'] = str(e)
data = open(sys.argv[1], 'rb').read()
v1 = ParseID3v1(data[-128:]) if len(data) >= 128 else None
for k, f in (v1 or {}).items():
    out['v1:' + k] = str(f)
print(json.dumps(out))
)";
    QByteArray out;
    EXPECT_EQ(RunProgram(SystemPython(), {"-c", kScript, path}, &out), 0);
    return QJsonDocument::fromJson(out).object();
}

class ApplyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        source = new QTemporaryDir;
        ASSERT_TRUE(MakeMp3(source->path() + "/tone.mp3", 1.0)) << "lame is needed";
    }
    static void TearDownTestSuite()
    {
        delete source;
        source = nullptr;
    }

    void SetUp() override
    {
        LoadGenreTable(env.appDir() + "/styles.dat");
        album = env.makeDir("music/album");
        s.path = album;
        s.ext = "MP3";
        s.namingPattern = "%6 - %2";
        s.artist = " Artist ";
        s.album = "Album";
        s.year = "1999";
        s.genre = "Rock";
        SetSetting("Playlist", "%1 - %3");
        SetSetting("PlaylistMode", "0");
    }

    // Real MP3 files under the given names, listed in that order, with one title per file.
    void files(const QStringList& names, const QStringList& titles = {})
    {
        QStringList list;
        for (const QString& n : names) {
            if (n != kFakeTrack) {
                ASSERT_TRUE(QFile::copy(source->path() + "/tone.mp3", album + "/" + n)) << n.toStdString();
            }
            list << n;
        }
        s.setFiles(list);
        s.fetched.clear();
        const QStringList t = titles.isEmpty() ? QStringList({"One", "Two", "Three", "Four"}).mid(0, names.size()) : titles;
        for (int i = 0; i < t.size(); ++i)
            s.fetched.append({t[i], 1000});
    }
    QStringList onDisk(const QString& folder = {}) const
    {
        QStringList l = QDir(folder.isEmpty() ? album : folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        return l;
    }
    QString t(int n) const { return LanguageText(n); }
    // The closing message with its line of counts.
    QString done(int tagged, int renamed, int leftAlone, bool playlist) const
    {
        return t(51) + QStringLiteral("\nTagged: %1, renamed: %2, left alone: %3, playlist written: %4")
                           .arg(tagged)
                           .arg(renamed)
                           .arg(leftAlone)
                           .arg(t(playlist ? 0 : 1));
    }

    static QTemporaryDir* source;
    TempAppEnv env;
    ScriptedMessages messages;
    SeamApplyTalk talk; // the album page's: the scripted message boxes answer
    AlbumSession s;
    QString album;
    ApplyOptions all {true, true, true, true, false};
};

QTemporaryDir* ApplyTest::source = nullptr;

} // namespace

TEST_F(ApplyTest, NoOptionChangesNothing)
{
    files({"a.mp3"});
    const ApplyResult r = ApplyAlbum(s, ApplyOptions {}, talk);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(messages.texts, QStringList({t(168)}));
    EXPECT_EQ(onDisk(), QStringList({"a.mp3"}));
}

TEST_F(ApplyTest, TagsRenamesAndListsTheAlbum)
{
    files({"c.mp3", "a.mp3", "b.mp3"});
    const QByteArray audio = ReadAll(album + "/a.mp3");
    bool busyDuring = false;
    int calls = 0;
    const ApplyResult r = ApplyAlbum(s, all, talk, [&](bool running) {
        ++calls;
        if (running)
            busyDuring = true;
    });
    EXPECT_TRUE(busyDuring);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(messages.texts, QStringList({t(51) + "\nTagged: 3, renamed: 3, left alone: 0, playlist written: Yes"}));
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(onDisk(), QStringList({"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3", "Artist - Album.m3u"}));
    EXPECT_EQ(s.fileNames(), QStringList({"01 - One.mp3", "02 - Two.mp3", "03 - Three.mp3"}));
    EXPECT_EQ(s.undo, QStringList({"c.mp3", "a.mp3", "b.mp3"}));
    EXPECT_EQ(ReadAll(album + "/Artist - Album.m3u"), QByteArray("01 - One.mp3\r\n02 - Two.mp3\r\n03 - Three.mp3\r\n"));
    EXPECT_EQ(r.playlistPath, album + "/Artist - Album.m3u");
    EXPECT_EQ(r.plan, QStringList({"c.mp3\t01 - One.mp3", "a.mp3\t02 - Two.mp3", "b.mp3\t03 - Three.mp3"}));

    const QJsonObject tags = ReadTags(album + "/02 - Two.mp3");
    EXPECT_EQ(tags["version"].toString(), QString("2.3"));
    EXPECT_EQ(tags["TIT2"].toString(), QString("Two"));
    EXPECT_EQ(tags["TRCK"].toString(), QString("2"));
    EXPECT_EQ(tags["TPE1"].toString(), QString("Artist"));
    EXPECT_EQ(tags["TALB"].toString(), QString("Album"));
    EXPECT_EQ(tags["TYER"].toString(), QString("1999"));
    EXPECT_EQ(tags["TCON"].toString(), QString("Rock"));
    EXPECT_EQ(tags["COMM"].toString(), QString("Tagged By Tunora"));
    EXPECT_EQ(tags["v1:TIT2"].toString(), QString("Two"));
    EXPECT_EQ(tags["v1:TRCK"].toString(), QString("2"));
    EXPECT_EQ(tags["v1:TCON"].toString(), QString("17")); // the genre byte of Rock
    // The audio is carried over whole, between the two tags.
    const QByteArray tagged = ReadAll(album + "/02 - Two.mp3");
    EXPECT_TRUE(tagged.contains(audio.mid(audio.size() / 4, 4096)));
}

TEST_F(ApplyTest, TwoTracksWithOneNewNameTheSecondKeepsItsName)
{
    s.namingPattern = "%1";
    files({"a.mp3", "b.mp3"});
    const ApplyResult r = ApplyAlbum(s, {true, false, false, false, false}, talk);
    EXPECT_EQ(onDisk(), QStringList({"Artist.mp3", "b.mp3"}));
    EXPECT_EQ(messages.texts, QStringList({t(46).replace("%%1%%", album + "/Artist.mp3").replace("%%2%%", album + "/b.mp3"),
                                           done(0, 1, 1, false)}));
    EXPECT_EQ(s.fileNames(), QStringList({"Artist.mp3", "b.mp3"}));
    EXPECT_EQ(r.failures, 1);
}

TEST_F(ApplyTest, ALetterCaseChangeIsARenameButNeverOverAnotherFile)
{
    s.namingPattern = "%2";
    files({"track one.mp3", "Track Two.mp3"}, {"Track One", "Track Two"});
    ApplyAlbum(s, {true, false, false, false, false}, talk);
    EXPECT_EQ(messages.texts, QStringList({done(0, 1, 0, false)})); // the second already carries its name
    EXPECT_EQ(onDisk(), QStringList({"Track One.mp3", "Track Two.mp3"}));

    // Here both spellings can exist side by side: the other file is left alone.
    messages.texts.clear();
    files({"x.mp3"}, {"X"});
    ASSERT_TRUE(WriteAll(album + "/X.mp3", "someone else's"));
    s.setFiles({"x.mp3"});
    ApplyAlbum(s, {true, false, false, false, false}, talk);
    EXPECT_EQ(ReadAll(album + "/X.mp3"), QByteArray("someone else's"));
    EXPECT_TRUE(QFile::exists(album + "/x.mp3"));
    EXPECT_EQ(messages.texts, QStringList({t(169).replace("%%FIC%%", album + "/x.mp3"), done(0, 0, 1, false)}));
}

TEST_F(ApplyTest, AYearOfTwoDigitsBecomesTheCurrentYear)
{
    s.year = " 03 ";
    s.namingPattern = "%4 %2";
    files({"a.mp3"});
    ApplyAlbum(s, {true, false, false, true, false}, talk);
    const QString year = QDate::currentDate().toString("yyyy");
    EXPECT_EQ(s.year, year);
    EXPECT_EQ(onDisk(), QStringList({year + " One.mp3"}));
    EXPECT_EQ(ReadTags(album + "/" + year + " One.mp3")["TYER"].toString(), year);
}

TEST_F(ApplyTest, OtherFormatsGetALowerCaseExtensionAndNoTags)
{
    s.ext = "WMA";
    ASSERT_TRUE(WriteAll(album + "/Song.WMA", "not an mp3"));
    s.setFiles({"Song.WMA"});
    s.fetched = {{"One", 1000}};
    // The page hands the ID3 options as disabled for this format.
    ApplyAlbum(s, {true, false, false, false, false}, talk);
    EXPECT_EQ(onDisk(), QStringList({"01 - One.wma"}));
    EXPECT_EQ(ReadAll(album + "/01 - One.wma"), QByteArray("not an mp3"));
}

TEST_F(ApplyTest, AFlacFileGetsItsOwnTagsAndUndoGivesItsBytesBack)
{
    s.ext = "FLAC";
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=duration=1", "-metadata", "composer=Kept",
                                    "-c:a", "flac", album + "/a.flac"}),
              0);
    ASSERT_TRUE(WriteAll(album + "/b.flac", "no audio at all"));
    const QByteArray before = ReadAll(album + "/a.flac");
    s.setFiles({"a.flac", "b.flac"});
    s.fetched = {{"One", 75, "Guest"}, {"Two", 75}};
    s.discNumber = 2;
    s.discCount = 3;
    s.frontCover = QByteArray("\x89PNG\r\n\x1a\n" "cover", 13);
    ApplyOptions o;
    o.rename = o.tags = o.embedCover = true;
    const ApplyResult r = ApplyAlbum(s, o, talk);
    EXPECT_EQ(r.tagged, 1);
    EXPECT_EQ(r.failures, 1);
    EXPECT_EQ(r.rows.at(1).leftAlone, "tags not written");
    EXPECT_EQ(onDisk(), QStringList({"01 - One.flac", "02 - Two.flac"}));
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.flac import FLAC\nt = FLAC(sys.argv[1])\n"
                          "print('|'.join(t[k][0] for k in ('title', 'tracknumber', 'tracktotal', 'artist', 'albumartist', "
                          "'discnumber', 'disctotal', 'genre', 'composer')), t.pictures[0].mime, t.pictures[0].type)",
                          album + "/01 - One.flac"},
                         &tags),
              0);
    EXPECT_EQ(tags, QByteArray("One|1|2|Guest|Artist|2|3|Rock|Kept image/png 3\n"));
    s.undoAvailable = true;
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_EQ(onDisk(), QStringList({"a.flac", "b.flac"}));
    EXPECT_TRUE(ReadAll(album + "/a.flac") == before);
}

TEST_F(ApplyTest, AFakeTrackHoldsItsNumberAndGetsNoPlaylistLine)
{
    files({"a.mp3", kFakeTrack, "b.mp3"});
    ApplyAlbum(s, all, talk);
    EXPECT_EQ(s.fileNames(), QStringList({"01 - One.mp3", kFakeTrack, "03 - Three.mp3"}));
    EXPECT_EQ(s.undo, QStringList({"a.mp3", kFakeTrack, "b.mp3"}));
    EXPECT_EQ(ReadAll(album + "/Artist - Album.m3u"), QByteArray("01 - One.mp3\r\n03 - Three.mp3\r\n"));
    EXPECT_EQ(ReadTags(album + "/03 - Three.mp3")["TRCK"].toString(), QString("3"));
}

TEST_F(ApplyTest, UnequalCountsWriteNothingThePlaylistNeither)
{
    files({"b.mp3", "a.mp3"}, {"One"});
    const QByteArray before = ReadAll(album + "/a.mp3");
    const ApplyResult r = ApplyAlbum(s, {false, true, false, false, false}, talk);
    // Said once, and no "Done." after it: nothing was done.
    EXPECT_EQ(messages.texts, QStringList({t(48)}));
    EXPECT_FALSE(r.somethingDone);
    EXPECT_EQ(onDisk(), QStringList({"a.mp3", "b.mp3"}));
    EXPECT_EQ(ReadAll(album + "/a.mp3"), before);
    EXPECT_TRUE(s.undo.isEmpty());
}

TEST_F(ApplyTest, ACompilationTagsEachTracksArtistAndTheAlbumArtist)
{
    files({"a.mp3", "b.mp3"});
    s.fetched[0].artist = "Ann Artist";
    s.artist = "Various Artists";
    s.genre.clear(); // the source named none
    s.discNumber = 2; // the medium's place in its release: TPOS
    s.discCount = 3;
    ApplyAlbum(s, {false, false, true, true, false}, talk);
    QByteArray out;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\n"
                          "for f in sys.argv[1:]:\n"
                          "    t = ID3(f, load_v1=False)\n"
                          "    print(t['TPE1'].text[0], '|', t['TPE2'].text[0], '|', 'TCON' in t, t['TPOS'].text[0])",
                          album + "/a.mp3", album + "/b.mp3"},
                         &out),
              0);
    EXPECT_EQ(QString::fromUtf8(out),
              "Ann Artist | Various Artists | False 2/3\nVarious Artists | Various Artists | False 2/3\n");
    // ID3v1 keeps its genre byte as ever.
    EXPECT_EQ(ReadTags(album + "/a.mp3")["v1:TCON"].toString(), QString::number(GenreByteForName(QString())));
}

TEST_F(ApplyTest, ThePlaylistGoesWhereTheModeSays)
{
    files({"a.mp3"});
    SetSetting("PlaylistMode", "1");
    ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(ReadAll(env.root() + "/music/Artist - Album.m3u"), QByteArray("album/a.mp3\r\n"));

    const QString lists = env.makeDir("lists");
    SetSetting("PlaylistMode", "2" + lists);
    ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(ReadAll(lists + "/Artist - Album.m3u"), QByteArray("../music/album/a.mp3\r\n"));

    // A fixed folder that is gone is asked about like a mode never set up: Yes gives the
    // album folder, No no playlist.
    messages.texts.clear();
    SetSetting("PlaylistMode", "2" + env.root() + "/gone");
    messages.answers = {MsgAnswer::Yes};
    ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(messages.texts, QStringList({t(49), done(0, 0, 0, true)}));
    EXPECT_EQ(ReadAll(album + "/Artist - Album.m3u"), QByteArray("a.mp3\r\n"));

    messages.texts.clear();
    SetSetting("PlaylistMode", "");
    QFile::remove(album + "/Artist - Album.m3u");
    const ApplyResult r = ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(messages.texts, QStringList({t(49), done(0, 0, 0, false)}));
    EXPECT_FALSE(QFile::exists(album + "/Artist - Album.m3u"));
    EXPECT_TRUE(r.playlistPath.isEmpty());
}

TEST(PlaylistFolder, ByTheFirstCharacterOfTheMode)
{
    bool configured = true;
    EXPECT_EQ(PlaylistFolder("", "/m/a", &configured), QString());
    EXPECT_FALSE(configured);
    EXPECT_EQ(PlaylistFolder("0/x", "/m/a", &configured), QString("/m/a/"));
    EXPECT_TRUE(configured);
    EXPECT_EQ(PlaylistFolder("z", "/m/a"), QString("/m/a/"));
    EXPECT_EQ(PlaylistFolder("1", "/music/rock/album"), QString("/music/rock/"));
    EXPECT_EQ(PlaylistFolder("1", "/album"), QString()); // directly below the root
    EXPECT_EQ(PlaylistFolder("2/", "/m/a"), QString("/"));
    EXPECT_EQ(PlaylistFolder("2", "/m/a"), QString());
    EXPECT_EQ(PlaylistFolder("7", "/m/a"), QString());
}

TEST_F(ApplyTest, AnExistingPlaylistIsReplacedOnlyOnYes)
{
    files({"a.mp3"});
    ASSERT_TRUE(WriteAll(album + "/Artist - Album.m3u", "mine\r\n"));
    ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(messages.texts, QStringList({t(50), done(0, 0, 0, false)}));
    EXPECT_EQ(ReadAll(album + "/Artist - Album.m3u"), QByteArray("mine\r\n"));
    messages.answers = {MsgAnswer::Yes};
    ApplyAlbum(s, {false, true, false, false, false}, talk);
    EXPECT_EQ(ReadAll(album + "/Artist - Album.m3u"), QByteArray("a.mp3\r\n"));
    // No temporary file is left behind.
    EXPECT_EQ(onDisk(), QStringList({"Artist - Album.m3u", "a.mp3"}));
}

TEST_F(ApplyTest, AVanishedFileIsReportedAndTheNextOneHandled)
{
    files({"a.mp3", "b.mp3", "c.mp3"});
    QFile::remove(album + "/a.mp3");
    // A link whose file went is as gone as the file, not read-only.
    QFile::remove(album + "/b.mp3");
    ASSERT_TRUE(QFile::link(album + "/gone.mp3", album + "/b.mp3"));
    const ApplyResult r = ApplyAlbum(s, all, talk);
    ASSERT_EQ(messages.texts.size(), 3);
    EXPECT_EQ(messages.texts[0], album + "/a.mp3: " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(messages.texts[1], album + "/b.mp3: " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(onDisk(), QStringList({"03 - Three.mp3", "Artist - Album.m3u"}));
    EXPECT_EQ(r.failures, 2);
}

TEST_F(ApplyTest, ANameThatWouldHideTheFileIsNotGiven)
{
    s.namingPattern = "%2";
    // An empty title leaves no name; a title's leading dots are dropped from the name.
    files({"a.mp3", "b.mp3"}, {"", "...and more"});
    const ApplyResult r = ApplyAlbum(s, {true, false, false, false, false}, talk);
    EXPECT_EQ(onDisk(), QStringList({"a.mp3", "and more.mp3"}));
    EXPECT_EQ(messages.texts, QStringList({t(169).replace("%%FIC%%", album + "/a.mp3"), done(0, 1, 1, false)}));
    EXPECT_EQ(r.failures, 1);
}

TEST_F(ApplyTest, AReadOnlyFileIsNeitherTaggedNorRenamed)
{
    // No write bit at all: read-only whoever runs the program, root too.
    files({"a.mp3", "b.mp3"});
    QFile::setPermissions(album + "/a.mp3", QFileDevice::ReadOwner);
    const QByteArray before = ReadAll(album + "/a.mp3");
    ApplyAlbum(s, {true, false, true, true, false}, talk);
    EXPECT_EQ(messages.texts.value(0), t(47).replace("%%1%%", album + "/a.mp3"));
    EXPECT_EQ(ReadAll(album + "/a.mp3"), before);
    EXPECT_TRUE(QFile::exists(album + "/02 - Two.mp3"));
}

TEST_F(ApplyTest, ADryRunChangesNoByte)
{
    s.namingPattern = "%1";
    files({"a.mp3", "b.mp3", "c.mp3"});
    QFile::rename(album + "/c.mp3", album + "/Artist.mp3x"); // not in the way
    s.setFiles({"a.mp3", "b.mp3"});
    s.fetched = {{"One", 1}, {"Two", 2}};
    const QByteArray a = ReadAll(album + "/a.mp3");
    const ApplyResult r = ApplyAlbum(s, {true, true, true, true, true}, talk);
    EXPECT_EQ(onDisk(), QStringList({"Artist.mp3x", "a.mp3", "b.mp3"}));
    EXPECT_EQ(ReadAll(album + "/a.mp3"), a);
    // The plan foresees the clash of the second file with the first's new name.
    EXPECT_EQ(r.plan, QStringList({"a.mp3\tArtist.mp3", "b.mp3\tb.mp3"}));
    EXPECT_EQ(messages.texts.value(0), t(46).replace("%%1%%", album + "/Artist.mp3").replace("%%2%%", album + "/b.mp3"));
    EXPECT_EQ(r.playlistPath, album + "/Artist - Album.m3u");
}

TEST_F(ApplyTest, UndoGivesTheNamesAndTagsBack)
{
    s.namingPattern = "%2";
    files({"one.mp3", kFakeTrack, "x.mp3", "Four.mp3", "five.mp3"}, {"One", "Two", "Three", "Four", "Five"});
    // Old tags: mutagen's ID3v2.4 with a picture and an ID3v1 tag; an ID3v1 tag alone.
    const char kOldTags[] = R"PY(
import sys
from mutagen.id3 import ID3, TIT2, TPE2, APIC
t = ID3()
t.add(TIT2(encoding=3, text="Old \u00e9"))
t.add(TPE2(encoding=3, text="Band"))
t.add(APIC(encoding=3, mime="image/png", type=3, desc="c", data=b"\x89PNG" * 500))
t.save(sys.argv[1], v2_version=4, v1=2)
open(sys.argv[2], "ab").write(b"TAG" + b"Old title".ljust(124, b"\0") + b"\xff")
)PY";
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", kOldTags, album + "/one.mp3", album + "/five.mp3"}), 0);
    QHash<QString, QByteArray> before;
    for (const QString& name : onDisk())
        before[name] = ReadAll(album + "/" + name);
    ApplyAlbum(s, {true, false, true, true, false}, talk);
    EXPECT_EQ(s.fileNames(), QStringList({"One.mp3", kFakeTrack, "Three.mp3", "Four.mp3", "Five.mp3"}));
    ASSERT_NE(ReadAll(album + "/Four.mp3"), before["Four.mp3"]);
    s.undoAvailable = true;
    // Meanwhile another program creates a file under x.mp3's old name and changes a tag.
    ASSERT_TRUE(WriteAll(album + "/x.mp3", "new"));
    QByteArray changed = ReadAll(album + "/Five.mp3");
    changed[changed.size() - 100] = 'Z';
    ASSERT_TRUE(WriteAll(album + "/Five.mp3", changed));
    messages.texts.clear();
    EXPECT_EQ(UndoAlbum(s, talk), 2);
    EXPECT_EQ(messages.texts,
              QStringList({t(46).replace("%%1%%", album + "/x.mp3").replace("%%2%%", album + "/Three.mp3"),
                           "These files keep the tags they have now:\n" + album +
                               "/five.mp3: its tags changed since they were written"}));
    EXPECT_EQ(s.fileNames(), QStringList({"one.mp3", kFakeTrack, "Three.mp3", "Four.mp3", "five.mp3"}));
    EXPECT_EQ(onDisk(), QStringList({"Four.mp3", "Three.mp3", "five.mp3", "one.mp3", "x.mp3"}));
    EXPECT_TRUE(ReadAll(album + "/one.mp3") == before["one.mp3"]);
    EXPECT_TRUE(ReadAll(album + "/Three.mp3") == before["x.mp3"]); // its name taken, its tags back
    EXPECT_TRUE(ReadAll(album + "/Four.mp3") == before["Four.mp3"]);
    EXPECT_TRUE(ReadAll(album + "/five.mp3") == changed);
    EXPECT_EQ(ReadAll(album + "/x.mp3"), QByteArray("new"));
    EXPECT_FALSE(s.undoAvailable);
}

TEST_F(ApplyTest, UndoGivesANameBackAfterTheFileThatTookItOver)
{
    // The second file takes the name the first one gave up: undone last file first, every
    // name comes back.
    s.namingPattern = "%2";
    files({"Intro.mp3", "b.mp3"}, {"Prelude", "Intro"});
    const QByteArray intro = ReadAll(album + "/Intro.mp3"), b = ReadAll(album + "/b.mp3");
    ApplyAlbum(s, {true, false, false, false, false}, talk);
    ASSERT_EQ(s.fileNames(), QStringList({"Prelude.mp3", "Intro.mp3"}));
    s.undoAvailable = true;
    messages.texts.clear();
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('|').toStdString();
    EXPECT_EQ(s.fileNames(), QStringList({"Intro.mp3", "b.mp3"}));
    EXPECT_TRUE(ReadAll(album + "/Intro.mp3") == intro);
    EXPECT_TRUE(ReadAll(album + "/b.mp3") == b);
}

TEST_F(ApplyTest, UndoTakesBackThePlaylistWhileItIsAsApplyLeftIt)
{
    files({"a.mp3"});
    const QString m3u = album + "/Artist - Album.m3u";
    const struct {
        const char* before; // the playlist there before Apply (nullptr: none)
        const char* edit;   // what another program writes into it after Apply (nullptr: nothing)
        const char* after;  // the playlist after Undo (nullptr: none)
        int failures;
    } rows[] = {
        {nullptr, nullptr, nullptr, 0},     // removed
        {"mine\r\n", nullptr, "mine\r\n", 0}, // put back
        {nullptr, "edited\r\n", "edited\r\n", 1},
        {"mine\r\n", "edited\r\n", "edited\r\n", 1},
    };
    for (const auto& r : rows) {
        QFile::remove(m3u);
        if (r.before) {
            ASSERT_TRUE(WriteAll(m3u, r.before));
        }
        messages.answers = {MsgAnswer::Yes};
        ApplyAlbum(s, {false, true, false, false, false}, talk);
        ASSERT_EQ(ReadAll(m3u), QByteArray("a.mp3\r\n"));
        if (r.edit) {
            ASSERT_TRUE(WriteAll(m3u, r.edit));
        }
        messages.texts.clear();
        EXPECT_EQ(UndoAlbum(s, talk), r.failures) << "row " << (&r - rows);
        EXPECT_EQ(QFile::exists(m3u), r.after != nullptr);
        if (r.after) {
            EXPECT_EQ(ReadAll(m3u), QByteArray(r.after));
        }
        EXPECT_EQ(messages.texts.size(), r.failures);
        EXPECT_EQ(onDisk().size(), r.after ? 2 : 1) << "no temporary file left";
    }
    // A second Undo has nothing more to take back.
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_EQ(ReadAll(m3u), QByteArray("edited\r\n"));
}

TEST_F(ApplyTest, UndoAfterASkippedFilePassTouchesNothing)
{
    files({"b.mp3", "a.mp3"}, {"One"});
    ApplyAlbum(s, {true, true, false, false, false}, talk);
    ASSERT_TRUE(s.undo.isEmpty());
    messages.texts.clear();
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(s.fileNames(), QStringList({"b.mp3", "a.mp3"}));
}

TEST_F(ApplyTest, ApplyAndUndoAreRunsOfTheWriteJournalWhichMustBeWritable)
{
    files({"b.mp3", "a.mp3"});
    QHash<QString, QByteArray> before;
    for (const QString& name : onDisk())
        before[name] = ReadAll(album + "/" + name);
    // A journal that cannot be written: nothing is touched, and the message says why.
    tags::SetJournalPath(env.root() + "/no/such/folder/write.journal");
    const ApplyResult refused = ApplyAlbum(s, all, talk);
    tags::SetJournalPath({});
    EXPECT_EQ(refused.failures, 1);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith("Nothing was changed: the write journal cannot be written"))
        << messages.texts[0].toStdString();
    EXPECT_EQ(onDisk(), QStringList({"a.mp3", "b.mp3"}));
    for (const QString& name : onDisk())
        EXPECT_TRUE(ReadAll(album + "/" + name) == before[name]) << name.toStdString();

    ApplyAlbum(s, all, talk);
    const QList<tags::RunInfo> runs = tags::ListRuns();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].command, "album apply " + album);
    QStringList kinds;
    for (const tags::RunFile& f : runs[0].files)
        kinds << f.kind + " " + f.path.section('/', -1);
    // Each file tagged (rewritten: lame's files have no tag to fill) and renamed, then the playlist.
    EXPECT_EQ(kinds, QStringList({"rewrite b.mp3", "rename 01 - One.mp3", "rewrite a.mp3", "rename 02 - Two.mp3",
                                  "file Artist - Album.m3u"}));
    EXPECT_EQ(tags::LastRunToUndo(tags::kAlbumApplyRun), runs[0].id);
    s.undoAvailable = true;
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_EQ(onDisk(), QStringList({"a.mp3", "b.mp3"}));
    for (const QString& name : onDisk())
        EXPECT_TRUE(ReadAll(album + "/" + name) == before[name]) << name.toStdString();
    // The undo took the apply back: a restart does not offer it again.
    EXPECT_EQ(tags::ListRuns().last().undoes, runs[0].id);
    EXPECT_TRUE(tags::LastRunToUndo(tags::kAlbumApplyRun).isEmpty());
}

// A talk that refuses a change (tunora-cli's --journal FILE cannot be written) stops Apply
// there: what came before stays done and can be undone, nothing after it is touched.
TEST_F(ApplyTest, ARefusedChangeStopsApplyBeforeIt)
{
    struct Refusing : SeamApplyTalk {
        QStringList steps;
        bool before(const ApplyStep& step) override
        {
            steps << (step.plan.path.isEmpty() ? "rename " + step.to.section('/', -1) : "tags " + step.plan.path.section('/', -1));
            return steps.size() < 3;
        }
    } refusing;
    files({"b.mp3", "a.mp3"});
    QHash<QString, QByteArray> before;
    for (const QString& name : onDisk())
        before[name] = ReadAll(album + "/" + name);
    const ApplyResult r = ApplyAlbum(s, all, refusing);
    EXPECT_EQ(refusing.steps, QStringList({"tags b.mp3", "rename 01 - One.mp3", "tags a.mp3"}));
    EXPECT_EQ(r.failures, 1);
    EXPECT_EQ(r.playlistPath, QString()); // no playlist after a stop
    EXPECT_EQ(onDisk(), QStringList({"01 - One.mp3", "a.mp3"}));
    EXPECT_TRUE(ReadAll(album + "/a.mp3") == before["a.mp3"]);
    EXPECT_FALSE(ReadAll(album + "/01 - One.mp3") == before["b.mp3"]);
    s.undoAvailable = true;
    EXPECT_EQ(UndoAlbum(s, talk), 0);
    EXPECT_EQ(onDisk(), QStringList({"a.mp3", "b.mp3"}));
    for (const QString& name : onDisk())
        EXPECT_TRUE(ReadAll(album + "/" + name) == before[name]) << name.toStdString();
}

TEST_F(ApplyTest, ARewriteOfALargeFileLetsTheWindowRunItsEvents)
{
    struct Counting : SeamApplyTalk {
        int beats = 0;
        void beat() override { ++beats; }
    } counting;
    files({"a.mp3"});
    const QByteArray tone = ReadAll(album + "/a.mp3");
    ASSERT_TRUE(WriteAll(album + "/a.mp3", tone.repeated(int(6 * (1 << 20) / tone.size()) + 1)));
    const ApplyResult r = ApplyAlbum(s, {false, false, false, true, false}, counting); // a new ID3v2 tag: a rewrite
    EXPECT_EQ(r.tagged, 1);
    EXPECT_GE(counting.beats, 6); // one a MiB copied, beside the one a file
}
