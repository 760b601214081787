#include "freedb/WebClient.h"

#include "freedb/FreedbTexts.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace tunora {

namespace {

constexpr int kPollMs = 20;

// Keeps the busy state on for the call and puts back what the caller had on every path, so
// a search that is busy around its fetch stays busy until it ends itself.
class BusyScope {
public:
    BusyScope() : m_previous(IsBusy()) { SetBusy(true); }
    ~BusyScope() { SetBusy(m_previous); }

private:
    bool m_previous;
};

} // namespace

qint64 LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        if (value < (qint64(1) << 50)) // saturate far beyond any port, offset or length
            value = value * 10 + (text.at(i).unicode() - '0');
    }
    return negative ? -value : value;
}

QString AddressRefusal(const QString& url)
{
    const bool http = url.size() >= 7 && url.startsWith(QLatin1String("http://"));
    const bool https = url.size() >= 9 && url.startsWith(QLatin1String("https://"));
    if (!http && !https)
        return QStringLiteral("not an http:// address: ") + url;
    // A line break in the address would let a server's text write its own request lines.
    for (const QChar c : url)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("control character in the address");
    return QString();
}

QString UrlHost(const QString& url)
{
    const qsizetype sep = url.indexOf(QLatin1String("://"));
    if (sep < 0)
        return QString();
    const qsizetype start = sep + 3;
    const qsizetype slash = url.indexOf(QLatin1Char('/'), start);
    return (slash < 0 ? url.mid(start) : url.mid(start, slash - start)).trimmed();
}

QString HostName(const QString& host, quint16* explicitPort)
{
    QString name = host;
    QString port;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close > 0) {
            name = host.mid(1, close - 1);
            if (host.mid(close + 1).startsWith(QLatin1Char(':')))
                port = host.mid(close + 2);
        }
    } else if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        name = host.left(colon);
        port = host.mid(colon + 1);
    }
    if (explicitPort) {
        bool ok = false;
        const uint n = port.toUInt(&ok);
        *explicitPort = (ok && n >= 1 && n <= 65535) ? static_cast<quint16>(n) : 0;
    }
    return name;
}

QByteArray HttpRequestText(const QString& url, const QString& host, const QByteArray& extraHeaders)
{
    QString request;
    request += QLatin1String("GET ") + url + QLatin1String(" HTTP/1.0\r\n");
    request += QLatin1String("Accept: */*\r\n");
    request += QLatin1String("User-Agent: ") + QLatin1String(product::kName) + QLatin1String("\r\n");
    request += QLatin1String("Host: ") + host + QLatin1String("\r\n");
    request += QLatin1String("Referer: ") + QLatin1String(product::kWebSite) + QLatin1String("\r\n");
    return request.toUtf8() + extraHeaders + "\r\n";
}

WebClient& WebClient::instance()
{
    static WebClient* client = new WebClient;
    return *client;
}

WebClient::WebClient() : m_socket(new QTcpSocket(this))
{
    // Bounded reads: a flood is cut at the size limit instead of piling up in the socket.
    m_socket->setReadBufferSize(256 * 1024);
    connect(m_socket, &QTcpSocket::readyRead, this, &WebClient::onReadyRead);
}

int WebClient::state() const
{
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState: return 4;
    case QAbstractSocket::ConnectingState: return 6;
    case QAbstractSocket::ConnectedState: return 7;
    case QAbstractSocket::ClosingState: return 8;
    default: return 0;
    }
}

void WebClient::onReadyRead()
{
    // Data that arrives while the connection is being dropped is not taken.
    if (state() != 7)
        return;
    takeArrivedData();
}

void WebClient::takeArrivedData()
{
    if (m_tooBig)
        return;
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    if (m_buffer.size() + data.size() > kMaxResponseBytes) {
        m_tooBig = true;
        m_socket->abort();
        return;
    }
    m_buffer += data;
    m_received += data.size();
    m_sinceByte.restart();
    Q_EMIT statusChanged(QLatin1String("Downloading : ") + QString::number(double(m_received) / 1024.0, 'f', 2) +
                         QLatin1String(" Kb"));
}

bool WebClient::fail(const QString& why)
{
    m_failure = why;
    return false;
}

void WebClient::failStalled()
{
    ErrorOccured();
    const int seconds = (m_stallMs + 999) / 1000;
    fail(QStringLiteral("no answer from the server for %1 seconds").arg(seconds));
    m_notice = freedbtext::NoAnswer(seconds);
}

void WebClient::ErrorOccured()
{
    m_socket->abort();
    while (state() != 0)
        WaitMs(kPollMs);
}

QString WebClient::GetWebSite(QString& url, const QByteArray& extraHeaders)
{
    return DecodeText(GetWebBytes(url, extraHeaders));
}

QByteArray WebClient::GetWebBytes(QString& url, const QByteArray& extraHeaders)
{
    // One socket serves one request: a call made from the event loop while another waits
    // (a second click) must not close the running one's connection under it.
    if (m_active) {
        m_failure = QStringLiteral("another request is running");
        return QByteArray();
    }
    m_active = true;
    BusyScope busy;
    m_failure.clear();
    m_refusal.clear();
    m_notice.clear();
    m_cancelled = false;
    QByteArray answer = fetch(url, 0, extraHeaders);
    m_active = false;
    return answer;
}

