#include "tests/acoustid/AcoustIdServer.h"

#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

namespace tunora::test {

bool MakeAudio(const QString& path, int seed, int seconds, const QStringList& output, bool tone)
{
    const QString noise =
        QStringLiteral("anoisesrc=d=%1:c=%2:seed=%3:a=0.3").arg(seconds).arg(tone ? "pink" : "brown").arg(seed);
    const QString sine = QStringLiteral("sine=f=%1:d=%2").arg(220 + 40 * seed).arg(seconds);
    if (!tone)
        return RunProgram("/usr/bin/ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", noise, "-ac", "2", path}) == 0;
    return RunProgram("/usr/bin/ffmpeg", QStringList{"-v", "error", "-y", "-f", "lavfi", "-i", noise, "-f", "lavfi",
                                                     "-i", sine, "-filter_complex", "[0][1]amerge=inputs=2", "-ac",
                                                     "2", "-ar", "44100"} +
                                             output + QStringList{path}) == 0;
}

// fpcalc may end with 3 over a harmless end-of-file message: its output is what counts.
QPair<int, QByteArray> Fpcalc(const QString& path)
{
    QByteArray plain, text;
    RunProgram("/usr/bin/fpcalc", {"-plain", path}, &plain);
    RunProgram("/usr/bin/fpcalc", {path}, &text);
    const int duration = text.mid(text.indexOf("DURATION=") + 9).split('\n').value(0).toInt();
    return {duration, plain.trimmed()};
}

QJsonObject AcoustIdRelease(const QString& id, const QString& title, const QString& artist, int trackCount,
                            int position, const QJsonValue& date)
{
    const QJsonObject track{{"position", position}, {"title", QStringLiteral("Track %1").arg(position)}};
    return QJsonObject{{"id", id},
                       {"title", title},
                       {"artists", QJsonArray{QJsonObject{{"name", artist}}}},
                       {"date", date},
                       {"medium_count", 1},
                       {"mediums", QJsonArray{QJsonObject{{"position", 1},
                                                          {"format", "CD"},
                                                          {"track_count", trackCount},
                                                          {"tracks", QJsonArray{track}}}}}};
}

AcoustIdServer::AcoustIdServer(const QString& scratch, const QStringList& extraArgs)
    : m_log(scratch + "/acoustid-requests.jsonl"), m_extra(scratch + "/acoustid"),
      m_old(qgetenv("TUNORA_ACOUSTID_URL"))
{
    QDir().mkpath(m_extra);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(SystemPython(), QStringList{SourceDir() + "/tests/servers/acoustid_server.py", "--log", m_log,
                                                "--extra", m_extra} +
                                        extraArgs);
    QByteArray line;
    const QDeadlineTimer deadline(15000);
    while (m_process.waitForStarted(10000) && !line.contains('\n') && !deadline.hasExpired())
        if (m_process.waitForReadyRead(200))
            line += m_process.readAllStandardOutput();
    if (line.startsWith("PORT "))
        qputenv("TUNORA_ACOUSTID_URL", "http://127.0.0.1:" + line.mid(5).trimmed() + "/");
    m_running = line.startsWith("PORT ");
}

AcoustIdServer::~AcoustIdServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(2000);
    qputenv("TUNORA_ACOUSTID_URL", m_old);
}

bool AcoustIdServer::know(const QString& path, const QJsonArray& results) const
{
    const auto [seconds, fingerprint] = Fpcalc(path);
    if (fingerprint.isEmpty())
        return false;
    const QJsonObject entry{{"fingerprint", QString::fromLatin1(fingerprint)}, {"duration", seconds}, {"results", results}};
    return WriteAll(m_extra + "/" + QFileInfo(path).completeBaseName() + ".json", QJsonDocument(entry).toJson());
}

QList<QJsonObject> AcoustIdServer::requests() const
{
    QList<QJsonObject> out;
    for (const QByteArray& line : ReadAll(m_log).split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

QStringList AcoustIdServer::violations() const
{
    QStringList out;
    for (const QJsonObject& r : requests())
        if (!r["violation"].isNull())
            out << r["violation"].toString();
    return out;
}

} // namespace tunora::test
