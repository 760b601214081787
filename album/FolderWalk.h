// File discovery of the folder chooser's list-building modes.
#pragma once

#include <QString>
#include <QStringList>

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

} // namespace tunora
