#include "bulk/BulkCli.h"

#include <cstdio>

namespace tunora {

int RunRenameCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli rename: not available in this build\n");
    return 2;
}

} // namespace tunora
