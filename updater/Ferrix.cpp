#include "updater/Ferrix.h"

#include "dorvane/FileIo.h"
#include "shell/core/Shared.h"

#include <QUrl>
#include <curl/curl.h>

namespace tunora {

namespace {
void initCurlOnce()
{
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

// A transfer that makes no progress at all for this long is given up.
constexpr long kConnectTimeoutS = 30;
constexpr long kStallTimeoutS = 60;
constexpr int kPollMs = 20;
} // namespace

struct Ferrix::Transfer {
    Ferrix* owner = nullptr;
    dorvane::io::AtomicWriter* out = nullptr;
    qint64 maxBytes = 0;
    qint64 written = 0;
    bool writeFailed = false;
    bool tooLarge = false;

    static size_t write(char* data, size_t size, size_t count, void* user)
    {
        auto* t = static_cast<Transfer*>(user);
        const qint64 n = static_cast<qint64>(size * count);
        if (t->owner->m_abort)
            return 0;
        if (t->written + n > t->maxBytes) {
            t->tooLarge = true;
            return 0;
        }
        if (!t->out->write(data, n)) {
            t->writeFailed = true;
            return 0;
        }
        t->written += n;
        return static_cast<size_t>(n);
    }

    static int progress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t)
    {
        auto* t = static_cast<Transfer*>(user);
        Ferrix* f = t->owner;
        if (f->m_abort)
            return 1;
        if (dltotal > 0) {
            const int percent = static_cast<int>(std::clamp<curl_off_t>(dlnow * 100 / dltotal, 0, 100));
            if (percent != f->m_lastPercent) {
                f->m_lastPercent = percent;
                Q_EMIT f->Progress(percent, static_cast<double>(dltotal));
            }
        }
        return f->m_abort ? 1 : 0;
    }
};

Ferrix::Ferrix(QObject* parent) : QObject(parent) {}

Ferrix::~Ferrix()
{
    m_abort = true;
}

QString Ferrix::BuildUrl(const QString& host, int port, const QString& folder, const QString& fileName)
{
    QString path;
    QString f = folder;
    if (f.startsWith('/')) {
        // "%2F" makes the server change to its root first.
        path = QStringLiteral("/%2F");
        f.remove(0, 1);
    } else {
        path = QStringLiteral("/");
    }
    const QStringList segments = f.split('/', Qt::SkipEmptyParts);
    for (const QString& s : segments)
        path += QString::fromLatin1(QUrl::toPercentEncoding(s)) + '/';
    if (path == QLatin1String("/%2F"))
        path += '/';
    path += QString::fromLatin1(QUrl::toPercentEncoding(fileName));
    QString h = host;
    if (h.contains(':') && !h.startsWith('['))
        h = '[' + h + ']';
    return QStringLiteral("ftp://%1:%2%3").arg(h).arg(port).arg(path);
}

bool Ferrix::download(const QString& user, const QString& password, const QString& host, int port,
                      const QString& folder, const QString& fileName, const QString& localPath, qint64 maxBytes)
{
    if (m_transferring) {
        m_error = QStringLiteral("a transfer is already running");
        return false;
    }
    initCurlOnce();
    m_transferring = true;
    m_closed = false;
    m_abort = false;
    m_error.clear();
    m_lastPercent = -1;

    // The file appears whole, or not at all: a cut transfer leaves the old one in place.
    dorvane::io::AtomicWriter out;
    Transfer t;
    t.owner = this;
    t.out = &out;
    t.maxBytes = maxBytes;

    bool ok = false;
    if (!out.open(localPath)) {
        m_error = out.errorString();
        Q_EMIT State(QStringLiteral("Cannot write %1: %2").arg(localPath, m_error));
        m_transferring = false;
        return false;
    }

    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    const QByteArray url = BuildUrl(host, port, folder, fileName).toUtf8();
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passBytes = password.toUtf8();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(easy, CURLOPT_USERNAME, userBytes.constData());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, passBytes.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallTimeoutS);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_multi_add_handle(multi, easy);

    Q_EMIT State(QStringLiteral("Connecting to %1:%2").arg(host).arg(port));
    CURLcode result = CURLE_OK;
    bool finished = false;
    while (!finished) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                result = msg->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) {
            finished = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
        YieldEvents();
        if (m_abort) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
    }
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);

    if (m_abort) {
        m_closed = true;
        m_error = QStringLiteral("Transfer closed");
    } else if (t.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        m_error = QStringLiteral("File larger than %1 bytes").arg(maxBytes);
    } else if (t.writeFailed) {
        m_error = out.errorString();
    } else if (result != CURLE_OK) {
        m_error = QString::fromUtf8(curl_easy_strerror(result));
    } else if (!out.commit()) {
        m_error = out.errorString();
    } else {
        ok = true;
    }
    if (!ok)
        out.cancel();
    m_transferring = false;
    Q_EMIT State(ok ? QStringLiteral("Transfer complete") : QStringLiteral("Transfer failed: %1").arg(m_error));
    return ok;
}

void Ferrix::close()
{
    if (m_transferring)
        m_abort = true;
}

} // namespace tunora
