#include "audio/PosixFile.h"

#include "dorvane/FileIo.h"
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tunora {

PosixFile::~PosixFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PosixFile::open(const QString& path, int flags, int mode)
{
    do
        m_fd = ::open(dorvane::io::EncodeName(path).constData(), flags | O_CLOEXEC, mode);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        setErrorFromErrno();
    return m_fd >= 0;
}

void PosixFile::adopt(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool PosixFile::close()
{
    if (m_fd < 0)
        return true;
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0 && errno != EINTR) {
        setErrorFromErrno();
        return false;
    }
    return true;
}

qint64 PosixFile::size()
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        setErrorFromErrno();
        return -1;
    }
    return static_cast<qint64>(st.st_size);
}

void PosixFile::setErrorFromErrno()
{
    m_error = QString::fromLocal8Bit(std::strerror(errno));
}

qint64 PreadFully(int fd, void* buf, qint64 n, qint64 offset)
{
    auto* p = static_cast<char*>(buf);
    qint64 done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, p + done, static_cast<size_t>(n - done), static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        done += r;
    }
    return done;
}

bool PwriteFully(int fd, const void* buf, qint64 n, qint64 offset)
{
    const auto* p = static_cast<const char*>(buf);
    qint64 done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd, p + done, static_cast<size_t>(n - done), static_cast<off_t>(offset + done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0) {
            errno = EIO;
            return false;
        }
        done += w;
    }
    return true;
}

} // namespace tunora
