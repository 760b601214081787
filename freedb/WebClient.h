// The HTTP client of the FreeDB lookups: one HTTP/1.0 GET at a time over the program's one
// socket (Winsock1), directly or through the configured proxy, waiting with the event loop
// running so the window stays responsive and the cancel button works.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace tunora {

class WebClient : public QObject {
    Q_OBJECT
public:
    // A chain of redirects longer than this fails instead of looping for ever.
    static constexpr int kMaxRedirects = 10;
    // A request that receives no byte for this long fails (a silent server).
    static constexpr int kDefaultStallMs = 30000;
    // A response larger than this fails and the connection is dropped.
    static constexpr qint64 kMaxResponseBytes = 16 * 1024 * 1024;

    // The main window's socket and receive buffer.
    static WebClient& instance();

    // Fetches url (trimmed in place) and answers the whole response (status line, headers,
    // blank line, body) decoded as text, or the empty text on any failure. extraHeaders:
    // whole header lines ("Name: value\r\n") added to the request and to its redirects to
    // the same host.
    QString GetWebSite(QString& url, const QByteArray& extraHeaders = {});
    // The same, answering the bytes as they came.
    QByteArray GetWebBytes(QString& url, const QByteArray& extraHeaders = {});
    // Drops the connection and waits until the socket reports it closed.
    void ErrorOccured();

    // Bytes received since the last reset; the search and the fetch reset it when they begin.
    qint64 receivedBytes() const { return m_received; }
    void resetReceivedBytes() { m_received = 0; }

    // Why the last GetWebSite failed, in plain English (for tunora-cli and diagnostics).
    QString lastFailure() const { return m_failure; }
    // The server's status line when the last call failed because the server refused
    // (a status that is neither "200" nor a redirect); empty otherwise.
    QString lastRefusal() const { return m_refusal; }
    // What the user is told under the failure message when the last call failed for a reason
    // worth naming (no answer in time, a move to https); empty otherwise.
    QString lastNotice() const { return m_notice; }
    bool lastCancelled() const { return m_cancelled; }

    // How long a request may receive nothing before it fails; tunora-cli's --timeout sets it.
    void setStallTimeoutMs(int ms) { m_stallMs = ms > 0 ? ms : kDefaultStallMs; }
    int stallTimeoutMs() const { return m_stallMs; }

    QTcpSocket& socket() { return *m_socket; }

    // Winsock state numbers: 0 closed, 4 resolving host, 6 connecting, 7 connected.
    int state() const;

Q_SIGNALS:
    // The status line's text as bytes arrive ("Downloading : 2.02 Kb"); whoever shows a
    // status line connects to it.
    void statusChanged(const QString& text);

private:
    WebClient();
    QByteArray fetch(QString& url, int redirects, const QByteArray& extraHeaders);
    void onReadyRead();
    void takeArrivedData();
    bool fail(const QString& why);
    bool stalled() const { return m_sinceByte.hasExpired(m_stallMs); }
    void failStalled();

    QTcpSocket* m_socket;
    QByteArray m_buffer;
    qint64 m_received = 0;
    bool m_tooBig = false;
    bool m_active = false;
    bool m_cancelled = false;
    int m_stallMs = kDefaultStallMs;
    QElapsedTimer m_sinceByte; // since the request began or its last byte arrived
    QString m_failure;
    QString m_refusal;
    QString m_notice;
};

// What a whole HTTP response means for the fetch: taken as it is (a "200" answer, or a
// status line too short to read), followed to location (a "301", "302", "303", "307" or
// "308" with a non-empty "Location:" line), or refused (any other status; failure says why,
// refusal holds the server's status line when the server itself said no).
struct HttpDisposition {
    enum Kind { Accept, Redirect, Refuse };
    Kind kind = Accept;
    QString location;
    QString refusal;
    QString failure;
};
HttpDisposition ClassifyHttpResponse(const QString& response);

// The request text for url (already trimmed, "/" appended) naming host on its Host line;
// extraHeaders are whole lines put before the blank line.
QByteArray HttpRequestText(const QString& url, const QString& host, const QByteArray& extraHeaders = {});

// Why a trimmed address cannot be fetched (not http:// or https://, or holding a control
// character), or the empty text when it can.
QString AddressRefusal(const QString& url);

// The host part of an http:// or https:// URL: after "://" up to the next "/", trimmed.
QString UrlHost(const QString& url);
// A host part split into the name to connect to and its explicit port (0 when it names
// none or an unusable one): "h:8080" gives "h" and 8080, "[::1]:81" gives "::1" and 81.
QString HostName(const QString& host, quint16* explicitPort = nullptr);

// The numeric value of a text as the setup page reads it: leading blanks skipped, an
// optional sign, then the digits up to the first other character; 0 when there are none.
qint64 LeadingNumber(const QString& text);

// Shorthands on the main window's client.
QString GetWebSite(QString& url, const QByteArray& extraHeaders = {});
void ErrorOccured();

} // namespace tunora
