#include "acoustid/AcoustIdClient.h"

#include "shell/core/Product.h"
#include "shell/core/ServicePace.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>


namespace tunora {

namespace {

constexpr int kMaxRetries = 3;
constexpr qint64 kBusyWaitMs = 2000;
constexpr qint64 kLongestWaitMs = 60000; // a longer Retry-After fails the lookup instead
constexpr qsizetype kLongestGetUrl = 2048; // longer lookups go as a form

// Milliseconds until a request may start; 0 when it may start now, which is then recorded.
// Every Tunora process of the machine keeps the pace through one small file.
qint64 ClaimStart()
{
    static QMutex lock;
    static qint64 lastHere = 0;
    const QMutexLocker locker(&lock);
    const qint64 now = MonotonicNow();
    const qint64 wait = PaceFile(QStringLiteral("acoustid.pace")).claim(now, kAcoustIdSpacingMs, lastHere);
    if (wait == 0)
        lastHere = now;
    return wait;
}

} // namespace

AcoustIdClient::AcoustIdClient(QObject* parent) : QObject(parent), m_nam(new QNetworkAccessManager(this))
{
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, [this] {
        m_stalled = true;
        if (m_reply)
            m_reply->abort();
    });
    m_wait.setSingleShot(true);
    m_wait.setTimerType(Qt::PreciseTimer);
    connect(&m_wait, &QTimer::timeout, this, &AcoustIdClient::send);
}

AcoustIdClient::~AcoustIdClient()
{
    dropReply();
}

void AcoustIdClient::lookup(const QString& key, int seconds, const QByteArray& fingerprint)
{
    cancel();
    m_query = AcoustIdLookupQuery(key, seconds, fingerprint);
    m_retries = 0;
    m_running = true;
    send();
}

void AcoustIdClient::cancel()
{
    m_wait.stop();
    dropReply();
    m_running = false;
}

void AcoustIdClient::send()
{
    if (!m_running)
        return;
    if (const qint64 wait = ClaimStart()) {
        m_wait.start(static_cast<int>(wait));
        return;
    }
    QUrl url = AcoustIdLookupUrl();
    const bool asForm = url.toEncoded().size() + 1 + m_query.size() > kLongestGetUrl;
    if (!asForm)
        url.setQuery(QString::fromLatin1(m_query), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1/%2").arg(QLatin1String(product::kName), QLatin1String(product::kVersion)));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The proxy of the settings, as the other services use it; never one from elsewhere.
    if (Setting(setting::kUseProxy).trimmed() == QLatin1String("1"))
        m_nam->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, Setting(setting::kProxyName).trimmed(),
                                      PortFromSetting(Setting(setting::kProxyPort))));
    else
        m_nam->setProxy(QNetworkProxy::NoProxy);
    m_body.clear();
    m_tooBig = m_stalled = false;
    if (asForm) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
        m_reply = m_nam->post(request, m_query);
    } else {
        m_reply = m_nam->get(request);
    }
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (m_reply && m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxAcoustIdAnswerBytes) {
            m_tooBig = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &AcoustIdClient::received);
    connect(m_reply, &QNetworkReply::finished, this, &AcoustIdClient::finished);
    m_stall.start(m_stallMs);
}

void AcoustIdClient::received()
{
    m_stall.start(m_stallMs);
    if (m_tooBig || !m_reply)
        return;
    m_body += m_reply->read(kMaxAcoustIdAnswerBytes + 1 - m_body.size());
    if (m_body.size() > kMaxAcoustIdAnswerBytes) {
        m_tooBig = true;
        m_reply->abort();
    }
}

void AcoustIdClient::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    if (!m_tooBig && !m_stalled)
        received();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QString networkError = reply->errorString();
    const QByteArray retryAfter = reply->rawHeader("Retry-After");
    dropReply();

    if (m_tooBig)
        return fail(QStringLiteral("the answer is larger than %1 MiB").arg(kMaxAcoustIdAnswerBytes >> 20));
    if (m_stalled)
        return fail(QStringLiteral("no data came for %1 s").arg(m_stallMs / 1000.0));
    if (status == 0)
        return fail(networkError);
    if ((status == 503 || status == 429) && m_retries < kMaxRetries) {
        const qint64 wait = RetryAfterMs(retryAfter, kBusyWaitMs);
        if (wait > kLongestWaitMs)
            return fail(QStringLiteral("the service is busy for %1 s; try again later").arg(wait / 1000));
        ++m_retries;
        m_wait.start(static_cast<int>(wait));
        return;
    }
    // The service tells its refusals (a wrong key, a fingerprint it cannot read) as an
    // "error" answer, with 400 or such.
    AidAnswer answer;
    QString why;
    if ((status == 200 || (status >= 400 && status < 500)) && ParseAcoustIdAnswer(m_body, answer, &why)) {
        m_running = false;
        Q_EMIT answered(answer);
        return;
    }
    if (status == 200)
        return fail(why);
    fail(QStringLiteral("the service answered %1 %2").arg(status).arg(reason).trimmed());
}

void AcoustIdClient::fail(const QString& why)
{
    m_running = false;
    Q_EMIT failed(why);
}

void AcoustIdClient::dropReply()
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
