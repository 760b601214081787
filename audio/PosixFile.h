// A file descriptor with 64-bit offsets, closed on scope exit, and reads/writes that
// retry short transfers and interrupts.
#pragma once

#include <QString>
#include <fcntl.h>

namespace tunora {

class PosixFile {
public:
    PosixFile() = default;
    ~PosixFile();
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool open(const QString& path, int flags, int mode = 0);
    // Takes ownership of an open descriptor.
    void adopt(int fd);
    // Closes and answers false (reason in error()) when the close reported a failure.
    bool close();
    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    qint64 size();
    // The reason for the last failure, from errno.
    QString error() const { return m_error; }
    void setErrorFromErrno();

private:
    int m_fd = -1;
    QString m_error;
};

// Reads up to n bytes at offset; fewer only at the end of the file; -1 on error (errno set).
qint64 PreadFully(int fd, void* buf, qint64 n, qint64 offset);
// Writes all n bytes at offset; false on error (errno set, EFBIG/ENOSPC included).
bool PwriteFully(int fd, const void* buf, qint64 n, qint64 offset);

} // namespace tunora
