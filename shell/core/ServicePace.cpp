#include "shell/core/ServicePace.h"

#include "shell/core/Shared.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tunora {

qint64 MonotonicNow()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

PaceFile::PaceFile(const QString& fileName)
{
    m_fd = ::open(QFile::encodeName(WritableFolder() + QLatin1Char('/') + fileName).constData(),
                  O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PaceFile::~PaceFile()
{
    if (m_fd >= 0)
        ::close(m_fd); // also releases the lock
}

qint64 PaceFile::claim(qint64 now, qint64 spacingMs, qint64 fallback)
{
    qint64 last = fallback;
    char text[32] = {};
    if (m_fd >= 0 && ::pread(m_fd, text, sizeof text - 1, 0) > 0)
        last = std::atoll(text);
    // A time ahead of the clock is from an earlier boot.
    if (last <= now && now < last + spacingMs)
        return last + spacingMs - now;
    record(now);
    return 0;
}

void PaceFile::record(qint64 now)
{
    const QByteArray text = QByteArray::number(now);
    if (m_fd >= 0 && ::pwrite(m_fd, text.constData(), static_cast<size_t>(text.size()), 0) == text.size())
        (void)::ftruncate(m_fd, text.size());
}

qint64 RetryAfterMs(const QByteArray& value, qint64 fallbackMs)
{
    const QByteArray trimmed = value.trimmed();
    if (trimmed.isEmpty())
        return fallbackMs;
    bool number = false;
    const qint64 seconds = trimmed.toLongLong(&number);
    if (number)
        return seconds < 0 ? fallbackMs : qMin<qint64>(seconds, 1000000) * 1000;
    // An HTTP date names its zone "GMT", which the e-mail date reader does not take.
    QString date = QString::fromLatin1(trimmed);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(3) + QLatin1String("+0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (when.isValid())
        return qBound<qint64>(0, QDateTime::currentDateTimeUtc().msecsTo(when), qint64(1000000) * 1000);
    return fallbackMs;
}

} // namespace tunora
