#include "dorvane/FileIo.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvane::io {

namespace {
// Code points of the bytes 0x80..0x9F in Windows-1252 (undefined bytes keep their value).
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}
} // namespace

QString DecodeText(const QByteArray& bytes, bool* wasUtf8)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (wasUtf8)
            *wasUtf8 = true;
        if (s.startsWith(QChar(0xFEFF)))
            s.remove(0, 1);
        return s;
    }
    if (wasUtf8)
        *wasUtf8 = false;
    return DecodeCp1252(bytes);
}

QString DecodeCp1252(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return out;
}

bool EncodeCp1252(const QString& text, QByteArray* out)
{
    out->clear();
    out->reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out->append(char(u));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == u)
                found = i;
        if (found < 0)
            return false;
        out->append(char(0x80 + found));
    }
    return true;
}

namespace {
// The length of the valid UTF-8 sequence at p (at most n bytes there), 0 when it is not one:
// no overlong forms, no surrogates, nothing past U+10FFFF.
int utf8SequenceAt(const unsigned char* p, qsizetype n)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len = 0;
    char32_t min = 0, cp = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool isEscapedByte(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}
} // namespace

QString DecodeName(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    qsizetype valid = 0; // start of the valid run not yet decoded
    for (qsizetype i = 0; i < n;) {
        const int len = utf8SequenceAt(p + i, n - i);
        if (len > 0) {
            i += len;
            continue;
        }
        out += QString::fromUtf8(bytes.constData() + valid, i - valid);
        out += QChar(char16_t(0xDC00 + p[i]));
        valid = ++i;
    }
    if (valid == 0)
        return QString::fromUtf8(bytes); // the common case: the whole name is UTF-8
    return out + QString::fromUtf8(bytes.constData() + valid, n - valid);
}

QByteArray EncodeName(const QString& name)
{
    QByteArray out;
    out.reserve(name.size());
    qsizetype plain = 0; // start of the run not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapedByte(name.at(i).unicode()))
            continue;
        out += QStringView(name).mid(plain, i - plain).toUtf8();
        out += char(name.at(i).unicode() - 0xDC00);
        plain = i + 1;
    }
    out += QStringView(name).mid(plain).toUtf8();
    return out;
}

QString DisplayName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    QByteArray run;
    for (const QChar ch : name) {
        if (isEscapedByte(ch.unicode())) {
            run += char(ch.unicode() - 0xDC00);
            continue;
        }
        if (!run.isEmpty())
            out += DecodeCp1252(run), run.clear();
        out += ch;
    }
    return out + DecodeCp1252(run);
}

bool IsFile(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && ::lstat(EncodeName(path).constData(), &st) == 0;
}

QString AbsolutePath(const QString& path)
{
    if (path.startsWith('/'))
        return QDir::cleanPath(path);
    QByteArray cwd(4096, '\0');
    const QString base = ::getcwd(cwd.data(), size_t(cwd.size())) ? DecodeName(QByteArray(cwd.constData())) : QString();
    return QDir::cleanPath(base + '/' + path);
}

QString AbsoluteFolder(const QString& path)
{
    const QString full = AbsolutePath(path);
    const qsizetype slash = full.lastIndexOf('/');
    return slash <= 0 ? QStringLiteral("/") : full.left(slash);
}

