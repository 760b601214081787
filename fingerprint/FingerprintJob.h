// Fingerprints an album's files off the caller's thread, on every core, and tells the
// caller's thread its progress and the outcome through signals.
#pragma once

#include "fingerprint/Fingerprint.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

namespace tunora {

class FingerprintJob : public QObject {
    Q_OBJECT
public:
    explicit FingerprintJob(QObject* parent = nullptr);
    ~FingerprintJob() override; // cancels and waits for the running job

    // A new start cancels the running job; only the newest one reports.
    void start(const QStringList& paths);
    void cancel();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void progress(qsizetype done, qsizetype total);
    void finished(const QList<tunora::FileFingerprint>& fingerprints);

private:
    void stop();
    std::thread m_thread;
    std::shared_ptr<std::atomic_bool> m_cancel;
    quint64 m_generation = 0;
    bool m_running = false;
};

} // namespace tunora
