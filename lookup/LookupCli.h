// tunora-cli search, read and query: the options of each, then the source that answers
// ("--source cddb", the default, or "--source musicbrainz"). args exclude the command name.
#pragma once

#include <QStringList>

namespace tunora {

int RunSearchCommand(const QStringList& args); // tunora-cli search
int RunReadCommand(const QStringList& args); // tunora-cli read
int RunQueryCommand(const QStringList& args); // tunora-cli query

} // namespace tunora
