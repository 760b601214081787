// tunora-cli import over a tree of albums, against the loopback CDDB and MusicBrainz
// stand-ins: the decisions, the tags as mutagen reads them, a run stopped midway and
// resumed, and both undo forms giving every byte back.
#include "freedb/DiscId.h"
#include "album/ImportCore.h"
#include "lookup/PlayingTimes.h"
#include "musicbrainz/MusicBrainz.h"
#include "shell/core/DiscLayout.h"
#include "shell/core/Settings.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"
#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>

#include <memory>

using namespace tunora;
using namespace tunora::test;

namespace {

const QString kExact = "a1b2c3d4-0000-4000-8000-0000000000e1";
const QString kWords = "a1b2c3d4-0000-4000-8000-0000000000e2";
const QString kDouble = "a1b2c3d4-0000-4000-8000-0000000000e3";
const QString kTwinOne = "a1b2c3d4-0000-4000-8000-0000000000e4";
const QString kTwinTwo = "a1b2c3d4-0000-4000-8000-0000000000e5";

using Track = StandInTrack;

bool WriteJson(const QString& path, const QJsonObject& o)
{
    QDir().mkpath(QFileInfo(path).path());
    return WriteAll(path, QJsonDocument(o).toJson());
}

// The MusicBrainz disc ID of the files as the program measures them.
QString DiscIdOf(const QStringList& files)
{
    QList<qint64> ms;
    if (!MeasurePlayingTimes(files, ms))
        return {};
    return MusicBrainzDiscId(LayoutFromLengths(ms));
}

// Every file under root with a digest of its bytes; playlists only when asked (an album
// journal has no record of the playlists an apply wrote: undo FILE leaves them).
QMap<QString, QString> Snapshot(const QString& root, bool playlists = false)
{
    QMap<QString, QString> m;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!playlists && path.endsWith(".m3u"))
            continue;
        m.insert(path.mid(root.size()), QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha1).toHex());
    }
    return m;
}

// Per audio file under root: relative path, title, artist, album, disc (mutagen's reading).
const char* const kReadTags = R"py(
import os, sys, mutagen
root = sys.argv[1]
for folder, _, names in sorted(os.walk(root)):
    for name in sorted(names):
        path = os.path.join(folder, name)
        f = mutagen.File(path, easy=True)
        if f is None:
            continue
        get = lambda k: (f.tags or {}).get(k, [""])[0]
        print("\t".join([os.path.relpath(path, root), get("title"), get("artist"), get("album"), get("discnumber")]))
)py";

class ImportCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mb.running());
        ASSERT_TRUE(cddb.running());
        cddb.useAsProxy();
        SetSetting("CDDBUser", "tester@example.org");
        SetSetting("Pattern", "%6 - %2");
        SetSetting("Playlist", "%1 - %3");
        SetSetting("PlaylistMode", "0");
        root = env.makeDir("music");
        // Found by its exact table of contents; titles in the file names.
        exact = mp3s("Exact Artist - Exact Album", {{"01 First", 3}, {"02 Second", 4}, {"03 Third", 5}, {"04 Fourth", 6}});
        // Untagged, two media: found by the first medium's table of contents.
        cd1 = mp3s("Double Set/CD1", {{"01", 2}, {"02", 3}, {"03", 4}});
        cd2 = mp3s("Double Set/CD 2", {{"01", 3}, {"02", 2}});
        // Two releases with the same tracks and nothing in the files to tell them apart.
        twins = mp3s("Twins", {{"a", 5}, {"b", 6}, {"c", 7}, {"d", 8}});
        cd1Id = DiscIdOf(cd1);
        ASSERT_FALSE(cd1Id.isEmpty());
        // Nothing knows it.
        mp3s("nothing - here", {{"1", 2}, {"2", 2}, {"3", 3}, {"4", 3}});
        // FLAC found only by the words of its tags, its files out of order.
        const QString flac = env.makeDir("music/Words Band/Word Album");
        const Track flacs[] = {{"Seven", 7}, {"Three", 3}, {"Five", 5}, {"Four", 4}};
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                            QString("sine=sample_rate=44100:duration=%1").arg(flacs[i].seconds),
                                            "-metadata", "title=" + flacs[i].title, "-metadata", "album_artist=Words Band",
                                            "-metadata", "album=Word Album",
                                            flac + QString("/%1.flac").arg(QChar('a' + i))}),
                      0);
        }

        const QString extra = mb.extra();
        ASSERT_TRUE(WriteJson(extra + "/discid/" + DiscIdOf(exact) + ".json",
                              QJsonObject{{"releases", QJsonArray{MbReleaseJson(kExact, "Exact Artist", "Exact Album",
                                                                          {{{"First", 3}, {"Second", 4}, {"Third", 5}, {"Fourth", 6}}})}}}));
        ASSERT_TRUE(WriteJson(extra + "/discid/" + cd1Id + ".json",
                              QJsonObject{{"releases", QJsonArray{MbReleaseJson(kDouble, "Set Artist", "Double Set",
                                                                          {{{"Uno", 2}, {"Dos", 3}, {"Tres", 4}},
                                                                           {{"Cuatro", 3}, {"Cinco", 2}}})}}}));
        const QList<QList<Track>> twinTracks{{{"One", 5}, {"Two", 6}, {"Three", 7}, {"Four", 8}}};
        ASSERT_TRUE(WriteJson(extra + "/discid/" + DiscIdOf(twins) + ".json",
                              QJsonObject{{"releases", QJsonArray{MbReleaseJson(kTwinOne, "Twin Band", "Twin One", twinTracks),
                                                                  MbReleaseJson(kTwinTwo, "Twin Band", "Twin Two", twinTracks)}}}));
        ASSERT_TRUE(WriteJson(extra + "/release/" + kTwinTwo + ".json", MbReleaseJson(kTwinTwo, "Twin Band", "Twin Two", twinTracks)));
        const QList<QList<Track>> wordTracks{{{"Three", 3}, {"Four", 4}, {"Five", 5}, {"Seven", 7}}};
        ASSERT_TRUE(WriteJson(extra + "/release/" + kWords + ".json", MbReleaseJson(kWords, "Words Band", "Word Album", wordTracks)));
        ASSERT_TRUE(WriteJson(extra + "/search.json",
                              QJsonObject{{"releases", QJsonArray{MbReleaseJson(kWords, "Words Band", "Word Album", wordTracks, false)}}}));
    }
    void TearDown() override
    {
        EXPECT_TRUE(mb.violations().isEmpty()) << mb.violations().join("\n").toStdString();
    }
    QStringList mp3s(const QString& folder, const QList<Track>& tracks)
    {
        const QString dir = env.makeDir("music/" + folder);
        QStringList paths;
        for (const Track& t : tracks) {
            paths << dir + "/" + t.title + ".mp3";
            EXPECT_TRUE(MakeMp3(paths.last(), t.seconds));
        }
        return paths;
    }
    int cli(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", args, &out, &err, 120000);
    }
    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
    QStringList tags() const
    {
        QByteArray text;
        RunProgram(SystemPython(), {"-c", kReadTags, root}, &text);
        return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
    }
    // The decision lines of the whole tree: the verdict, the folder, the first candidate.
    QStringList decisions() const
    {
        QStringList d;
        for (const QString& line : lines()) {
            const QStringList f = line.split('\t');
            d << QStringList(f.mid(0, 3)).join('\t').replace(root, "R");
        }
        return d;
    }

    TempAppEnv env;
    MusicBrainzServer mb{env.root(), {"--no-pace"}};
    FreedbServer cddb{env.root(), env.root() + "/cddb"};
    QString root;
    QStringList exact, cd1, cd2, twins;
    QString cd1Id;
    QByteArray out, err;
};

const QStringList kDecisions = {
    "applied\tR/Double Set\tmusicbrainz:" + kDouble,
    "applied\tR/Exact Artist - Exact Album\tmusicbrainz:" + kExact,
    "unsure\tR/Twins\tmusicbrainz:" + kTwinOne,
    "applied\tR/Words Band/Word Album\tmusicbrainz:" + kWords,
    "none\tR/nothing - here\tno disc found",
};

} // namespace

TEST(ImportFolders, MediumFolderNames)
{
    const struct {
        const char* name;
        int number;
    } rows[] = {{"CD1", 1}, {"cd 2", 2}, {"Disc-3", 3}, {"disc_4", 4}, {"DISK 12", 12}, {"CD", 0}, {"CDs 2", 0},
                {"Discography", 0}, {"CD 0", 0}};
    for (const auto& row : rows)
        EXPECT_EQ(import::MediumNumber(row.name), row.number) << row.name;
}

