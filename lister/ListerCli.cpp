#include "lister/ListerCli.h"

#include <cstdio>

namespace tunora {

int RunListCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli list: not available in this build\n");
    return 2;
}

} // namespace tunora
