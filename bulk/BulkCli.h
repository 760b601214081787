// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunRenameCommand(const QStringList& args); // tunora-cli rename

} // namespace tunora