TEST_F(ImportCliTest, DecidesEveryAlbumTagsTheStrongOnesAndGivesEveryByteBack)
{
    const auto before = Snapshot(root);

    // A dry run tells the same decisions and changes nothing.
    ASSERT_EQ(cli({"import", root, "--dry-run"}), 1) << err.constData();
    EXPECT_EQ(decisions(), kDecisions) << out.constData();
    EXPECT_EQ(Snapshot(root), before);
    EXPECT_TRUE(err.contains(("[1/5] " + root + "/Double Set\n").toUtf8())) << err.constData();
    EXPECT_TRUE(err.contains(("[5/5] " + root + "/nothing - here\n").toUtf8())) << err.constData();
    // The two close candidates come with a third; each with its title and distance.
    const QStringList unsure = lines().value(2).split('\t');
    ASSERT_GE(unsure.size(), 8) << lines().value(2).toStdString();
    EXPECT_EQ(unsure.at(3), "Twin Band / Twin One");
    EXPECT_EQ(unsure.at(5), "musicbrainz:" + kTwinTwo);
    EXPECT_EQ(unsure.at(4), unsure.at(7)); // as near as each other
    // Each album asked MusicBrainz once by its table of contents, with the tracks brought
    // along; words only where that left it unsure or unfound.
    int tocs = 0, searches = 0;
    for (const QString& t : mb.targets()) {
        tocs += t.startsWith("/ws/2/discid/");
        searches += t.startsWith("/ws/2/release?");
        if (t.startsWith("/ws/2/discid/")) {
            EXPECT_TRUE(t.contains("inc=recordings+artist-credits")) << t.toStdString();
        }
    }
    EXPECT_EQ(tocs, 5);
    EXPECT_EQ(searches, 3); // twins, words, nothing

    // The run itself, with a journal for undo FILE.
    const QString journal = env.root() + "/import.journal";
    ASSERT_EQ(cli({"import", root, "--journal", journal}), 1) << err.constData();
    EXPECT_EQ(decisions(), kDecisions) << out.constData();
    const QStringList tagged = tags();
    for (const QString& row : {QString("Double Set/CD 2/01 - Cuatro.mp3\tCuatro\tSet Artist\tDouble Set\t2/2"),
                               QString("Double Set/CD 2/02 - Cinco.mp3\tCinco\tSet Artist\tDouble Set\t2/2"),
                               QString("Double Set/CD1/03 - Tres.mp3\tTres\tSet Artist\tDouble Set\t1/2"),
                               QString("Exact Artist - Exact Album/02 - Second.mp3\tSecond\tExact Artist\tExact Album\t1/1"),
                               QString("Twins/a.mp3\t\t\t\t"),
                               QString("Words Band/Word Album/01 - Three.flac\tThree\tWords Band\tWord Album\t1"),
                               QString("Words Band/Word Album/04 - Seven.flac\tSeven\tWords Band\tWord Album\t1")})
        EXPECT_TRUE(tagged.contains(row)) << row.toStdString() << "\n" << tagged.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo::exists(root + "/Exact Artist - Exact Album/Exact Artist - Exact Album.m3u"));
    // The seven-second file, first by name, went to the fourth track.
    EXPECT_NEAR(FfprobeDuration(root + "/Words Band/Word Album/04 - Seven.flac"), 7.0, 0.05);

    // The write journal holds the whole import as one run.
    ASSERT_EQ(cli({"journal"}), 0) << err.constData();
    const QStringList runs = lines().filter(QRegularExpression("^run\t"));
    ASSERT_EQ(runs.size(), 1) << out.constData();
    EXPECT_TRUE(runs.first().endsWith("\timport " + root)) << runs.first().toStdString();
    EXPECT_TRUE(out.contains((root + "/Words Band/Word Album/a.flac").toUtf8())) << out.constData();

    // Undo of the last write-journal run gives back every byte, and removes the playlists.
    ASSERT_EQ(cli({"undo"}), 0) << err.constData() << out.constData();
    EXPECT_EQ(Snapshot(root, true), before);

    // A wrong command line changes nothing and asks nothing.
    const qsizetype asked = mb.targets().size();
    for (const QStringList& args : {QStringList{"import"}, QStringList{"import", root, "--source", "elsewhere"},
                                    QStringList{"import", root + "/missing"}, QStringList{"import", root, "--choose", "Twins"},
                                    QStringList{"import", root, "--choose", root + "/Twins=" + kTwinTwo}})
        EXPECT_EQ(cli(args), 2) << args.join(' ').toStdString();
    EXPECT_EQ(mb.targets().size(), asked);

    // A hand pick decides the twins.
    ASSERT_EQ(cli({"import", root + "/Twins", "--choose", root + "/Twins=musicbrainz:" + kTwinTwo}), 0) << err.constData();
    EXPECT_EQ(decisions(), QStringList{"applied\tR/Twins\tmusicbrainz:" + kTwinTwo}) << out.constData();
    EXPECT_TRUE(tags().contains("Twins/03 - Three.mp3\tThree\tTwin Band\tTwin Two\t1/1")) << tags().join('\n').toStdString();
}

