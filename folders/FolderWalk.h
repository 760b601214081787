// The one folder walker of Tunora, and what the pages build on it: the audio files under a
// folder (the chooser's list-building modes, the command line), the listing of one folder
// (the album page and the chooser's preview).
#pragma once

#include "folders/ChooserMode.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// What an entry is, symbolic links followed. Other: a dangling link, a device, a pipe.
enum class EntryKind { Other, File, Folder };

struct FolderEntry {
    QByteArray raw;   // the name as the kernel gave it: opens and renames go by these bytes
    QString name;     // the name decoded, as the lists show it and build paths with
    EntryKind kind = EntryKind::Other;
    qint64 size = -1; // known when finding the kind took a look at the file; else WalkedFolder::sizeOf
};

// One folder as the walk reports it.
struct WalkedFolder {
    QString path;   // the root as given, then + "/" + each name down to here
    QByteArray raw; // the same path in bytes
    bool readable = false;
    QList<FolderEntry> entries; // every entry except hidden ones (a leading "."), ascending ordinal order
    int fd = -1;                // the folder, open while the report runs

    // The size of an ordinary file of this folder; 0 when it cannot be read.
    qint64 sizeOf(const FolderEntry& entry) const;
};

enum class WalkStep { Go, Stop };

struct WalkOutcome {
    bool stopped = false; // a report answered Stop
    int folders = 0;      // folders reported, the unreadable ones included
};

// Walks root and, when recurse is set, every folder below it, depth first: a folder is
// reported before its subfolders, siblings in descending order. Each folder is opened without
// blocking (a pipe or a device named like a folder is never waited on) and walked once
// however many links lead to it (device and inode); unreadable folders are reported with no
// entries. The time grows with the number of entries only. onFolder answers Stop to end the
// walk at once (its subfolders are then not walked); it is where a window lets its event loop
// run and reads its cancel button, as the walk itself never does.
WalkOutcome WalkFolders(const QString& root, bool recurse, const std::function<WalkStep(const WalkedFolder&)>& onFolder);

struct WalkResult {
    QStringList files;       // full paths, in delivery order
    QList<QByteArray> raw;   // the same paths in the kernel's bytes
    bool cancelled = false;
};

// The audio files under root, in walk order: the entries whose name has at least 4
// characters and names a known format (FormatOfName); without recursion a folder so named is
// delivered like a file. keepGoing (when set) is told each folder before its files are taken
// and answers false to stop.
WalkResult WalkAudioFolder(const QString& root, bool recurse);
WalkResult WalkAudioFolder(const QString& root, bool recurse, const std::function<bool(const QString& folder)>& keepGoing);

// The ordinary files of folder (no subfolders, no recursion) of one format: format is a format
// name or an extension, any letter case, and every extension of that format is taken ("MP4":
// .mp4 and .m4a); a text that names no format is taken as the extension itself. Hidden names
// (a leading ".") are left out, as the file system's plain listing left hidden files out.
QStringList ListFolderFiles(const QString& folder, const QString& format);

// The name of the format most of the folder's audio files have (by extension, as
// ListFolderFiles takes them; a tie goes to the format listed first); empty when it holds none.
QString MostCommonFormat(const QString& folder);

// A chosen folder as the callers receive it: never ending in "/", so that folder + "/" +
// name is always a valid path; the root "/" therefore becomes the empty text.
QString DeliveredFolder(const QString& path);

// The callers' duplicate rules for the files a walk found: the bulk list leaves out
// every file already in existing or added by the same walk (the same path exactly); the burn
// list every file already in existing (trimmed, letter case ignored); the playlist takes them all.
QStringList ApplyWalkDuplicateRule(ChooserMode mode, const QStringList& found, const QStringList& existing);

// What an open-file dialog's answer adds to a page's list: one path when that file exists
// (the remembered folder then keeps its final "/"), of several paths each one that exists (the
// folder of the first, without final "/"). lastDir is set only when it is to be stored.
QStringList TakeExistingFiles(const QStringList& chosen, QString* lastDir);

} // namespace tunora
