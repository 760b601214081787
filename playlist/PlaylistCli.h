// tunora-cli subcommands of this subsystem; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunPlaylistCommand(const QStringList& args); // tunora-cli playlist

} // namespace tunora