TEST_F(ImportCliTest, AResumedRunSkipsWhatTheStoppedOneApplied)
{
    const auto before = Snapshot(root);
    const QString journal = env.root() + "/import.journal";
    // Stopped once the first album is applied.
    QProcess run;
    run.start(BuiltAppDir() + "/tunora-cli", {"import", root, "--journal", journal});
    ASSERT_TRUE(run.waitForStarted());
    QByteArray first;
    while (!first.contains('\n') && run.waitForReadyRead(60000))
        first += run.readAllStandardOutput();
    run.kill();
    run.waitForFinished();
    ASSERT_TRUE(first.startsWith(("applied\t" + root + "/Double Set\t").toUtf8())) << first.constData();
    const auto stopped = Snapshot(root);
    const qsizetype asked = mb.targets().size();

    ASSERT_EQ(cli({"import", root, "--journal", journal, "--resume", "--source", "musicbrainz"}), 1) << err.constData();
    QStringList expected = kDecisions;
    expected[0] = "skipped\tR/Double Set\tdone";
    EXPECT_EQ(decisions(), expected) << out.constData();
    // Nothing of the first album was asked or written again.
    for (const QString& t : mb.targets().mid(asked))
        EXPECT_FALSE(t.contains(cd1Id)) << t.toStdString();
    const auto resumed = Snapshot(root);
    for (auto it = stopped.begin(); it != stopped.end(); ++it)
        if (it.key().startsWith("/Double Set/")) {
            EXPECT_EQ(resumed.value(it.key()), it.value()) << it.key().toStdString();
        }
    // Without --resume an earlier journal is not taken over.
    EXPECT_EQ(cli({"import", root, "--journal", journal}), 2);

    // The journal holds both runs: every file comes back.
    ASSERT_EQ(cli({"undo", journal}), 0) << err.constData() << out.constData();
    EXPECT_EQ(Snapshot(root), before);
}

namespace {

// The loopback AcoustID stand-in, pointed to by TUNORA_ACOUSTID_URL while it lives.
class SoundServer {
public:
    explicit SoundServer(const QString& scratch) : m_log(scratch + "/acoustid.jsonl"), m_extra(scratch + "/acoustid")
    {
        QDir().mkpath(m_extra);
        m_process.start(SystemPython(), {SourceDir() + "/tests/servers/acoustid_server.py", "--log", m_log, "--extra",
                                         m_extra, "--key", "import-key"});
        QByteArray line;
        while (m_process.waitForStarted(10000) && !line.contains('\n') && m_process.waitForReadyRead(10000))
            line += m_process.readAllStandardOutput();
        if (line.startsWith("PORT "))
            qputenv("TUNORA_ACOUSTID_URL", "http://127.0.0.1:" + line.mid(5).trimmed() + "/");
    }
    ~SoundServer()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(3000);
        qunsetenv("TUNORA_ACOUSTID_URL");
    }
    QString extra() const { return m_extra; }
    QList<QByteArray> requests() const
    {
        QList<QByteArray> lines = ReadAll(m_log).split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }

private:
    QProcess m_process;
    QString m_log, m_extra;
};

const QString kSound = "a1b2c3d4-0000-4000-8000-0000000000e6";

} // namespace

