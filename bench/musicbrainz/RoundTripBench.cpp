// The round trip a user waits for: words searched, the 12-track release read, its front cover
// fetched (a 307 to the picture), against the loopback stand-in. The peer makes the same four
// requests with Python's urllib and no pace, so program - peer is what the one-request-per-
// second rule costs; 3 s (three gaps between four requests) is its floor.
#include "musicbrainz/MusicBrainzClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

using namespace tunora;

namespace {

const QString kDozen = QStringLiteral("a1b2c3d4-0000-4000-8000-000000000012");
constexpr int kRounds = 5;

struct Server {
    QProcess process;
    QString root;
    Server(const QString& scratch, const QStringList& extraArgs)
    {
        process.start(QStringLiteral("/usr/bin/python3"),
                      QStringList{QStringLiteral(TUNORA_SOURCE_DIR "/tests/servers/musicbrainz_server.py"),
                                  QStringLiteral("--log"), scratch + QStringLiteral("/log.jsonl"),
                                  QStringLiteral("--extra"), scratch} +
                          extraArgs);
        QByteArray line;
        while (!line.contains('\n') && process.waitForReadyRead(10000))
            line += process.readAllStandardOutput();
        root = QStringLiteral("http://127.0.0.1:%1/").arg(line.mid(5).trimmed().toInt());
    }
    ~Server()
    {
        process.closeWriteChannel();
        process.waitForFinished(3000);
    }
};

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// One round of the program: seconds from the search to the picture in hand.
double ProgramRound(MusicBrainzClient& client)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool ok = false;
    auto c1 = QObject::connect(&client, &MusicBrainzClient::releasesReady, [&] { client.readRelease(kDozen); });
    auto c2 = QObject::connect(&client, &MusicBrainzClient::releaseReady,
                               [&](const MbRelease& r) { client.fetchFrontCover(r.id); });
    auto c3 = QObject::connect(&client, &MusicBrainzClient::coverReady, [&](const QByteArray& image) {
        ok = image.size() == 40000;
        loop.quit();
    });
    auto c4 = QObject::connect(&client, &MusicBrainzClient::failed, [&](const QString& why) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(why));
        loop.quit();
    });
    client.searchReleases(QStringLiteral("Dozen Band - Twelve Songs"), false);
    loop.exec();
    for (const auto& c : {c1, c2, c3, c4})
        QObject::disconnect(c);
    return ok ? clock.nsecsElapsed() / 1e9 : -1;
}

const char* const kPeer = R"py(
import sys, time, urllib.request
root, mbid = sys.argv[1], sys.argv[2]
ua = {"User-Agent": "Tunora/4.0.77 ( bench@example.org )"}
def get(url):
    return urllib.request.urlopen(urllib.request.Request(url, headers=ua)).read()
times = []
for _ in range(int(sys.argv[3])):
    t0 = time.perf_counter()
    get(root + "ws/2/release?query=artist%3A%28Dozen%20Band%29%20AND%20release%3A%28Twelve%20Songs%29&limit=25&fmt=json")
    get(root + "ws/2/release/" + mbid + "?inc=recordings+artist-credits+release-groups&fmt=json")
    assert len(get(root + "release/" + mbid + "/front-500")) == 40000
    times.append(time.perf_counter() - t0)
print(" ".join("%.6f" % t for t in times))
)py";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    QDir().mkpath(scratch.path() + QStringLiteral("/cover"));
    QFile cover(scratch.path() + QStringLiteral("/cover/") + kDozen + QStringLiteral(".jpg"));
    if (!cover.open(QIODevice::WriteOnly) || cover.write(QByteArray("\xFF\xD8\xFF\xE0") + QByteArray(39996, 'j')) != 40000)
        return 1;
    cover.close();
    qputenv("TUNORA_APP_FOLDER", scratch.path().toUtf8());
    qputenv("TUNORA_REGISTRY", (scratch.path() + QStringLiteral("/registry.reg")).toUtf8());

    QList<double> program;
    {
        Server server(scratch.path(), {});
        qputenv("TUNORA_MUSICBRAINZ_URL", (server.root + QStringLiteral("ws/2/")).toUtf8());
        qputenv("TUNORA_COVERART_URL", server.root.toUtf8());
        MusicBrainzClient client;
        for (int i = 0; i < kRounds; ++i) {
            QThread::msleep(1100); // rounds apart, so none waits for the previous one
            program << ProgramRound(client);
        }
    }
    // The stand-in marks every request that broke the pace or the User-Agent rule.
    QFile log(scratch.path() + QStringLiteral("/log.jsonl"));
    const qsizetype broken = log.open(QIODevice::ReadOnly) ? log.readAll().count("\"violation\": \"") : -1;
    QList<double> peer;
    {
        Server server(scratch.path(), {QStringLiteral("--no-pace")});
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QLatin1String(kPeer), server.root, kDozen, QString::number(kRounds)});
        python.waitForFinished(60000);
        for (const QByteArray& t : python.readAllStandardOutput().trimmed().split(' '))
            peer << t.toDouble();
    }
    if (program.contains(-1) || peer.size() != kRounds || broken != 0)
        return 1;
    const double p = Median(program), q = Median(peer);
    std::printf("search + read + cover of a 12-track album over loopback, median of %d rounds\n", kRounds);
    std::printf("  Tunora (paced):       %.3f s\n  urllib (no pace):     %.3f s\n", p, q);
    std::printf("  ratio Tunora/urllib:  %.1f\n  cost of the pace:     %.3f s (three 1 s gaps between four requests)\n",
                p / q, p - q);
    return 0;
}