bool OpenForReading(QFile& file, const QString& path)
{
    const int fd = ::open(EncodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

QString RealPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    char* real = ::realpath(EncodeName(path).constData(), nullptr);
    if (!real)
        return {};
    const QString out = DecodeName(QByteArray(real));
    std::free(real);
    return out;
}

namespace {

// A descriptor of the regular file at path, or -1 with *err set. Opened non-blocking, so
// that a FIFO or a device there answers "not a file" instead of waiting for a writer; a
// regular file reads the same either way.
int openRegularFile(const QString& path, struct stat* st, int* err)
{
    const int fd = ::open(EncodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        *err = S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads fd to its end or to limit bytes, whichever comes first, into out (sized from
// sizeHint first). False, with *err, on a read error.
bool readUpTo(int fd, qint64 limit, qint64 sizeHint, QByteArray* out, int* err)
{
    out->resize(qsizetype(std::min(limit, sizeHint)));
    qsizetype got = 0;
    while (got < limit) {
        if (got == out->size())
            out->resize(qsizetype(std::min<qint64>(limit, qint64(got) * 2 + 4096)));
        const ssize_t n = ::read(fd, out->data() + got, size_t(out->size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *err = errno;
            out->clear();
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    out->resize(got);
    return true;
}

} // namespace

bool ReadFileHead(const QString& path, qint64 maxBytes, QByteArray* out, int* err)
{
    *err = 0;
    out->clear();
    struct stat st {};
    const int fd = openRegularFile(path, &st, err);
    if (fd < 0)
        return false;
    const bool read = readUpTo(fd, maxBytes, st.st_size + 1, out, err);
    ::close(fd);
    return read;
}

bool ReadSmallFile(const QString& path, qint64 maxBytes, QByteArray* out, bool* missing, bool* tooBig, int* err)
{
    *missing = false;
    *tooBig = false;
    *err = 0;
    out->clear();
    struct stat st {};
    const int fd = openRegularFile(path, &st, err);
    if (fd < 0) {
        *missing = (*err == ENOENT || *err == ENOTDIR);
        return false;
    }
    // The size may change under us: one byte past the limit tells a file that grew.
    const bool read = st.st_size <= maxBytes && readUpTo(fd, maxBytes + 1, st.st_size + 1, out, err);
    ::close(fd);
    if (read && out->size() <= maxBytes)
        return true;
    if (*err == 0) {
        *tooBig = true;
        *err = EFBIG;
    }
    out->clear();
    return false;
}

QString ResolveLinks(const QString& path)
{
    const QByteArray raw = EncodeName(path);
    struct stat st {};
    if (::lstat(raw.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    const QString target = RealPath(path);
    if (!target.isEmpty())
        return target;
    // A dangling link: write where it points, so the link comes to life.
    QByteArray to(4096, '\0');
    const ssize_t n = ::readlink(raw.constData(), to.data(), size_t(to.size()));
    if (n <= 0 || n >= to.size())
        return path;
    to.resize(n);
    if (!to.startsWith('/')) {
        const qsizetype slash = raw.lastIndexOf('/');
        to.prepend(slash < 0 ? QByteArray() : raw.left(slash + 1));
    }
    return DecodeName(to);
}

namespace {

bool sameFile(const QByteArray& a, const QByteArray& b)
{
    struct stat sa {}, sb {};
    if (::lstat(a.constData(), &sa) != 0 || ::lstat(b.constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// 0 or the errno of the failure; EEXIST when `to` names anything.
int renameNoReplaceRaw(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system has no atomic no-replace rename: a hard link fails on an existing name.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return 0;
        const int e = errno;
        ::unlink(to.constData());
        return e;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    return errno;
}

mode_t umaskedMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

AtomicWriter::~AtomicWriter()
{
    cancel();
}

bool AtomicWriter::open(const QString& path, bool replace, unsigned newMode)
{
    cancel();
    m_errno = 0;
    m_replace = replace;
    // By bytes: the name is whatever the kernel holds.
    m_target = EncodeName(AbsolutePath(ResolveLinks(path)));
    const qsizetype slash = m_target.lastIndexOf('/');
    m_folder = slash == 0 ? QByteArray("/") : m_target.left(slash);
    QByteArray temp = m_target.left(slash + 1) + '.' + m_target.mid(slash + 1) + ".tmp-XXXXXX";
    m_fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_errno = errno;
        return false;
    }
    m_temp = temp;
    struct stat st {};
    const bool exists = ::stat(m_target.constData(), &st) == 0;
    const mode_t mode = exists ? (st.st_mode & 07777) : newMode == kUmaskMode ? umaskedMode() : mode_t(newMode);
    // Owner first: changing it clears the set-id bits that fchmod then puts back.
    if (exists && ::fchown(m_fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) {
        m_errno = errno;
        cancel();
        return false;
    }
    if (::fchmod(m_fd, mode) != 0) {
        m_errno = errno;
        cancel();
        return false;
    }
    return true;
}

bool AtomicWriter::write(const char* data, qint64 size)
{
    if (m_fd < 0) {
        m_errno = m_errno ? m_errno : EBADF;
        return false;
    }
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_errno = errno;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool AtomicWriter::commit()
{
    if (m_fd < 0) {
        m_errno = m_errno ? m_errno : EBADF;
        return false;
    }
    int e = ::fsync(m_fd) == 0 ? 0 : errno;
    if (::close(m_fd) != 0 && e == 0)
        e = errno;
    m_fd = -1;
    if (e == 0)
        e = m_replace ? (::rename(m_temp.constData(), m_target.constData()) == 0 ? 0 : errno)
                      : renameNoReplaceRaw(m_temp, m_target);
    if (e != 0) {
        ::unlink(m_temp.constData());
        m_temp.clear();
        m_errno = e;
        return false;
    }
    m_temp.clear();
    // The new name is durable only once the folder is: else a power cut may bring back the old file.
    SyncFolder(DecodeName(m_folder));
    return true;
}

void AtomicWriter::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
    m_temp.clear();
}

QString AtomicWriter::errorString() const
{
    return errnoText(m_errno);
}

InPlaceWriter::~InPlaceWriter()
{
    close();
}

bool InPlaceWriter::open(const QString& path)
{
    close();
    m_errno = 0;
    m_fd = ::open(EncodeName(ResolveLinks(path)).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        m_errno = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    if (m_fd < 0)
        m_errno = errno;
    return m_fd >= 0;
}

bool InPlaceWriter::writeAt(qint64 offset, const char* data, qint64 size)
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || offset < 0 || offset + size > st.st_size) {
        m_errno = m_fd < 0 ? EBADF : EINVAL;
        return false;
    }
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_errno = n < 0 ? errno : EIO;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool InPlaceWriter::sync()
{
    if (m_fd < 0 || ::fdatasync(m_fd) != 0) {
        m_errno = m_fd < 0 ? EBADF : errno;
        return false;
    }
    return true;
}

bool InPlaceWriter::close()
{
    if (m_fd < 0)
        return true;
    const bool ok = ::close(m_fd) == 0;
    if (!ok)
        m_errno = errno;
    m_fd = -1;
    return ok;
}

QString InPlaceWriter::errorString() const
{
    return errnoText(m_errno);
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, bool replace, unsigned newMode)
{
    AtomicWriter out;
    if (out.open(path, replace, newMode) && out.write(bytes.constData(), bytes.size()) && out.commit())
        return true;
    if (error)
        *error = out.errorString();
    return false;
}

bool SyncFolder(const QString& folder)
{
    const int fd = ::open(EncodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool RenameNoReplace(const QString& oldPath, const QString& newPath, QString* error)
{
    const QByteArray from = EncodeName(oldPath);
    const QByteArray to = EncodeName(newPath);
    if (from == to) {
        struct stat st {};
        if (::lstat(from.constData(), &st) == 0)
            return true;
        if (error)
            *error = errnoText(errno);
        return false;
    }
    int rc = renameNoReplaceRaw(from, to);
    if (rc == EEXIST && oldPath.compare(newPath, Qt::CaseInsensitive) == 0 && sameFile(from, to)) {
        // A change of letter case on a case-insensitive file system: go through a free name.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray tmp = to + ".tunora-case-" + QByteArray::number(::getpid()) + '-' +
                                   QByteArray::number(attempt);
            rc = renameNoReplaceRaw(from, tmp);
            if (rc == EEXIST)
                continue;
            if (rc != 0)
                break;
            rc = renameNoReplaceRaw(tmp, to);
            if (rc != 0)
                renameNoReplaceRaw(tmp, from);
            break;
        }
    }
    if (rc == 0)
        return true;
    if (error)
        *error = errnoText(rc);
    return false;
}

} // namespace dorvane::io
