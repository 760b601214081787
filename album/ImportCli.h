// tunora-cli import: many album folders found, matched, tagged and named in one run.
#pragma once

#include <QStringList>

namespace tunora {

int RunImportCommand(const QStringList& args); // args exclude the command name

} // namespace tunora
