// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunListCommand(const QStringList& args); // tunora-cli list

} // namespace tunora
