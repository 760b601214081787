// The loopback CDDB test server (tests/servers/freedb_server.py) and a tinyproxy in front
// of it, started and stopped by the tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <memory>

namespace tunora::test {

class FreedbServer {
public:
    // scratch: a folder for the request log; extraFixtures: fixtures a test made, looked up
    // before the shipped ones (same layout: xmcd/CAT/ID, query/ID, search/WORD.html, ...).
    explicit FreedbServer(const QString& scratch, const QString& extraFixtures = QString());
    ~FreedbServer();
    bool running() const { return m_port != 0; }
    quint16 port() const { return m_port; }

    // The heads of the requests received so far, oldest first.
    QList<QByteArray> requests() const;
    // The request lines ("GET ... HTTP/1.0") received so far.
    QStringList requestLines() const;
    void clearLog();

    // Points the program at this server as its HTTP proxy (UseProxy, ProxyName, ProxyPort).
    void useAsProxy() const;

private:
    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
};

// tinyproxy on a free port of 127.0.0.1, forwarding every request to the test server as
// its upstream proxy (so no name is ever looked up).
class Tinyproxy {
public:
    Tinyproxy(const QString& scratch, quint16 upstreamPort);
    ~Tinyproxy();
    bool running() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    void useAsProxy() const;

private:
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace tunora::test
