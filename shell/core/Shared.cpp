#include "shell/core/Shared.h"

#include "shell/core/AppState.h"
#include "shell/core/Language.h"
#include "shell/core/Ui.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunora {

QString AppFolder()
{
    QString folder = qEnvironmentVariable("TUNORA_APP_FOLDER").trimmed();
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath().trimmed();
    if (folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

QString AppFile(const QString& relativeName)
{
    return AppFolder() + '/' + relativeName;
}

bool AppFolderWritable()
{
    return ::access(QFile::encodeName(AppFolder()).constData(), W_OK | X_OK) == 0;
}

QString WritableFolder()
{
    if (AppFolderWritable())
        return AppFolder();
    // The base directory specification ignores a relative XDG_CACHE_HOME.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString folder = QDir::cleanPath(cache + QStringLiteral("/tunora"));
    QDir().mkpath(folder);
    return folder;
}

static QString trackNumberText(qint16 n)
{
    const int v = n;
    const QString digits = QString::number(v < 0 ? -v : v).rightJustified(2, '0');
    return v < 0 ? '-' + digits : digits;
}

QString FillPattern(const QString& pattern, const QString& artist, const QString& album, qint16 trackNumber,
                    const QString& title, const QString& year, const QString& genre)
{
    QString s = pattern;
    s.replace(QLatin1String("%1"), artist.trimmed());
    s.replace(QLatin1String("%3"), album.trimmed());
    s.replace(QLatin1String("%6"), trackNumberText(trackNumber));
    s.replace(QLatin1String("%2"), title.trimmed());
    s.replace(QLatin1String("%4"), year);
    s.replace(QLatin1String("%5"), genre);
    return CleanFileName(s);
}

namespace {

// A file name's length limit, in bytes of its UTF-8 form.
constexpr qsizetype kMaxNameBytes = 255;

bool IsNameEdge(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('.');
}

QString TrimNameEdges(const QString& s, bool front)
{
    qsizetype b = 0, e = s.size();
    while (front && b < e && IsNameEdge(s.at(b)))
        ++b;
    while (e > b && IsNameEdge(s.at(e - 1)))
        --e;
    return s.mid(b, e - b);
}

// The longest start of s whose UTF-8 form fits maxBytes, never splitting a character.
QString Utf8Prefix(const QString& s, qsizetype maxBytes)
{
    qsizetype bytes = 0, i = 0;
    while (i < s.size()) {
        const bool pair = s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate();
        const char16_t u = s.at(i).unicode();
        const qsizetype n = pair ? 4 : u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (bytes + n > maxBytes)
            break;
        bytes += n;
        i += pair ? 2 : 1;
    }
    return s.left(i);
}

} // namespace

bool IsFileNameCharacter(QChar c)
{
    // Control characters would split an M3U line or make a name the shell cannot show.
    return c.unicode() >= 0x20 && c.unicode() != 0x7F && !QStringView(u"/\\:?*\"<>|").contains(c);
}

QString CleanFileName(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text)
        if (IsFileNameCharacter(c))
            s += c;
    // A leading dot hides a file; trailing spaces and dots make names other systems refuse.
    s = TrimNameEdges(s, true);
    if (s.toUtf8().size() <= kMaxNameBytes)
        return s;
    // Too long for a file name: shorten the part before a short extension, which stays.
    const qsizetype dot = s.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && s.size() - dot <= 11 && !s.mid(dot).contains(QLatin1Char(' ')))
        return FileNameWithExtension(s.left(dot), s.mid(dot + 1));
    return TrimNameEdges(Utf8Prefix(s, kMaxNameBytes), false);
}

QString FileNameWithExtension(const QString& stem, const QString& extension)
{
    const QString ext = QLatin1Char('.') + extension;
    if ((stem + ext).toUtf8().size() <= kMaxNameBytes)
        return stem + ext;
    return TrimNameEdges(Utf8Prefix(stem, kMaxNameBytes - ext.toUtf8().size()), false) + ext;
}

