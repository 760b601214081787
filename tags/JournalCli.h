// tunora-cli's side of the write journal: recovery at start, `journal` (the runs) and
// `undo` without a file (the last run).
#pragma once

#include <QStringList>

namespace tunora {

// Recovery of what an interrupted run left begun; what it did goes to standard error.
void RecoverJournalAtStart();
int RunJournalCommand(const QStringList& args);
// `undo` with no FILE: the last run of the journal.
int RunJournalUndoCommand(const QStringList& args);

} // namespace tunora
