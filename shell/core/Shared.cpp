#include "shell/core/Shared.h"

#include "shell/core/AppState.h"
#include "shell/core/Texts.h"
#include "shell/core/Language.h"
#include "shell/core/Ui.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <limits>

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

bool PortableCopy()
{
    // Root can write /usr/lib/tunora, so writability alone cannot tell a package from a portable copy.
    if (QFileInfo::exists(AppFile(QLatin1String(kPackageMarkerName))))
        return false;
    return ::access(QFile::encodeName(AppFolder()).constData(), W_OK | X_OK) == 0;
}

QString WritableFolder()
{
    if (PortableCopy())
        return AppFolder();
    // A relative XDG_CACHE_HOME is not a cache folder: fall back to ~/.cache, as desktops do.
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

QString FillPlaceholders(const QString& pattern, const QStringList& values)
{
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == '%' && i + 1 < pattern.size()) {
            const int d = pattern.at(i + 1).digitValue();
            if (d >= 1 && d <= values.size() && pattern.at(i + 1).unicode() < 0x80) {
                out += values.at(d - 1);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString FillPattern(const QString& pattern, const QString& artist, const QString& album, qint16 trackNumber,
                    const QString& title, const QString& year, const QString& genre)
{
    return CleanFileName(FillPlaceholders(
        pattern, {artist.trimmed(), title.trimmed(), album.trimmed(), year, genre, trackNumberText(trackNumber)}));
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
        if (f.at(k) != b.at(k)) // folder names differ in letter case on this file system
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

bool RenameFileReporting(const QString& oldPath, const QString& newPath)
{
    if (RenameNoReplace(oldPath, newPath))
        return true;
    ShowMessage(text::NotRenamed(oldPath));
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
void SetStatusText(const QString& text) { AppState::instance().setStatusText(dorvane::io::DisplayName(text)); }

void ReportCancelled()
{
    SetStatusText(QString());
    ShowMessage(text::Cancelled());
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

} // namespace tunora
