// The write journal: one file in the writable folder that records every change Tunora makes
// to users' files before the change is made, so that a crash leaves nothing half done and a
// run can be undone after a restart.
//
// Each write of the tag layer (CarryOut) and each RenameJournalled puts an entry on disk
// (synced) before the file is touched and marks it done after the file is synced. Entries
// between BeginRun and EndRun form one run, undone as a whole; a write outside any run is a
// run of its own. Recover() (at every start) finishes or rolls back what a crash left begun.
#pragma once

#include "tags/Tags.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tunora::tags {

// The journal file: WritableFolder()/write.journal unless SetJournalPath chose another.
QString JournalPath();
void SetJournalPath(const QString& path); // tests, the fuzz target and benchmarks

// The commands of the runs the album page and the bulk page undo after a restart (a run's
// command is the kind, or the kind, a space and more).
inline constexpr char kAlbumApplyRun[] = "album apply";
inline constexpr char kAlbumUndoRun[] = "album undo";
inline constexpr char kBulkRun[] = "bulk rename";
inline constexpr char kBulkUndoRun[] = "bulk undo";

// Groups the following writes and renames of this process into one run until EndRun.
// Nested calls join the outer run. False (why says so) when the journal cannot be written;
// the writes that follow then fail rather than go unjournalled. undoes: the run this one
// takes back (an undo kept in memory), which is then no longer offered after a restart.
bool BeginRun(const QString& command, QString* why = nullptr, const QString& undoes = {});
void EndRun();
// The id of the run going on in this process; empty outside a run.
QString CurrentRunId();
// BeginRun for the scope's lifetime.
class JournalRun {
public:
    explicit JournalRun(const QString& command, const QString& undoes = {}) : m_ok(BeginRun(command, &m_why, undoes)) {}
    ~JournalRun()
    {
        if (m_ok)
            EndRun();
    }
    JournalRun(const JournalRun&) = delete;
    JournalRun& operator=(const JournalRun&) = delete;
    bool ok() const { return m_ok; }
    QString why() const { return m_why; }

private:
    QString m_why;
    bool m_ok;
};

// Renames without replacing (dorvane's rule), journalled: entry before, done after.
bool RenameJournalled(const QString& from, const QString& to, QString* why = nullptr);
// A small file of Tunora's making in a user's folder (a playlist) written whole through the
// file-safety layer, journalled with its old bytes (or that there was none), so that undo
// after a restart removes it or puts the old one back. replace false: an existing file stays.
bool WriteFileJournalled(const QString& path, const QByteArray& bytes, bool replace, QString* why = nullptr);
// Removes such a file, journalled, while it holds exactly expected.
bool RemoveFileJournalled(const QString& path, const QByteArray& expected, QString* why = nullptr);
// Which side of the plan the file at path holds: 1 the new bytes, 0 the old, -1 neither.
int PlanSide(const WritePlan& plan, const QString& path);

// What recovery did at start: one line per file it finished, rolled back or left alone.
struct RecoveryReport {
    int finished = 0, rolledBack = 0, left = 0;
    QStringList lines;
    bool busy = false; // another Tunora holds the journal: nothing was looked at
    QString summary() const; // one line for the status line or standard error; empty when nothing was begun
};
// Finishes or rolls back every entry begun and not done, so each file holds wholly its old or
// wholly its new bytes; a file changed by someone else since is left alone and reported once.
// Then drops the runs older than the last 50. Never asks.
RecoveryReport Recover();

struct RunFile {
    QString path;     // the file as the run left it (the new name of a rename)
    QString from;     // a rename's old name
    QString kind;     // "in place", "rewrite", "rename"
    bool done = false; // written (or renamed) through, recovered forward included
};
struct RunInfo {
    QString id, command, undoes; // undoes: the run an undo run took back
    QDateTime time;
    QList<RunFile> files;
    bool ended = false, undone = false;
};
// The runs of the journal, oldest first; a torn last record is ignored.
QList<RunInfo> ListRuns(QString* why = nullptr);
// The same from a journal's bytes (the fuzz target's way in).
QList<RunInfo> RunsFromBytes(const QByteArray& bytes);

// Undoes the last run that is neither an undo nor undone (of the kind, when given): every
// file that still holds what the run wrote gets its old bytes and name back, last change
// first; as a run of its own. lines: "restored\tPATH" or "left\tPATH\tWHY". False when
// there is no run to undo.
bool UndoLastRun(QStringList* lines, bool* allRestored, QString* why = nullptr, const QString& kind = {});
// The id of the run UndoLastRun(kind) would undo; empty when there is none.
QString LastRunToUndo(const QString& kind = {});

// UndoLastRun(kind) as a page reports it: the run as it was before the undo, and the files
// left alone (their paths, and "PATH: WHY" lines for a message). False with why as UndoLastRun.
struct UndoneRun {
    RunInfo run;
    QStringList lines, leftPaths, leftLines;
};
bool UndoLastRunOf(const QString& kind, UndoneRun* undone, QString* why = nullptr);

namespace detail {
// CarryOut's hooks: an entry before the first byte (false: do not write), done after the sync.
// sync false: the entry goes to disk with the next synced one (a batch syncs its last).
bool JournalBegin(const WritePlan& plan, bool inPlace, const FileIdentity& now, qint64* entry, QString* why,
                  bool sync = true);
void JournalDone(qint64 entry, const FileIdentity& written);
// Test builds only: dies (SIGKILL) at the point TUNORA_KILL_AT counts to; torn: the point
// is inside a write, which the caller then leaves half done.
bool KillPoint(bool* torn = nullptr);
} // namespace detail

} // namespace tunora::tags
