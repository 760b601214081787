#include "lister/Lister.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <utility>
#include <vector>

namespace tunora {

QStringList ListerFormats()
{
    return {"MP3", "OGG", "VQF", "APE", "MPC", "WMA", "WAV"};
}

QStringList ListerPatterns()
{
    return {"[%3] %1%2", "[%3] %1%2 (%4)", "%5%1%2"};
}

QString ListerPatternSetting()
{
    return toolctl().RegistryRead(kSettingsRoot, QString::fromLatin1(kListerSettingsPath),
                                  QString::fromLatin1(kListerPatternSetting));
}

void SetListerPatternSetting(const QString& pattern)
{
    toolctl().RegistryWrite(kSettingsRoot, QString::fromLatin1(kListerSettingsPath),
                            QString::fromLatin1(kListerPatternSetting), pattern);
}

QString ListerFill(const QString& pattern, const QString& v1, const QString& v2, const QString& v3,
                   const QString& v4, const QString& v5)
{
    return FillPlaceholders(pattern.trimmed(), {v1, v2, v3, v4, v5});
}

static QString megabytes(double mb)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(mb, 'f', 2) + QLatin1String(" Mb");
}

QString ListerSizeText(qint64 bytes)
{
    return megabytes(static_cast<double>(bytes) / 1048576.0);
}

QString ListerSample(const QString& pattern)
{
    return ListerFill(pattern, QStringLiteral("01 - Zero"), QStringLiteral(".mp3"), QStringLiteral("MP3"),
                      megabytes(5.56), QStringLiteral("/MP3/Rock/SP/"));
}

QString ListerStartPattern(const QString& saved)
{
    if (ListerSample(saved) != saved)
        return saved;
    return ListerPatterns().first();
}

bool ListerWantsName(const QString& name, const QStringList& formats)
{
    if (name.size() < 4)
        return false;
    const QString tail = name.right(3).trimmed();
    for (const QString& f : formats)
        if (SameTextCI(f.trimmed(), tail))
            return true;
    return false;
}

QString ListerLine(const QString& pattern, const QString& name, const QString& folder, qint64 bytes)
{
    // The size is written only when the line shows it.
    const QString size = pattern.contains(QLatin1String("%4")) ? ListerSizeText(bytes) : QString();
    return ListerFill(pattern, name.left(name.size() - 4), name.right(4), name.right(3).toUpper(), size,
                      JoinFolder(folder, QString()));
}

QString ListingFileName(const QString& typed)
{
    QString name = CleanFileName(typed).trimmed();
    if (name.size() >= 4 && !name.endsWith(QLatin1String(".txt")))
        name += QLatin1String(".txt");
    return name;
}

