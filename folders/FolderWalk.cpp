#include "folders/FolderWalk.h"

#include "folders/AudioFormats.h"

#include "dorvane/FileIo.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tunora {

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

// A folder still to walk.
struct Pending {
    QString path;
    QByteArray raw;
};

template <class Text>
Text joined(const Text& folder, const Text& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Opens a folder without ever waiting: O_NONBLOCK keeps a pipe or a device from blocking the
// open, O_DIRECTORY refuses anything but a folder.
DIR* openFolder(const QByteArray& raw, int* fd)
{
    *fd = ::openat(AT_FDCWD, raw.isEmpty() ? "/" : raw.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (*fd < 0)
        return nullptr;
    DIR* d = ::fdopendir(*fd);
    if (!d) {
        ::close(*fd);
        *fd = -1;
    }
    return d;
}

// The entry's kind, following symbolic links as the file system's listing did; the folder's
// identity for the walk's loop check.
EntryKind examine(int dirFd, const char* name, unsigned char type, FolderEntry* e, FolderId* id)
{
    if (type == DT_REG)
        return EntryKind::File; // the size is read only when someone asks
    if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)
        return EntryKind::Other;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) != 0)
        return EntryKind::Other; // a dangling link names nothing to play
    if (S_ISDIR(st.st_mode)) {
        *id = {st.st_dev, st.st_ino};
        return EntryKind::Folder;
    }
    if (S_ISREG(st.st_mode)) {
        e->size = st.st_size;
        return EntryKind::File;
    }
    return EntryKind::Other;
}

// Every entry of the open folder except hidden ones, in ascending ordinal order of the
// decoded names (as SortListBox orders them), with the identities of the subfolders.
void readEntries(DIR* d, int fd, QList<FolderEntry>& entries, std::vector<FolderId>& ids)
{
    std::vector<std::pair<FolderEntry, FolderId>> read;
    while (const dirent* de = ::readdir(d)) {
        if (de->d_name[0] == '.') // hidden, ".", ".."
            continue;
        FolderEntry e;
        e.raw = QByteArray(de->d_name);
        e.name = dorvane::io::DecodeName(e.raw);
        FolderId id {};
        e.kind = examine(fd, de->d_name, de->d_type, &e, &id);
        read.emplace_back(std::move(e), id);
    }
    std::stable_sort(read.begin(), read.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first.name, b.first.name, Qt::CaseSensitive) < 0;
    });
    entries.reserve(static_cast<qsizetype>(read.size()));
    ids.reserve(read.size());
    for (auto& [e, id] : read) {
        entries.append(std::move(e));
        ids.push_back(id);
    }
}

} // namespace

qint64 WalkedFolder::sizeOf(const FolderEntry& entry) const
{
    if (entry.size >= 0)
        return entry.size;
    struct stat st {};
    if (fd < 0 || entry.kind != EntryKind::File || ::fstatat(fd, entry.raw.constData(), &st, 0) != 0)
        return 0;
    return st.st_size;
}

WalkOutcome WalkFolders(const QString& root, bool recurse, const std::function<WalkStep(const WalkedFolder&)>& onFolder)
{
    WalkOutcome outcome;
    // Folders already met, by device and inode: a link back to a parent, or two routes to one
    // folder, are walked once, under the name met first.
    QSet<FolderId> seen;
    // Folders still to walk, the next one last: each step costs the same however many
    // siblings wait, so tens of thousands of folders are walked in linear time.
    std::vector<Pending> pending;
    pending.push_back({root, dorvane::io::EncodeName(root)});
    {
        struct stat st {};
        if (::stat(pending.back().raw.isEmpty() ? "/" : pending.back().raw.constData(), &st) == 0)
            seen.insert({st.st_dev, st.st_ino});
    }
    while (!pending.empty()) {
        WalkedFolder folder;
        folder.path = std::move(pending.back().path);
        folder.raw = std::move(pending.back().raw);
        pending.pop_back();
        ++outcome.folders;

        std::vector<FolderId> ids;
        DIR* d = openFolder(folder.raw, &folder.fd);
        if (d) {
            folder.readable = true;
            readEntries(d, folder.fd, folder.entries, ids);
        }
        const WalkStep step = onFolder ? onFolder(folder) : WalkStep::Go;
        if (d)
            ::closedir(d); // closes fd too
        if (step == WalkStep::Stop) {
            outcome.stopped = true;
            return outcome;
        }
        if (!recurse)
            continue;
        // Stacked in the order met, so the one met last is walked first: siblings in
        // descending order, after this folder's own files.
        for (qsizetype i = 0; i < folder.entries.size(); ++i) {
            const FolderEntry& e = folder.entries.at(i);
            if (e.kind != EntryKind::Folder || seen.contains(ids[static_cast<size_t>(i)]))
                continue;
            seen.insert(ids[static_cast<size_t>(i)]);
            pending.push_back({joined(folder.path, e.name), joined(folder.raw, e.raw)});
        }
    }
    return outcome;
}

