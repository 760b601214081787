// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunSearchCommand(const QStringList& args); // tunora-cli search
int RunReadCommand(const QStringList& args); // tunora-cli read
int RunQueryCommand(const QStringList& args); // tunora-cli query

} // namespace tunora
