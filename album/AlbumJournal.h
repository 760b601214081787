// The journal of an apply on the command line: what it did to each file, so that
// `tunora-cli undo` can give the files their names and tags back later.
#pragma once

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
// Reads a journal that WriteJournal wrote; false with the reason for anything else.
bool ReadJournal(const QString& path, QList<JournalEntry>& entries, QString* why);

} // namespace tunora