QString JoinFolder(const QString& folder, const QString& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

namespace {

struct FolderId {
    dev_t dev;
    ino_t ino;
    bool operator==(const FolderId& o) const { return dev == o.dev && ino == o.ino; }
};
size_t qHash(const FolderId& id, size_t seed = 0)
{
    return ::qHash(std::pair<quint64, quint64>(id.dev, id.ino), seed);
}

struct QueuedFolder {
    QString shown;   // as written in the block header
    QByteArray path; // as the file system knows it
};

QByteArray joinBytes(const QByteArray& folder, const QByteArray& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

struct Entry {
    QByteArray raw;
    bool isDir = false;
    bool isFile = false;
    bool sized = false;
    qint64 size = 0;
    FolderId id {};
};

// Reads one entry's kind (following symbolic links); false for broken links, special
// files and entries that cannot be examined.
bool examine(int dirFd, const char* name, unsigned char type, Entry* e)
{
    struct stat st {};
    if (type == DT_REG) {
        e->isFile = true;
        return true; // size read only when the file is listed
    }
    if (::fstatat(dirFd, name, &st, 0) != 0)
        return false;
    if (S_ISDIR(st.st_mode)) {
        e->isDir = true;
        e->id = {st.st_dev, st.st_ino};
        return true;
    }
    if (S_ISREG(st.st_mode)) {
        e->isFile = true;
        e->sized = true;
        e->size = st.st_size;
        return true;
    }
    return false;
}

} // namespace

ListingResult BuildListing(const QString& input, const QString& pattern, const QStringList& formats, bool recurse,
                           const std::function<void(const QString& fileName)>& status)
{
    ListingResult result;
    QElapsedTimer sinceYield;
    sinceYield.start();
    QString lastName;
    // The window stays responsive without paying for an event-loop turn per entry.
    auto yieldNow = [&]() {
        if (status && !lastName.isEmpty())
            status(lastName);
        YieldEvents();
        sinceYield.restart();
        return CancelRequested();
    };
    unsigned entriesSinceCheck = 0;
    auto maybeYield = [&]() { return (++entriesSinceCheck & 63) == 0 && sinceYield.elapsed() >= 15 && yieldNow(); };

    const bool needsSize = pattern.contains(QLatin1String("%4"));
    QSet<FolderId> seen;
    // Folders still to list, the next one last: each step costs the same however many
    // siblings wait, so tens of thousands of folders are listed in linear time.
    std::vector<QueuedFolder> pending;
    pending.push_back({input, QFile::encodeName(input)});
    {
        struct stat st {};
        if (::stat(pending.back().path.constData(), &st) == 0)
            seen.insert({st.st_dev, st.st_ino});
    }

    while (!pending.empty()) {
        const QueuedFolder folder = std::move(pending.back());
        pending.pop_back();
        ++result.foldersWalked;

        // Collect the folder's entries; an unreadable folder lists nothing.
        std::vector<Entry> entries;
        QStringList names;
        QList<qint64> order;
        const int dirFd = ::open(folder.path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = dirFd >= 0 ? ::fdopendir(dirFd) : nullptr;
        if (!dir && dirFd >= 0)
            ::close(dirFd);
        const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, [](DIR* d) { return d ? ::closedir(d) : 0; });
        if (dir) {
            while (const dirent* d = ::readdir(dir)) {
                if (d->d_name[0] == '.') // hidden, ".", ".."
                    continue;
                Entry e;
                e.raw = QByteArray(d->d_name);
                if (!examine(dirFd, d->d_name, d->d_type, &e))
                    continue;
                names.append(QFile::decodeName(e.raw));
                order.append(static_cast<qint64>(entries.size()));
                entries.push_back(std::move(e));
                if (maybeYield())
                    break;
            }
        }
        // One turn of the event loop per folder at least, so cancel is always seen.
        if (yieldNow() || !SortListBox(names, &order)) {
            result.cancelled = true;
            return result;
        }

        QString text;
        for (qsizetype i = 0; i < names.size(); ++i) {
            Entry& e = entries[static_cast<size_t>(order.at(i))];
            const QString& name = names.at(i);
            if (e.isDir && recurse) {
                if (!seen.contains(e.id)) {
                    seen.insert(e.id);
                    // Stacked in the order met: the last sibling is listed first.
                    pending.push_back({JoinFolder(folder.shown, name), joinBytes(folder.path, e.raw)});
                }
            } else if (ListerWantsName(name, formats)) {
                // The size is read only when the line shows it.
                if (e.isFile && !e.sized && needsSize) {
                    struct stat st {};
                    if (::fstatat(dirFd, e.raw.constData(), &st, 0) == 0)
                        e.size = st.st_size;
                }
                // A folder listed as a file (no recursion) shows a size of 0.
                text += ListerLine(pattern, name, folder.shown, e.isFile ? e.size : 0);
                text += QLatin1String("\r\n");
                ++result.filesListed;
                lastName = name;
            }
            if (maybeYield())
                break;
        }
        if (CancelRequested()) {
            result.cancelled = true;
            return result;
        }
        if (!text.trimmed().isEmpty()) {
            result.bytes += '[' + folder.shown.toUtf8() + "]\r\n";
            result.bytes += text.toUtf8();
            result.bytes += "\r\n";
        }
    }
    return result;
}

} // namespace tunora
