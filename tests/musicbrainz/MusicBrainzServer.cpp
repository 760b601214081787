#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QJsonArray>

#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace tunora::test {

MusicBrainzServer::MusicBrainzServer(const QString& scratch, const QStringList& extraArgs)
    : m_log(scratch + "/musicbrainz-requests.jsonl"), m_extra(scratch + "/extra"), m_tls(extraArgs.contains("--tls")),
      m_oldMb(qgetenv("TUNORA_MUSICBRAINZ_URL")), m_oldCover(qgetenv("TUNORA_COVERART_URL"))
{
    QDir().mkpath(m_extra + "/cover");
    QFile::remove(m_log);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(SystemPython(), QStringList{SourceDir() + "/tests/servers/musicbrainz_server.py", "--log", m_log,
                                                "--extra", m_extra} +
                                        extraArgs);
    QByteArray line;
    const QDeadlineTimer deadline(15000);
    while (m_process.waitForStarted(10000) && !line.contains('\n') && !deadline.hasExpired() &&
           m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(200);
        line += m_process.readAllStandardOutput();
    }
    if (!line.startsWith("PORT "))
        return;
    m_port = static_cast<quint16>(line.mid(5).trimmed().toUInt());
    qputenv("TUNORA_MUSICBRAINZ_URL", (root() + "ws/2/").toUtf8());
    qputenv("TUNORA_COVERART_URL", root().toUtf8());
}

MusicBrainzServer::~MusicBrainzServer()
{
    m_process.closeWriteChannel(); // the server ends when its input closes
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    qputenv("TUNORA_MUSICBRAINZ_URL", m_oldMb);
    qputenv("TUNORA_COVERART_URL", m_oldCover);
}

QString MusicBrainzServer::root() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(m_tls ? "https" : "http").arg(m_port);
}

QList<QJsonObject> MusicBrainzServer::requests() const
{
    QList<QJsonObject> out;
    for (const QByteArray& line : ReadAll(m_log).split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

QStringList MusicBrainzServer::targets() const
{
    QStringList out;
    for (const QJsonObject& r : requests())
        out << r["target"].toString();
    return out;
}

QStringList MusicBrainzServer::violations() const
{
    QStringList out;
    for (const QJsonObject& r : requests())
        if (!r["violation"].isNull())
            out << r["target"].toString() + ": " + r["violation"].toString();
    return out;
}

QJsonObject MbReleaseJson(const QString& id, const QString& artist, const QString& title,
                          const QList<QList<StandInTrack>>& media, bool withTracks)
{
    QJsonArray mediaJson;
    int count = 0;
    for (int m = 0; m < media.size(); ++m) {
        QJsonArray tracks;
        for (int t = 0; t < media.at(m).size(); ++t)
            tracks.append(QJsonObject{{"position", t + 1}, {"title", media.at(m).at(t).title},
                                      {"length", qint64(media.at(m).at(t).seconds * 1000)}});
        QJsonObject medium{{"position", m + 1}, {"format", "CD"}, {"track-count", int(media.at(m).size())}};
        if (withTracks)
            medium.insert("tracks", tracks);
        mediaJson.append(medium);
        count += int(media.at(m).size());
    }
    return QJsonObject{{"id", id}, {"title", title}, {"date", "2004"}, {"track-count", count},
                       {"artist-credit", QJsonArray{QJsonObject{{"name", artist}, {"joinphrase", ""}}}},
                       {"media", mediaJson}};
}

} // namespace tunora::test
