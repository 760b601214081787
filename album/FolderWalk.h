// File discovery of the folder chooser's list-building modes, and the listing of one folder
// that the album page and the chooser's preview use.
#pragma once

#include "album/ChooserMode.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// The chooser's formats, in order: MP3, OGG, VQF, APE, MPC, MP4, WMA, WAV.
QStringList ChooserFormats();

struct WalkResult {
    QStringList files; // full paths, in delivery order
    bool cancelled = false;
};

// Walks root: a folder's entries in ascending ordinal order (files whose name has at least
// 4 characters and ends in one of the formats are delivered), subfolders walked after the
// folder's files, siblings in descending order, only when recurse is set. Never loops on
// symbolic links, skips unreadable folders, yields to the event loop and stops on cancel.
WalkResult WalkAudioFolder(const QString& root, bool recurse);

// The same walk; onFolder (when set) is told each folder as its entries are read, so a
// dialog can show where the walk is.
WalkResult WalkAudioFolder(const QString& root, bool recurse, const std::function<void(const QString&)>& onFolder);

// The ordinary files of folder (no subfolders, no recursion) whose name ends in "." + ext,
// letter case ignored as "*.mp3" matched on the original platform. Hidden names (a leading
// ".") are left out, as the file system's plain listing left hidden files out. Unsorted.
QStringList ListFolderFiles(const QString& folder, const QString& ext);

// A chosen folder as the callers receive it: never ending in "/", so that folder + "/" +
// name is always a valid path; the root "/" therefore becomes the empty text.
QString DeliveredFolder(const QString& path);

// The callers' duplicate rules for the files a walk found: the bulk list leaves out
// every file already in existing or added by the same walk (the same path exactly); the burn
// list every file already in existing (trimmed, letter case ignored); the playlist takes them all.
QStringList ApplyWalkDuplicateRule(ChooserMode mode, const QStringList& found, const QStringList& existing);

} // namespace tunora
