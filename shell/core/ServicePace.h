// What every client of a paced web service shares: the machine-wide clock, the small file
// through which all Tunora processes keep one service's pace, and the wait a busy answer names.
#pragma once

#include <QByteArray>
#include <QString>

namespace tunora {

// Milliseconds on the system-wide monotonic clock (the same in every process).
qint64 MonotonicNow();

// The last start (or end) of a request of one service, in a file of the writable folder, held
// under a lock for the object's lifetime. Without the file a process keeps the pace alone.
class PaceFile {
public:
    explicit PaceFile(const QString& fileName);
    ~PaceFile();
    PaceFile(const PaceFile&) = delete;
    PaceFile& operator=(const PaceFile&) = delete;
    bool shared() const { return m_fd >= 0; }
    // Milliseconds until a request may start spacingMs after the recorded one; 0 when it may
    // start now, which is then recorded. fallback is this process's own last start, used when
    // the file cannot be read.
    qint64 claim(qint64 now, qint64 spacingMs, qint64 fallback = 0);
    void record(qint64 now);

private:
    int m_fd = -1;
};

// The wait a busy answer's Retry-After names, as seconds or as an HTTP date (zone "GMT");
// fallbackMs when it names neither. Waits far beyond any sensible one are cut at 10^6 s, so a
// caller can compare with its own longest.
qint64 RetryAfterMs(const QByteArray& value, qint64 fallbackMs);

} // namespace tunora
