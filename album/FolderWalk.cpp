#include "album/FolderWalk.h"

#include "shell/core/Shared.h"

#include <QFile>
#include <QSet>

#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace tunora {

namespace {

enum class Kind { Other, File, Dir };

// What a directory entry is, following symbolic links as the file system's listing did.
Kind kindOf(const QByteArray& full, unsigned char dtype)
{
    if (dtype == DT_REG)
        return Kind::File;
    if (dtype == DT_DIR)
        return Kind::Dir;
    if (dtype != DT_LNK && dtype != DT_UNKNOWN)
        return Kind::Other;
    struct stat st {};
    if (::stat(full.constData(), &st) != 0)
        return Kind::Other; // a dangling link names nothing to play
    if (S_ISDIR(st.st_mode))
        return Kind::Dir;
    if (S_ISREG(st.st_mode))
        return Kind::File;
    return Kind::Other;
}

struct Entry {
    QString name;
    Kind kind;
};

// Every entry of folder except "." and ".." and hidden names; false when it cannot be read.
bool readFolder(const QString& folder, QList<Entry>& out)
{
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    DIR* d = ::opendir(path.constData());
    if (!d)
        return false;
    const QByteArray prefix = path.endsWith('/') ? path : path + '/';
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const QByteArray raw(e->d_name);
        out.append({QFile::decodeName(raw), kindOf(prefix + raw, e->d_type)});
    }
    ::closedir(d);
    return true;
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool endsInFormat(const QString& full, const QStringList& formats)
{
    QString tail = full.right(3);
    return ComboContains(tail, formats);
}

} // namespace

QStringList ChooserFormats()
{
    return {"MP3", "OGG", "VQF", "APE", "MPC", "MP4", "WMA", "WAV"};
}

WalkResult WalkAudioFolder(const QString& root, bool recurse)
{
    return WalkAudioFolder(root, recurse, {});
}

WalkResult WalkAudioFolder(const QString& root, bool recurse, const std::function<void(const QString&)>& onFolder)
{
    WalkResult result;
    const QStringList formats = ChooserFormats();
    // Folders already walked, by device and inode: a symbolic link back to a parent (or two
    // routes to one folder) is walked once.
    std::set<std::pair<dev_t, ino_t>> walked;
    // Folders still to walk, the next one last: each step costs the same however many
    // siblings wait, so tens of thousands of folders are walked in linear time.
    std::vector<QString> pending {root};
    while (!pending.empty()) {
        const QString folder = std::move(pending.back());
        pending.pop_back();
        struct stat st {};
        const QByteArray enc = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
        if (::stat(enc.constData(), &st) != 0 || !walked.insert({st.st_dev, st.st_ino}).second)
            continue;
        if (onFolder)
            onFolder(folder);
        YieldEvents();
        if (CancelRequested()) {
            result.cancelled = true;
            return result;
        }
        QList<Entry> entries;
        if (!readFolder(folder, entries))
            continue; // an unreadable folder is skipped; the walk goes on
        QStringList names;
        QList<qint64> index;
        names.reserve(entries.size());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            names.append(entries.at(i).name);
            index.append(i);
        }
        if (!SortListBox(names, &index)) {
            result.cancelled = true;
            return result;
        }
        // Subfolders are stacked in the order met, so the one met last is walked first:
        // siblings in descending order, after this folder's files.
        for (qsizetype i = 0; i < names.size(); ++i) {
            const Entry& e = entries.at(index.at(i));
            const QString full = joined(folder, e.name);
            if (e.kind == Kind::Dir && recurse) {
                pending.push_back(full);
                continue;
            }
            if (e.kind == Kind::Other || e.name.size() < 4 || !endsInFormat(full, formats))
                continue;
            result.files.append(full);
        }
    }
    return result;
}

QStringList ListFolderFiles(const QString& folder, const QString& ext)
{
    QStringList out;
    if (ext.isEmpty())
        return out;
    QList<Entry> entries;
    if (!readFolder(folder, entries))
        return out;
    const QString suffix = '.' + ext;
    for (const Entry& e : entries)
        if (e.kind == Kind::File && e.name.size() > suffix.size() && e.name.endsWith(suffix, Qt::CaseInsensitive))
            out.append(e.name);
    return out;
}

QString DeliveredFolder(const QString& path)
{
    QString p = path;
    while (p.endsWith('/'))
        p.chop(1);
    return p;
}

QStringList ApplyWalkDuplicateRule(ChooserMode mode, const QStringList& found, const QStringList& existing)
{
    if (mode != ChooserMode::BulkAddFolder && mode != ChooserMode::BurnAddFolder)
        return found;
    // By lookup: a walk may bring tens of thousands of files against a list as long. The bulk
    // list compares paths exactly, as the file system tells "Song.mp3" from "song.mp3"; the
    // burn list as ListContains does (trimmed, letter case ignored).
    auto key = [mode](const QString& s) { return mode == ChooserMode::BulkAddFolder ? s : s.trimmed().toCaseFolded(); };
    QSet<QString> seen;
    seen.reserve(existing.size() + found.size());
    for (const QString& e : existing)
        seen.insert(key(e));
    QStringList out;
    for (const QString& f : found) {
        const QString k = key(f);
        if (seen.contains(k))
            continue;
        if (mode == ChooserMode::BulkAddFolder)
            seen.insert(k);
        out.append(f);
    }
    return out;
}

} // namespace tunora