QByteArray WebClient::fetch(QString& url, int redirects, const QByteArray& extraHeaders)
{
    ErrorOccured();

    url = url.trimmed();
    if (const QString refusal = AddressRefusal(url); !refusal.isEmpty()) {
        fail(refusal);
        return QByteArray();
    }
    // An address of the host alone gets the root path; one with a path stays as it is,
    // even when the path happens to end with the host's name.
    const QString host = UrlHost(url);
    if (url.indexOf(QLatin1Char('/'), url.indexOf(QLatin1String("://")) + 3) < 0)
        url += QLatin1Char('/');

    m_buffer.clear();
    m_tooBig = false;

    QString target;
    quint16 port;
    if (Setting(setting::kUseProxy).trimmed() == QLatin1String("1")) {
        target = Setting(setting::kProxyName).trimmed();
        port = PortFromSetting(Setting(setting::kProxyPort));
    } else {
        // A port in the address (a redirect's Location often has one) wins over the setting.
        target = HostName(host, &port);
        if (port == 0)
            port = PortFromSetting(Setting(setting::kHttpPort));
    }
    m_sinceByte.start();
    m_socket->connectToHost(target, port);

    // The cancel button also ends a connection attempt that hangs.
    SetCancelRequested(false);
    while (state() != 7 && (state() == 3 || state() == 4 || state() == 5 || state() == 6)) {
        WaitMs(kPollMs);
        if (CancelRequested()) {
            ErrorOccured();
            m_cancelled = true;
            fail(QStringLiteral("cancelled"));
            return QByteArray();
        }
        if (stalled()) {
            failStalled();
            return QByteArray();
        }
    }
    if (state() != 7) {
        const QString why = m_socket->errorString();
        ErrorOccured();
        fail(QStringLiteral("cannot connect to %1:%2: %3").arg(target).arg(port).arg(why));
        return QByteArray();
    }

    m_buffer.clear();
    m_socket->write(HttpRequestText(url, host, extraHeaders));
    m_socket->flush();

    SetCancelRequested(false);
    while (state() == 7 && !CancelRequested() && !stalled())
        WaitMs(kPollMs);

    if (CancelRequested()) {
        ErrorOccured();
        m_cancelled = true;
        fail(QStringLiteral("cancelled"));
        return QByteArray();
    }
    if (state() == 7) {
        failStalled();
        return QByteArray();
    }
    // The last data can come together with the server's close: take what is still buffered.
    takeArrivedData();
    if (m_tooBig) {
        ErrorOccured();
        fail(QStringLiteral("response larger than %1 bytes").arg(kMaxResponseBytes));
        return QByteArray();
    }
    if (state() != 0)
        ErrorOccured();

    const HttpDisposition d = ClassifyHttpResponse(DecodeText(m_buffer));
    switch (d.kind) {
    case HttpDisposition::Accept:
        return m_buffer;
    case HttpDisposition::Refuse:
        m_refusal = d.refusal;
        fail(d.failure);
        return QByteArray();
    case HttpDisposition::Redirect:
        break;
    }
    QString next = d.location.trimmed();
    // The client speaks plain HTTP only: say so rather than fail without a word.
    if (next.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        fail(QStringLiteral("the server moved to a secure address (%1), which the CDDB client cannot fetch").arg(next));
        m_notice = freedbtext::MovedToHttps(next);
        return QByteArray();
    }
    if (redirects >= kMaxRedirects) {
        fail(QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
        return QByteArray();
    }
    // The extra lines (the user's address) go to the server they were meant for, not to any
    // host a redirect names.
    const bool sameHost = UrlHost(next).compare(host, Qt::CaseInsensitive) == 0;
    return fetch(next, redirects + 1, sameHost ? extraHeaders : QByteArray());
}

HttpDisposition ClassifyHttpResponse(const QString& response)
{
    HttpDisposition d;
    const qsizetype cr = response.indexOf(QLatin1Char('\r'));
    const qsizetype lf = response.indexOf(QLatin1Char('\n'));
    const QString statusLine = (cr < 0 || lf < 0) ? QString() : response.left(std::min(cr, lf) + 1);
    if (statusLine.size() <= 8)
        return d;
    // Only blanks are trimmed: the line's CR stays, as the code is read from its start.
    QString status = statusLine.mid(8);
    while (status.startsWith(QLatin1Char(' ')))
        status.remove(0, 1);
    while (status.endsWith(QLatin1Char(' ')))
        status.chop(1);
    if (status.size() <= 3)
        return d;

    const QString code = status.left(3);
    if (code == QLatin1String("200"))
        return d;
    d.kind = HttpDisposition::Refuse;
    static const QStringList kRedirects = {QStringLiteral("301"), QStringLiteral("302"), QStringLiteral("303"),
                                           QStringLiteral("307"), QStringLiteral("308")};
    if (!kRedirects.contains(code)) {
        d.refusal = statusLine.trimmed();
        d.failure = QStringLiteral("server answered: ") + d.refusal;
        return d;
    }

    const qsizetype loc = response.indexOf(QLatin1String("Location:"));
    if (loc < 0) {
        d.failure = code + QStringLiteral(" without Location");
        return d;
    }
    const qsizetype start = loc + 9;
    const qsizetype nextCr = response.indexOf(QLatin1Char('\r'), start);
    const qsizetype nextLf = response.indexOf(QLatin1Char('\n'), start);
    if (nextCr < 0 && nextLf < 0) {
        d.failure = code + QStringLiteral(" with an unterminated Location");
        return d;
    }
    const qsizetype end = nextCr < 0 ? nextLf : (nextLf < 0 ? nextCr : std::min(nextCr, nextLf));
    d.location = response.mid(start, end - start);
    if (d.location.isEmpty()) {
        d.failure = code + QStringLiteral(" with an empty Location");
        return d;
    }
    d.kind = HttpDisposition::Redirect;
    return d;
}

QString GetWebSite(QString& url, const QByteArray& extraHeaders)
{
    return WebClient::instance().GetWebSite(url, extraHeaders);
}

void ErrorOccured()
{
    WebClient::instance().ErrorOccured();
}

} // namespace tunora
