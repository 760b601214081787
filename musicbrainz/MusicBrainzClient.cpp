#include "musicbrainz/MusicBrainzClient.h"

#include "shell/core/ServicePace.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>


namespace tunora {

namespace {

// The system's proxy settings (https_proxy, http_proxy, no_proxy): the proxy of the setup
// page is the CDDB service's and refuses other hosts.
class SystemProxy : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

constexpr int kMaxRetries = 3;
constexpr int kMaxRedirects = 5;
constexpr qint64 kBusyWaitMs = 2000;
constexpr qint64 kLongestWaitMs = 60000; // a longer Retry-After fails the request instead

// Every Tunora process of the machine (windows, tunora-cli runs of a script) keeps the pace
// through this file: the last moment one of them sent or ended a request.
constexpr char kPaceFile[] = "musicbrainz.pace";

} // namespace

// The program's one pace for these services: requests go out one at a time, in the order
// asked, each one second or more after the previous one ended (and not before its own
// earliest time, for a retry).
class RequestPace : public QObject {
public:
    static RequestPace& instance()
    {
        static QPointer<RequestPace> pace;
        if (!pace)
            pace = new RequestPace(QCoreApplication::instance());
        return *pace;
    }
    qint64 now() const { return MonotonicNow(); }
    void enqueue(MusicBrainzClient* client, qint64 notBefore)
    {
        m_waiting.append({client, notBefore});
        m_timer.start(0);
    }
    // The client's request is no longer waiting or running.
    void withdraw(MusicBrainzClient* client)
    {
        m_waiting.removeIf([client](const Waiter& w) { return w.client == client; });
        if (m_active == client) {
            m_active = nullptr;
            m_lastEnd = now();
            PaceFile(QLatin1String(kPaceFile)).record(m_lastEnd);
            m_timer.start(0);
        }
    }

private:
    explicit RequestPace(QObject* parent) : QObject(parent)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &RequestPace::pump);
    }
    void pump()
    {
        if (m_active || m_waiting.isEmpty())
            return;
        const qint64 due = qMax(m_lastEnd + kRequestSpacingMs, m_waiting.first().notBefore);
        if (now() < due) {
            m_timer.start(static_cast<int>(due - now()));
            return;
        }
        if (const qint64 wait = PaceFile(QLatin1String(kPaceFile)).claim(now(), kRequestSpacingMs)) {
            m_timer.start(static_cast<int>(wait));
            return;
        }
        m_active = m_waiting.takeFirst().client;
        m_active->transmit();
    }

    struct Waiter {
        MusicBrainzClient* client;
        qint64 notBefore;
    };
    QList<Waiter> m_waiting;
    MusicBrainzClient* m_active = nullptr;
    qint64 m_lastEnd = -kRequestSpacingMs;
    QTimer m_timer;
};

MusicBrainzClient::MusicBrainzClient(QObject* parent) : QObject(parent), m_nam(new QNetworkAccessManager(this))
{
    m_nam->setProxyFactory(new SystemProxy); // owned by the manager
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, [this] {
        m_stalled = true;
        if (m_reply)
            m_reply->abort();
    });
}

MusicBrainzClient::~MusicBrainzClient()
{
    RequestPace::instance().withdraw(this);
    dropReply();
}

void MusicBrainzClient::searchReleases(const QString& words, bool more)
{
    start(Kind::Releases, SearchUrl(words, more));
}

void MusicBrainzClient::lookupLayout(const DiscLayout& layout)
{
    start(Kind::Releases, TocUrl(layout));
}

void MusicBrainzClient::readRelease(const QString& releaseId)
{
    start(Kind::Release, ReleaseUrl(releaseId));
}

void MusicBrainzClient::fetchFrontCover(const QString& releaseId)
{
    start(Kind::Cover, FrontCoverUrl(releaseId));
}

void MusicBrainzClient::cancel()
{
    if (m_kind == Kind::None)
        return;
    RequestPace::instance().withdraw(this);
    dropReply();
    m_kind = Kind::None;
    Q_EMIT runningChanged(false);
}

void MusicBrainzClient::start(Kind kind, const QUrl& url)
{
    cancel();
    m_kind = kind;
    m_refusal.clear();
    m_retries = m_redirects = 0;
    Q_EMIT runningChanged(true);
    queue(url, 0);
}

