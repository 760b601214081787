// The library import over 100 album folders (1,000 MP3 files) against the loopback CDDB and
// MusicBrainz stand-ins, MusicBrainz's one-second rule checked by its stand-in: the
// MusicBrainz requests per album (each album's table of contents is known exactly) and the
// wall time against requests x 1 s, the floor that rule sets.
//   bench-bin/import_bench SOURCE_DIR APP_DIR
#include "album/ImportCore.h"
#include "lookup/PlayingTimes.h"
#include "musicbrainz/MusicBrainz.h"
#include "shell/core/DiscLayout.h"
#include "shell/core/Settings.h"
#include "tags/Journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace tunora;

namespace {

constexpr int kAlbums = 100, kTracks = 10, kPool = 20;

class QuietTalk : public ApplyTalk {
public:
    bool playlistInAlbumFolder() override { return true; }
    bool replacePlaylist(const QString&) override { return false; }
    void tell(const QString&) override {}
};

bool Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A stand-in started with its arguments; its port, 0 when it did not start.
quint16 Start(QProcess& p, const QString& script, const QStringList& args)
{
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + args);
    if (!p.waitForStarted(10000))
        return 0;
    QByteArray line;
    while (!line.contains('\n') && p.waitForReadyRead(10000))
        line += p.readAllStandardOutput();
    return line.startsWith("PORT ") ? quint16(line.mid(5).trimmed().toUInt()) : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: import_bench SOURCE_DIR APP_DIR\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]), appDir = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir work;
    qputenv("TUNORA_REGISTRY", QFile::encodeName(work.filePath("registry.reg")));
    qputenv("TUNORA_APP_FOLDER", QFile::encodeName(appDir));
    tags::SetJournalPath(work.filePath("write.journal"));
    SetSetting(setting::kCddbUser, QStringLiteral("bench@example.org"));
    SetSetting(setting::kNamingPattern, QStringLiteral("%6 - %2"));
    SetSetting(setting::kPlaylistPattern, QStringLiteral("%1 - %3"));
    SetSetting(setting::kPlaylistMode, QStringLiteral("0"));

    // A pool of tones of distinct lengths; each album takes ten of them in its own order.
    QStringList pool;
    QList<qint64> poolMs;
    for (int k = 0; k < kPool; ++k) {
        pool << work.filePath(QStringLiteral("pool/%1.mp3").arg(k));
        QDir().mkpath(work.filePath("pool"));
        const double seconds = 2.0 + 0.37 * k;
        if (QProcess::execute(QStringLiteral("sh"), {"-c", QStringLiteral("ffmpeg -v error -f lavfi -i sine=duration=%1 "
                                                                           "-f wav - | lame --quiet -b 64 - '%2'")
                                                               .arg(seconds)
                                                               .arg(pool.last())}) != 0)
            return 1;
    }
    if (!MeasurePlayingTimes(pool, poolMs))
        return 1;
    const QString root = work.filePath("library"), extra = work.filePath("mb");
    for (int a = 0; a < kAlbums; ++a) {
        const QString folder = root + QStringLiteral("/Artist %1 - Album %1").arg(a);
        QDir().mkpath(folder);
        QList<qint64> ms;
        QJsonArray tracks;
        for (int t = 0; t < kTracks; ++t) {
            const int k = (a * 7 + t * (1 + a % 3) + t * t) % kPool;
            const QString title = QStringLiteral("Song %1 %2").arg(a).arg(t);
            if (!QFile::copy(pool.at(k), folder + QStringLiteral("/%1 %2.mp3").arg(t + 1, 2, 10, QLatin1Char('0')).arg(title)))
                return 1;
            ms << poolMs.at(k);
            tracks.append(QJsonObject{{"position", t + 1}, {"title", title}, {"length", poolMs.at(k)}});
        }
        const QJsonObject release{
            {"id", QStringLiteral("b0b0b0b0-0000-4000-8000-%1").arg(a, 12, 10, QLatin1Char('0'))},
            {"title", QStringLiteral("Album %1").arg(a)},
            {"artist-credit", QJsonArray{QJsonObject{{"name", QStringLiteral("Artist %1").arg(a)}, {"joinphrase", ""}}}},
            {"media", QJsonArray{QJsonObject{{"position", 1}, {"format", "CD"}, {"track-count", kTracks}, {"tracks", tracks}}}}};
        const QString id = MusicBrainzDiscId(LayoutFromLengths(ms));
        if (!Write(extra + "/discid/" + id + ".json", QJsonDocument(QJsonObject{{"releases", QJsonArray{release}}}).toJson()))
            return 1;
    }

    QProcess mb, cddb;
    const QString mbLog = work.filePath("mb.log");
    const quint16 mbPort = Start(mb, source + "/tests/servers/musicbrainz_server.py", {"--log", mbLog, "--extra", extra});
    const quint16 cddbPort = Start(cddb, source + "/tests/servers/freedb_server.py", {"--extra", work.filePath("cddb")});
    if (!mbPort || !cddbPort)
        return 1;
    qputenv("TUNORA_MUSICBRAINZ_URL", QStringLiteral("http://127.0.0.1:%1/ws/2/").arg(mbPort).toUtf8());
    SetSetting(setting::kUseProxy, QStringLiteral("1"));
    SetSetting(setting::kProxyName, QStringLiteral("127.0.0.1"));
    SetSetting(setting::kProxyPort, QString::number(cddbPort));

    QuietTalk talk;
    import::ImportRun run({root}, {}, talk);
    QEventLoop loop;
    QObject::connect(&run, &import::ImportRun::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    run.start();
    loop.exec();
    const double wall = clock.elapsed() / 1000.0;

    int applied = 0;
    for (const import::AlbumState& s : run.albums())
        applied += s.verdict == import::Verdict::Applied;
    QFile log(mbLog);
    int requests = 0, violations = 0;
    if (log.open(QIODevice::ReadOnly))
        for (const QByteArray& line : log.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) {
                ++requests;
                violations += !QJsonDocument::fromJson(line).object().value("violation").isNull();
            }
    mb.closeWriteChannel();
    cddb.closeWriteChannel();
    mb.waitForFinished(3000);
    cddb.waitForFinished(3000);
    std::printf("albums %d, applied %d, files %d\n", int(run.albums().size()), applied, kAlbums * kTracks);
    std::printf("MusicBrainz requests %d (%.2f per album), pace violations %d\n", requests,
                double(requests) / kAlbums, violations);
    std::printf("wall %.1f s, floor %d s (requests x 1 s): %.3fx\n", wall, requests, requests ? wall / requests : 0.0);
    return applied == kAlbums && violations == 0 ? 0 : 1;
}
