// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunLengthCommand(const QStringList& args); // tunora-cli length
int RunTagCommand(const QStringList& args); // tunora-cli tag
int RunShowCommand(const QStringList& args); // tunora-cli show

} // namespace tunora
