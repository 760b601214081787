#include "fingerprint/FingerprintJob.h"

#include <QMetaObject>
#include <QPointer>

#include <sys/resource.h>
#include <unistd.h>

namespace tunora {

FingerprintJob::FingerprintJob(QObject* parent) : QObject(parent) {}

FingerprintJob::~FingerprintJob()
{
    stop();
}

void FingerprintJob::stop()
{
    if (m_cancel)
        m_cancel->store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_cancel.reset();
}

void FingerprintJob::start(const QStringList& paths)
{
    stop();
    const quint64 generation = ++m_generation;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_running = true;
    const QPointer<FingerprintJob> self(this);
    // The worker tells this object's thread through queued calls; a call of a job that was
    // cancelled or replaced meanwhile is dropped there.
    m_thread = std::thread([self, generation, paths, cancel = m_cancel, job = this] {
        // Below the window's thread, and so are the workers it starts: a click or a repaint is
        // served first, the fingerprints take the cores in between.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
        QList<FileFingerprint> results = FingerprintFiles(
            paths,
            [&](qsizetype done, qsizetype total) {
                QMetaObject::invokeMethod(job, [self, generation, done, total] {
                    if (self && self->m_generation == generation && self->m_running)
                        Q_EMIT self->progress(done, total);
                }, Qt::QueuedConnection);
            },
            cancel.get());
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(job, [self, generation, results = std::move(results)] {
            if (!self || self->m_generation != generation || !self->m_running)
                return;
            self->m_running = false;
            Q_EMIT self->finished(results);
        }, Qt::QueuedConnection);
    });
}

void FingerprintJob::cancel()
{
    m_running = false;
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true);
}

} // namespace tunora
