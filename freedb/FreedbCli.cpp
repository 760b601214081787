#include "freedb/FreedbCli.h"

#include <cstdio>

namespace tunora {

int RunSearchCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli search: not available in this build\n");
    return 2;
}

int RunReadCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli read: not available in this build\n");
    return 2;
}

int RunQueryCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli query: not available in this build\n");
    return 2;
}

} // namespace tunora