QString RelativePath(const QString& filePath, const QString& baseFolder)
{
    if (filePath.isEmpty() || baseFolder.isEmpty())
        return {};
    QString base = baseFolder;
    if (base.endsWith('/'))
        base.chop(1);
    const QStringList f = filePath.split('/');
    const QStringList b = base.split('/');
    const int n = std::min<int>(f.size() - 2, b.size() - 1);
    int i = -1;
    for (int k = 0; k <= n; ++k) {
        if (f.at(k).compare(b.at(k), Qt::CaseInsensitive) != 0)
            break;
        i = k;
    }
    QString out;
    if (i >= 0)
        for (int k = b.size() - 1; k > i; --k)
            out += QLatin1String("../");
    for (int k = i + 1; k < f.size() - 1; ++k)
        out += f.at(k) + '/';
    out += f.last();
    return out;
}

static bool sameFile(const QByteArray& a, const QByteArray& b)
{
    struct stat sa {}, sb {};
    if (::lstat(a.constData(), &sa) != 0 || ::lstat(b.constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

static int renameNoReplaceRaw(const QByteArray& from, const QByteArray& to)
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

bool RenameNoReplace(const QString& oldPath, const QString& newPath, QString* error)
{
    const QByteArray from = QFile::encodeName(oldPath);
    const QByteArray to = QFile::encodeName(newPath);
    if (from == to) {
        struct stat st {};
        if (::lstat(from.constData(), &st) == 0)
            return true;
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
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
        *error = QString::fromLocal8Bit(std::strerror(rc));
    return false;
}

bool RenameFileReporting(const QString& oldPath, const QString& newPath)
{
    if (RenameNoReplace(oldPath, newPath))
        return true;
    ShowMessage(LanguageText(169).replace(QLatin1String("%%FIC%%"), oldPath));
    return false;
}

bool IsFourDigitYear(const QString& text)
{
    if (text.size() != 4)
        return false;
    // "-999" equals its own number too, but it is no year of four digits.
    if (text.startsWith('-'))
        return false;
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return false;
    return QString::number(v) == text;
}

qint64 NumericValue(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == ' ' || text.at(i) == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == '+' || text.at(i) == '-'))
        negative = text.at(i++) == '-';
    qint64 v = 0;
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    for (; i < n && text.at(i) >= '0' && text.at(i) <= '9'; ++i) {
        const int d = text.at(i).unicode() - '0';
        v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
    }
    return negative ? -v : v;
}

QString LanguageText(int n)
{
    const QStringList& t = LanguageTable();
    if (n < 0 || n >= t.size())
        return {};
    return t.at(n).trimmed();
}

void SetBusy(bool busy) { AppState::instance().setBusy(busy); }
bool IsBusy() { return AppState::instance().busy(); }
bool CancelRequested() { return AppState::instance().cancelRequested(); }
void SetCancelRequested(bool requested) { AppState::instance().setCancelRequested(requested); }
void SetStatusText(const QString& text) { AppState::instance().setStatusText(text); }

void ReportCancelled()
{
    SetStatusText(QString());
    ShowMessage(LanguageText(177));
}

void YieldEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void WaitMs(int ms)
{
    if (!QCoreApplication::instance()) {
        ::usleep(static_cast<useconds_t>(std::max(ms, 0)) * 1000);
        return;
    }
    // Sleeps in the event loop: clicks and socket events are handled meanwhile, and the
    // processor is left alone between them.
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool SameTextCI(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool ComboContains(QString& text, const QStringList& entries)
{
    text = text.trimmed();
    for (const QString& e : entries)
        if (SameTextCI(e, text))
            return true;
    return false;
}

bool ListContains(QString& text, const QStringList& entries)
{
    return ComboContains(text, entries);
}

bool ListItemSelected(QString& text, const QStringList& entries, const QList<bool>& selected)
{
    text = text.trimmed();
    bool found = false;
    for (int i = 0; i < entries.size(); ++i) {
        if (i < selected.size() && selected.at(i) && SameTextCI(entries.at(i), text)) {
            found = true;
            break;
        }
    }
    YieldEvents();
    return found;
}

int FindComboPrefix(QString& text, const QStringList& entries)
{
    text = text.trimmed();
    for (int i = 0; i < entries.size(); ++i) {
        const QString& e = entries.at(i);
        if (e.size() >= text.size() && SameTextCI(e.left(text.size()), text))
            return i;
    }
    return 0;
}

bool SortListBox(QStringList& entries, QList<qint64>* itemData)
{
    const qsizetype n = entries.size();
    if (n < 2)
        return true;
    // Merge sort over positions: stable and n log n. Between steps the arrangement is always a
    // whole permutation of the entries, so a cancel leaves the list partly sorted, never torn.
    const QStringList source = entries;
    const QList<qint64> sourceData = itemData ? *itemData : QList<qint64>();
    const QString* text = source.constData();
    const auto less = [text](qsizetype x, qsizetype y) {
        return QString::compare(text[x], text[y], Qt::CaseSensitive) < 0;
    };
    std::vector<qsizetype> from(static_cast<size_t>(n)), to(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        from[static_cast<size_t>(i)] = i;
    const auto apply = [&](const std::vector<qsizetype>& order) {
        for (qsizetype i = 0; i < n; ++i) {
            const qsizetype o = order[static_cast<size_t>(i)];
            entries[i] = text[o];
            if (itemData && i < itemData->size() && o < sourceData.size())
                (*itemData)[i] = sourceData.at(o);
        }
    };
    const auto cancelled = [&]() {
        YieldEvents();
        return CancelRequested();
    };

    // Short runs by insertion, then merges of doubling width.
    constexpr qsizetype kRun = 32;
    qint64 sinceYield = 0;
    for (qsizetype lo = 0; lo < n; lo += kRun) {
        const qsizetype hi = std::min(lo + kRun, n);
        for (qsizetype i = lo + 1; i < hi; ++i) {
            const qsizetype v = from[static_cast<size_t>(i)];
            qsizetype j = i;
            for (; j > lo && less(v, from[static_cast<size_t>(j - 1)]); --j)
                from[static_cast<size_t>(j)] = from[static_cast<size_t>(j - 1)];
            from[static_cast<size_t>(j)] = v;
        }
        sinceYield += hi - lo;
        if (sinceYield >= 4096) {
            sinceYield = 0;
            if (cancelled()) {
                apply(from);
                return false;
            }
        }
    }
    for (qsizetype width = kRun; width < n; width *= 2) {
        for (qsizetype lo = 0; lo < n; lo += 2 * width) {
            const qsizetype mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            std::merge(from.begin() + lo, from.begin() + mid, from.begin() + mid, from.begin() + hi, to.begin() + lo,
                       less);
            sinceYield += hi - lo;
            if (sinceYield >= 4096 && hi < n) {
                sinceYield = 0;
                if (cancelled()) {
                    // Merged so far in to, the rest still in from.
                    std::copy(from.begin() + hi, from.end(), to.begin() + hi);
                    apply(to);
                    return false;
                }
            }
        }
        from.swap(to);
        if (cancelled()) {
            apply(from);
            return false;
        }
    }
    apply(from);
    return true;
}

static const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (s.startsWith(QChar(0xFEFF)))
            s.remove(0, 1);
        return s;
    }
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return out;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error, bool replace)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QFileInfo info(path);
    // A link stays a link: the file it points to is the one rewritten.
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            info = QFileInfo(resolved);
    }
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".tunora-XXXXXX");
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::stat(target.constData(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, static_cast<size_t>(left));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            const int e = errno;
            ::close(fd);
            ::unlink(tmpl.constData());
            return fail(QString::fromLocal8Bit(std::strerror(e)));
        }
        p += w;
        left -= w;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmpl.constData());
        return fail(QString::fromLocal8Bit(std::strerror(e)));
    }
    int rc = 0;
    if (replace) {
        if (::rename(tmpl.constData(), target.constData()) != 0)
            rc = errno;
    } else {
        rc = renameNoReplaceRaw(tmpl, target);
    }
    if (rc != 0) {
        ::unlink(tmpl.constData());
        return fail(QString::fromLocal8Bit(std::strerror(rc)));
    }
    const int dirfd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return true;
}

} // namespace tunora