void MusicBrainzClient::queue(const QUrl& url, qint64 delayMs)
{
    m_url = url;
    RequestPace::instance().enqueue(this, RequestPace::instance().now() + delayMs);
}

void MusicBrainzClient::transmit()
{
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::UserAgentHeader, MusicBrainzUserAgent());
    request.setRawHeader("Accept", m_kind == Kind::Cover ? "image/*" : "application/json");
    // Every hop of a redirect goes through the pace as a request of its own.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_body.clear();
    m_tooBig = m_stalled = false;
    m_reply = m_nam->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (m_reply && m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxAnswerBytes) {
            m_tooBig = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &MusicBrainzClient::received);
    connect(m_reply, &QNetworkReply::finished, this, &MusicBrainzClient::finished);
    m_stall.start(m_stallMs);
}

void MusicBrainzClient::received()
{
    m_stall.start(m_stallMs);
    if (m_tooBig)
        return;
    m_body += m_reply->read(kMaxAnswerBytes + 1 - m_body.size());
    if (m_body.size() > kMaxAnswerBytes) {
        m_tooBig = true;
        m_reply->abort();
    }
}

namespace {

bool IsRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

void MusicBrainzClient::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    if (!m_tooBig && !m_stalled)
        received();
    m_stall.stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QString networkError = reply->errorString();
    const QByteArray retryAfter = reply->rawHeader("Retry-After");
    const QUrl location = m_url.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
    dropReply();
    RequestPace::instance().withdraw(this);

    if (m_tooBig)
        return fail(QStringLiteral("the answer is larger than %1 MiB").arg(kMaxAnswerBytes >> 20));
    if (m_stalled)
        return fail(QStringLiteral("no data came for %1 s").arg(m_stallMs / 1000.0));
    if (status == 0)
        return fail(networkError);
    if (status == 503 && m_retries < kMaxRetries) {
        const qint64 wait = RetryAfterMs(retryAfter, kBusyWaitMs);
        if (wait > kLongestWaitMs)
            return fail(QStringLiteral("the service is busy for %1 s; try again later").arg(wait / 1000));
        ++m_retries;
        return queue(m_url, wait);
    }
    if (IsRedirect(status)) {
        const QString scheme = location.scheme();
        if (++m_redirects > kMaxRedirects)
            return fail(QStringLiteral("too many redirects"));
        if (!location.isValid() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")) ||
            (m_url.scheme() == QLatin1String("https") && scheme != QLatin1String("https")))
            return fail(QStringLiteral("refused redirect to ") + location.toString());
        return queue(location, 0);
    }
    answer(status, m_body);
}

void MusicBrainzClient::answer(int status, const QByteArray& body)
{
    const Kind kind = m_kind;
    QString why;
    if (kind == Kind::Cover && (status == 200 || status == 404)) {
        // Only a picture is a cover; an error page answered with 200 is none.
        const QByteArray image = status == 200 && !ImageMimeType(body).isEmpty() ? body : QByteArray();
        end();
        Q_EMIT coverReady(image);
        return;
    }
    // A disc ID nobody knows is answered 404; a search answered so was refused.
    const bool none = status == 404 && m_url.path().contains(QLatin1String("/discid/"));
    if (kind == Kind::Releases && (status == 200 || none)) {
        QList<MbRelease> releases;
        if (none || ParseReleaseList(body, releases, &why)) {
            end();
            Q_EMIT releasesReady(releases);
            return;
        }
        return fail(why);
    }
    if (kind == Kind::Release && status == 200) {
        MbRelease release;
        if (!ParseRelease(body, release, &why))
            return fail(why);
        end();
        Q_EMIT releaseReady(release);
        return;
    }
    if (kind == Kind::Release && status == 404)
        return fail(QStringLiteral("no such release"));
    m_refusal = QStringLiteral("%1 %2").arg(status).arg(m_reason).trimmed();
    fail(QStringLiteral("the service answered ") + m_refusal);
}

void MusicBrainzClient::fail(const QString& why)
{
    end();
    Q_EMIT failed(why);
}

// The request is over before its outcome is told, so a receiver may start the next one.
void MusicBrainzClient::end()
{
    m_kind = Kind::None;
    Q_EMIT runningChanged(false);
}

void MusicBrainzClient::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    m_stall.stop();
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

} // namespace tunora
