// Asking the MusicBrainz web service and the Cover Art Archive over HTTP(S). One request at
// a time per client; every client of the program shares one pace: a request starts no
// sooner than one second after the previous one of this process ended, nor one second
// after another Tunora process sent or ended one. A busy answer (503) is retried
// after its Retry-After (else 2 s), at most 3 times; answers are bounded to 16 MiB; a
// transfer that stalls for 30 s fails.
#pragma once

#include "musicbrainz/MusicBrainz.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace tunora {

inline constexpr qint64 kMaxAnswerBytes = 16 << 20;
inline constexpr int kRequestSpacingMs = 1000;

class MusicBrainzClient : public QObject {
    Q_OBJECT
public:
    explicit MusicBrainzClient(QObject* parent = nullptr);
    ~MusicBrainzClient() override;

    // Each request ends in exactly one of its answer signal or failed, unless cancelled; a
    // new request cancels the running one.
    void searchReleases(const QString& words, bool more); // releasesReady
    void lookupLayout(const DiscLayout& layout);          // releasesReady (none when unknown)
    void readRelease(const QString& releaseId);           // releaseReady
    void fetchFrontCover(const QString& releaseId);       // coverReady (empty when there is none)
    void cancel();
    bool isRunning() const { return m_kind != Kind::None; }

    void setStallTimeout(int ms) { m_stallMs = ms; }
    // Of the last failure: the service's HTTP status and reason ("404 Not Found") when it
    // refused the request; empty for a failure of another kind.
    QString refusal() const { return m_refusal; }

Q_SIGNALS:
    void runningChanged(bool running);
    void releasesReady(const QList<tunora::MbRelease>& releases);
    void releaseReady(const tunora::MbRelease& release);
    void coverReady(const QByteArray& image);
    void failed(const QString& why);

private:
    enum class Kind { None, Releases, Release, Cover };
    friend class RequestPace;

    void start(Kind kind, const QUrl& url);
    void queue(const QUrl& url, qint64 delayMs);
    void transmit();
    void received();
    void finished();
    void answer(int status, const QByteArray& body);
    void fail(const QString& why);
    void end();
    void dropReply();

    QNetworkAccessManager* m_nam;
    QNetworkReply* m_reply = nullptr;
    QTimer m_stall;
    int m_stallMs = 30000;
    Kind m_kind = Kind::None;
    QUrl m_url;
    QByteArray m_body;
    QString m_reason;
    QString m_refusal; // of the last failure: the service's status and reason, else empty
    int m_retries = 0, m_redirects = 0;
    bool m_tooBig = false, m_stalled = false;
};

} // namespace tunora