TEST(ImportBySound, AcoustIdFindsWhatTheOtherSourcesLeaveUnsureOnceItsKeyIsSet)
{
    TempAppEnv env;
    // AcoustID takes the CDDB proxy settings: CDDB, whose stand-in is reached as a proxy, is
    // left out here.
    MusicBrainzServer mb{env.root(), {"--no-pace"}};
    SoundServer sound{env.root()};
    ASSERT_TRUE(mb.running());
    SetSetting("CDDBUser", "tester@example.org");
    // Untagged noise in a folder of its album's name, which no word search finds; the
    // stand-in knows each file's sound.
    const QString root = env.makeDir("music"), album = env.makeDir("music/Heard");
    QJsonArray tracks;
    for (int n = 1; n <= 3; ++n) {
        const QString path = album + QString("/%1.flac").arg(n);
        ASSERT_EQ(RunProgram("/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                                 QString("anoisesrc=d=%1:c=pink:seed=%2:a=0.3").arg(4 + n).arg(30 + n),
                                                 "-ac", "2", "-ar", "44100", path}),
                  0);
        QByteArray plain, text;
        RunProgram("/usr/bin/fpcalc", {"-plain", path}, &plain);
        RunProgram("/usr/bin/fpcalc", {path}, &text);
        const int seconds = text.mid(text.indexOf("DURATION=") + 9).split('\n').value(0).toInt();
        const QJsonObject release{{"id", kSound}, {"title", "Heard"}, {"artists", QJsonArray{QJsonObject{{"name", "Noise Band"}}}},
                                  {"mediums", QJsonArray{QJsonObject{{"position", 1}, {"format", "CD"}, {"track_count", 3},
                                                                     {"tracks", QJsonArray{QJsonObject{{"position", n}, {"title", "T"}}}}}}}};
        ASSERT_TRUE(WriteJson(sound.extra() + QString("/%1.json").arg(n),
                              QJsonObject{{"fingerprint", QString::fromLatin1(plain.trimmed())}, {"duration", seconds},
                                          {"results", QJsonArray{QJsonObject{{"id", QString("fp-%1").arg(n)}, {"score", 0.95},
                                                                             {"recordings", QJsonArray{QJsonObject{{"id", "r"}, {"releases", QJsonArray{release}}}}}}}}}));
        tracks.append(QJsonObject{{"position", n}, {"title", QString("Hiss %1").arg(n)}, {"length", (4 + n) * 1000}});
    }
    ASSERT_TRUE(WriteJson(mb.extra() + "/release/" + kSound + ".json",
                          QJsonObject{{"id", kSound}, {"title", "Heard"}, {"date", "2010"},
                                      {"artist-credit", QJsonArray{QJsonObject{{"name", "Noise Band"}, {"joinphrase", ""}}}},
                                      {"media", QJsonArray{QJsonObject{{"position", 1}, {"format", "CD"}, {"track-count", 3}, {"tracks", tracks}}}}}));
    QByteArray out, err;
    const QString cli = BuiltAppDir() + "/tunora-cli";

    // Without a key nothing is sent to it.
    EXPECT_EQ(RunProgram(cli, {"import", root, "--dry-run", "--source", "musicbrainz"}, &out, &err, 120000), 1)
        << err.constData();
    EXPECT_FALSE(out.contains("acoustid:")) << out.constData();
    EXPECT_TRUE(sound.requests().isEmpty());

    SetSetting("AcoustIDKey", "import-key");
    ASSERT_EQ(RunProgram(cli, {"import", root, "--dry-run", "--source", "musicbrainz"}, &out, &err, 120000), 0)
        << err.constData() << out.constData() << sound.requests().join('\n').constData();
    const QStringList f = QString::fromUtf8(out).trimmed().split('\t');
    ASSERT_EQ(f.size(), 5) << out.constData();
    EXPECT_EQ(f.mid(0, 4), QStringList({"applied", album, "acoustid:" + kSound, "Noise Band / Heard"}));
    EXPECT_LE(f.at(4).toDouble(), import::kStrongDistance);
    EXPECT_EQ(sound.requests().size(), 3);
    for (const QByteArray& r : sound.requests())
        EXPECT_TRUE(r.contains("\"violation\": null")) << r.constData();
    EXPECT_TRUE(mb.violations().isEmpty()) << mb.violations().join("\n").toStdString();
}
