// Asking the AcoustID web service over HTTP(S), one lookup at a time per client. Every client
// of every Tunora process shares one pace: at most 3 requests start in any second (the last
// start lives in the "acoustid.pace" file of the writable folder, under a lock). A busy
// answer (503, 429) is retried after its Retry-After (else 2 s), at most 3 times; answers are
// bounded to 8 MiB; a transfer that stalls for 30 s fails.
#pragma once

#include "acoustid/AcoustId.h"

#include <QObject>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

namespace tunora {

inline constexpr qint64 kMaxAcoustIdAnswerBytes = 8 << 20;
// Starts this far apart keep to 3 a second with room for the way to the service.
inline constexpr int kAcoustIdSpacingMs = 350;

class AcoustIdClient : public QObject {
    Q_OBJECT
public:
    explicit AcoustIdClient(QObject* parent = nullptr);
    ~AcoustIdClient() override;

    // Ends in exactly one of answered (also for the service's own "error" answers) or
    // failed, unless cancelled; a new lookup cancels the running one. A long fingerprint
    // goes as a POST form, a short one in the address.
    void lookup(const QString& key, int seconds, const QByteArray& fingerprint);
    void cancel();
    bool isRunning() const { return m_running; }

    void setStallTimeout(int ms) { m_stallMs = ms; }

Q_SIGNALS:
    void answered(const tunora::AidAnswer& answer);
    void failed(const QString& why);

private:
    void send();
    void received();
    void finished();
    void fail(const QString& why);
    void dropReply();

    QNetworkAccessManager* m_nam;
    QNetworkReply* m_reply = nullptr;
    QTimer m_stall, m_wait;
    int m_stallMs = 30000;
    QByteArray m_query, m_body;
    int m_retries = 0;
    bool m_running = false, m_tooBig = false, m_stalled = false;
};

} // namespace tunora
