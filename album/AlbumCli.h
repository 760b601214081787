// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunAlbumCommand(const QStringList& args); // tunora-cli album
int RunUndoCommand(const QStringList& args);  // tunora-cli undo

} // namespace tunora
