// The journal of an apply on the command line: what it did to each file, so that
// `tunora-cli undo` can give the files their names and tags back later.
#pragma once

#include "album/AlbumApply.h"
#include "audio/Id3.h"
#include "tags/Tags.h"

#include <QList>
#include <QString>

namespace tunora {

class AlbumSession;

struct JournalEntry {
    QString oldPath, newPath; // the file before and after the apply
    TagUndo tags;             // the tags it replaced and those it wrote
    tags::WritePlan tagPlan;  // another format than MP3: its write reversed (no changes: none)
};

// The files the last apply of the session renamed or tagged, in list order.
QList<JournalEntry> AlbumJournal(const AlbumSession& s);

// The journal as JSON (tag bytes in base64), written atomically. An entry of a format other
// than MP3 carries "tags", its reversed write plan; a journal of MP3 files reads as before. With replace false an
// existing file is left alone and the write fails.
bool WriteJournal(const QString& path, const QList<JournalEntry>& entries, QString* why, bool replace = true);
// Reads a journal that WriteJournal or ApplyJournalFile wrote; false with the reason for
// anything else. run (when given) receives the write journal's run the file followed.
bool ReadJournal(const QString& path, QList<JournalEntry>& entries, QString* why, QString* run = nullptr);

// The journal of tunora-cli album --journal FILE as the run goes: created (never over another
// file) before the first change, then one line per change of Apply, on disk and synced before
// the change is made, so a run killed anywhere can be undone from it. A torn last line is
// ignored.
class ApplyJournalFile {
public:
    bool create(const QString& path, QString* why);
    bool append(const ApplyStep& step, QString* why);

private:
    QString m_path;
};

} // namespace tunora
