// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunSearchCommand(const QStringList& args); // tunora-cli search
int RunReadCommand(const QStringList& args); // tunora-cli read
int RunQueryCommand(const QStringList& args); // tunora-cli query

struct DiscRecord;
// The read output of a disc: ARTIST=, ALBUM=, YEAR=, then number, frames and title per track.
void PrintDiscRecord(const DiscRecord& record);
// A text as one field of a tab-separated output line: tabs and line breaks become spaces.
QString OutputField(const QString& text);

} // namespace tunora
