#include "audio/AudioCli.h"

#include <cstdio>

namespace tunora {

int RunLengthCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli length: not available in this build\n");
    return 2;
}

int RunTagCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli tag: not available in this build\n");
    return 2;
}

} // namespace tunora
