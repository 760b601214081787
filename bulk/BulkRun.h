// The bulk renamer's run over its file list and the undo of the last run (QtCore only; the
// page supplies the list and shows what changes).
#pragma once

#include "bulk/BulkTransform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// What a run does with one entry of the list.
struct BulkStep {
    bool found = false;   // false: no such file, or a name of 3 characters or fewer
    QString oldPath;
    QString newPath;      // folder + transformed name; equals oldPath when nothing changes
    bool changes() const { return found && newPath != oldPath; }
};

// Looks the entry up on disk and applies TransformName to its file name; no change on disk.
BulkStep PlanBulkRename(const QString& path, const BulkOptions& options);

// What a run would do with each entry, in list order, as the renames before it would leave
// the folder: the list's preview and the command line's dry run.
struct BulkPreviewRow {
    enum State { Unchanged, Renamed, Taken, Skipped }; // Skipped: no such file, or a name of 3 characters or fewer
    State state = Unchanged;
    QString oldPath;
    QString newPath; // folder + transformed name (oldPath when skipped)
};
QList<BulkPreviewRow> PreviewBulk(const QStringList& entries, const BulkOptions& options);

struct BulkRunHooks {
    std::function<void(int index, const QString& path)> entryChanged; // the list shows path at index
    std::function<void(int percent)> progress;                         // 0 clears the bar
    std::function<void()> finished; // the run went through every entry (Undo becomes valid)
    // Asked after each file: false stops the run before the next one (the window lets its
    // event loop run here and reads its cancel button).
    std::function<bool()> keepGoing;
    // What the run has to say: a file it could not rename, the closing count.
    std::function<void(const QString& text)> tell;
    // The run stopped on keepGoing's word, before the bar is cleared.
    std::function<void()> stopped;
};

struct BulkRunOutcome {
    bool cancelled = false;
    qint32 renamed = 0;
    int examined = 0; // entry count of the list
};

// Renames every entry in list order (never replacing a file), rewriting entries in place and
// storing each entry's previous path in undo. After each file it asks keepGoing and stops at
// the next file when told; undo then holds the entries examined so far. A finished run tells
// the closing count.
BulkRunOutcome RunBulk(QStringList& entries, QStringList& undo, const BulkOptions& options,
                       const BulkRunHooks& hooks);

// Puts back the names stored in undo at the same positions, last entry first (a later entry
// may have taken a name an earlier one gave up); a name taken by another file is reported
// (text 46) and left alone; what goes wrong is told through tell.
void UndoBulk(QStringList& entries, const QStringList& undo,
              const std::function<void(int index, const QString& path)>& entryChanged,
              const std::function<void(const QString& text)>& tell = {});

// The closing message of a finished run.
QString BulkClosingMessage(qint32 renamed, int count);

} // namespace tunora
