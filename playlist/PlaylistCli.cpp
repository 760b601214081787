#include "playlist/PlaylistCli.h"

#include <cstdio>

namespace tunora {

int RunPlaylistCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli playlist: not available in this build\n");
    return 2;
}

} // namespace tunora