WalkResult WalkAudioFolder(const QString& root, bool recurse)
{
    return WalkAudioFolder(root, recurse, {});
}

WalkResult WalkAudioFolder(const QString& root, bool recurse, const std::function<bool(const QString& folder)>& keepGoing)
{
    WalkResult result;
    const WalkOutcome o = WalkFolders(root, recurse, [&](const WalkedFolder& folder) {
        if (keepGoing && !keepGoing(folder.path))
            return WalkStep::Stop;
        for (const FolderEntry& e : folder.entries) {
            if (e.kind == EntryKind::Other || (e.kind == EntryKind::Folder && recurse))
                continue;
            if (e.name.size() < 4 || FormatOfName(e.name) == AudioFormat::Unknown)
                continue;
            result.files.append(joined(folder.path, e.name));
            result.raw.append(joined(folder.raw, e.raw));
        }
        return WalkStep::Go;
    });
    result.cancelled = o.stopped;
    return result;
}

QStringList ListFolderFiles(const QString& folder, const QString& format)
{
    QStringList out;
    if (format.isEmpty())
        return out;
    const AudioFormat f = FormatNamed(format);
    const QStringList exts = f == AudioFormat::Unknown ? QStringList {format} : FormatInfo(f).extensions;
    WalkFolders(folder, false, [&](const WalkedFolder& w) {
        for (const FolderEntry& e : w.entries) {
            if (e.kind != EntryKind::File)
                continue;
            const qsizetype dot = e.name.lastIndexOf('.');
            // A name is more than its extension: "x.mp3", never ".mp3".
            if (dot > 0 && exts.contains(QStringView(e.name).mid(dot + 1), Qt::CaseInsensitive))
                out.append(e.name);
        }
        return WalkStep::Go;
    });
    return out;
}

QString MostCommonFormat(const QString& folder)
{
    QMap<AudioFormat, int> counts;
    WalkFolders(folder, false, [&](const WalkedFolder& w) {
        for (const FolderEntry& e : w.entries) {
            const qsizetype dot = e.name.lastIndexOf('.');
            if (e.kind == EntryKind::File && dot > 0)
                ++counts[FormatOfExtension(QStringView(e.name).mid(dot + 1))];
        }
        return WalkStep::Go;
    });
    counts.remove(AudioFormat::Unknown);
    const AudioFormatInfo* best = nullptr;
    for (const AudioFormatInfo& f : AudioFormats())
        if (counts.value(f.format) > (best ? counts.value(best->format) : 0))
            best = &f;
    return best ? best->name : QString();
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

QStringList TakeExistingFiles(const QStringList& chosen, QString* lastDir)
{
    QStringList out;
    if (chosen.isEmpty())
        return out;
    if (chosen.size() == 1) {
        const QString path = chosen.first().trimmed();
        if (dorvane::io::IsFile(path)) {
            out << chosen.first();
            if (lastDir)
                *lastDir = path.left(path.lastIndexOf('/') + 1).trimmed();
        }
        return out;
    }
    for (const QString& p : chosen)
        if (!p.isEmpty() && dorvane::io::IsFile(p))
            out << p;
    if (lastDir) {
        const QString& first = chosen.first();
        const QString folder = first.left(first.lastIndexOf('/'));
        *lastDir = (folder.isEmpty() ? QStringLiteral("/") : folder).trimmed();
    }
    return out;
}

} // namespace tunora
