#include "bulk/BulkRun.h"

#include "dorvane/FileIo.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "tags/Journal.h"

#include <QFile>
#include <QSet>
#include <cmath>
#include <sys/stat.h>

namespace tunora {

namespace {

// Without following symbolic links: a dangling link still holds its name.
bool nameTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(dorvane::io::EncodeName(path).constData(), &st) == 0;
}

// A name the list can rename: present, and not a folder.
bool isRenamableEntry(const QString& path)
{
    struct stat st {};
    return ::lstat(dorvane::io::EncodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

BulkStep PlanBulkRename(const QString& path, const BulkOptions& options)
{
    BulkStep step;
    step.oldPath = path;
    step.newPath = path;
    if (path.isEmpty() || path.endsWith('/') || !isRenamableEntry(path))
        return step;
    const qsizetype slash = path.lastIndexOf('/');
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    if (name.size() <= 3)
        return step;
    step.found = true;
    // A name that is not UTF-8 gets the UTF-8 of what the list shows.
    step.newPath = folder + TransformName(dorvane::io::DisplayName(name), options);
    return step;
}

namespace {

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
};

bool fileId(const QString& path, FileId* id)
{
    struct stat st {};
    if (::lstat(dorvane::io::EncodeName(path).constData(), &st) != 0)
        return false;
    id->dev = st.st_dev;
    id->ino = st.st_ino;
    return true;
}

} // namespace

QList<BulkPreviewRow> PreviewBulk(const QStringList& entries, const BulkOptions& options)
{
    // Names the renames before an entry would have taken or given up.
    QSet<QString> taken, freed;
    QList<BulkPreviewRow> rows;
    rows.reserve(entries.size());
    for (const QString& path : entries) {
        BulkPreviewRow row;
        const BulkStep step = freed.contains(path) ? BulkStep {false, path, path} : PlanBulkRename(path, options);
        row.oldPath = step.oldPath;
        row.newPath = step.newPath;
        if (!step.found) {
            row.state = BulkPreviewRow::Skipped;
        } else if (step.changes()) {
            bool free = !taken.contains(step.newPath);
            FileId a, b;
            if (free && !freed.contains(step.newPath) && fileId(step.newPath, &b))
                // A change of letter case on a file system that ignores case finds the file itself.
                free = fileId(step.oldPath, &a) && a.dev == b.dev && a.ino == b.ino;
            row.state = free ? BulkPreviewRow::Renamed : BulkPreviewRow::Taken;
            if (free) {
                taken.remove(step.oldPath);
                freed.insert(step.oldPath);
                freed.remove(step.newPath);
                taken.insert(step.newPath);
            }
        }
        rows.append(row);
    }
    return rows;
}

QString BulkClosingMessage(qint32 renamed, int count)
{
    return text::Done() + QLatin1String("\n\n") + text::FilesRenamed(renamed, count);
}

BulkRunOutcome RunBulk(QStringList& entries, QStringList& undo, const BulkOptions& options,
                       const BulkRunHooks& hooks)
{
    auto progress = [&](int percent) {
        if (hooks.progress)
            hooks.progress(percent);
    };
    auto tell = [&](const QString& text) {
        if (hooks.tell)
            hooks.tell(text);
    };
    BulkRunOutcome out;
    progress(0);
    undo.clear();
    // The run's renames are one run of the write journal, undone as one after a restart.
    const tags::JournalRun journal(QStringLiteral("bulk rename"));
    const int n = static_cast<int>(entries.size());
    out.examined = n;
    bool stop = false;
    for (int i = 0; i < n; ++i) {
        if (stop) {
            if (hooks.stopped)
                hooks.stopped();
            progress(0);
            out.cancelled = true;
            return out;
        }
        undo.append(entries.at(i));
        const BulkStep step = PlanBulkRename(entries.at(i), options);
        if (step.changes()) {
            if (tags::RenameJournalled(step.oldPath, step.newPath)) {
                entries[i] = step.newPath;
                ++out.renamed;
                if (hooks.entryChanged)
                    hooks.entryChanged(i, step.newPath);
            } else {
                tell(text::NotRenamed(step.oldPath));
            }
        }
        stop = hooks.keepGoing && !hooks.keepGoing();
        progress(static_cast<int>(std::lround((i + 1) * 100.0 / n)));
    }
    if (hooks.finished)
        hooks.finished();
    tell(BulkClosingMessage(out.renamed, static_cast<int>(entries.size())));
    progress(0);
    return out;
}

void UndoBulk(QStringList& entries, const QStringList& undo,
              const std::function<void(int index, const QString& path)>& entryChanged,
              const std::function<void(const QString& text)>& tell)
{
    const qsizetype n = std::min(entries.size(), undo.size());
    const QString run = tags::LastRunToUndo(QLatin1String(tags::kBulkRun)); // taken back: not offered after a restart
    const tags::JournalRun journal(QLatin1String(tags::kBulkUndoRun), run.isEmpty() ? QStringLiteral("-") : run);
    for (qsizetype i = n - 1; i >= 0; --i) {
        const QString cur = entries.at(i);
        const QString old = undo.at(i);
        if (cur == old)
            continue;
        if (!nameTaken(old) || old.compare(cur, Qt::CaseInsensitive) == 0) {
            if (tags::RenameJournalled(cur, old)) {
                entries[i] = old;
                if (entryChanged)
                    entryChanged(static_cast<int>(i), old);
            } else if (tell) {
                tell(text::NotRenamed(cur));
            }
        } else if (tell) {
            tell(text::NameTaken(old, cur));
        }
    }
}

} // namespace tunora
