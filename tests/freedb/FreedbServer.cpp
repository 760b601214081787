#include "tests/freedb/FreedbServer.h"

#include "shell/core/Settings.h"
#include "tests/common/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace tunora::test {

namespace {

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool Accepts(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    const bool ok = s.waitForConnected(200);
    s.abort();
    return ok;
}

// The test server ends when its standard input closes; tinyproxy on SIGTERM.
void Stop(QProcess& p, bool byInput)
{
    if (p.state() == QProcess::NotRunning)
        return;
    if (byInput)
        p.closeWriteChannel();
    else
        p.terminate();
    if (!p.waitForFinished(2000)) {
        p.terminate();
        if (!p.waitForFinished(2000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
}

} // namespace

FreedbServer::FreedbServer(const QString& scratch, const QString& extraFixtures)
    : m_log(QDir(scratch).filePath(QStringLiteral("freedb-requests.log")))
{
    QStringList args{SourceDir() + QStringLiteral("/tests/servers/freedb_server.py"), QStringLiteral("--log"), m_log};
    if (!extraFixtures.isEmpty())
        args << QStringLiteral("--extra") << extraFixtures;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(10000))
        return;
    QByteArray line;
    QDeadlineTimer deadline(15000);
    while (!line.contains('\n') && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(200);
        line += m_process.readAllStandardOutput();
    }
    if (line.startsWith("PORT "))
        m_port = static_cast<quint16>(line.mid(5).trimmed().toUInt());
}

FreedbServer::~FreedbServer()
{
    Stop(m_process, true);
}

QList<QByteArray> FreedbServer::requests() const
{
    QList<QByteArray> out;
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            out << QByteArray::fromBase64(line);
    return out;
}

QStringList FreedbServer::requestLines() const
{
    QStringList out;
    for (const QByteArray& r : requests())
        out << QString::fromUtf8(r.left(r.indexOf("\r\n")));
    return out;
}

void FreedbServer::clearLog()
{
    QFile::remove(m_log);
}

void FreedbServer::useAsProxy() const
{
    SetSetting(QStringLiteral("UseProxy"), QStringLiteral("1"));
    SetSetting(QStringLiteral("ProxyName"), QStringLiteral("127.0.0.1"));
    SetSetting(QStringLiteral("ProxyPort"), QString::number(m_port));
}

Tinyproxy::Tinyproxy(const QString& scratch, quint16 upstreamPort)
{
    const quint16 port = FreePort();
    const QString dir = QDir(scratch).filePath(QStringLiteral("tinyproxy"));
    QDir().mkpath(dir);
    const QString conf = dir + QStringLiteral("/tinyproxy.conf");
    const QByteArray text = "Port " + QByteArray::number(port) +
                            "\n"
                            "Listen 127.0.0.1\n"
                            "Timeout 60\n"
                            "MaxClients 20\n"
                            "Allow 127.0.0.1\n"
                            "Upstream http 127.0.0.1:" +
                            QByteArray::number(upstreamPort) +
                            "\n"
                            "LogFile \"" +
                            QFile::encodeName(dir) +
                            "/tinyproxy.log\"\n"
                            "LogLevel Info\n"
                            "DisableViaHeader Yes\n";
    if (!WriteAll(conf, text))
        return;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), conf});
    if (!m_process.waitForStarted(10000))
        return;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (Accepts(port)) {
            m_port = port;
            return;
        }
        QThread::msleep(50);
    }
}

Tinyproxy::~Tinyproxy()
{
    Stop(m_process, false);
}

void Tinyproxy::useAsProxy() const
{
    SetSetting(QStringLiteral("UseProxy"), QStringLiteral("1"));
    SetSetting(QStringLiteral("ProxyName"), QStringLiteral("127.0.0.1"));
    SetSetting(QStringLiteral("ProxyPort"), QString::number(m_port));
}

} // namespace tunora::test
