// tunora-cli fingerprint; args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunFingerprintCommand(const QStringList& args);

} // namespace tunora
