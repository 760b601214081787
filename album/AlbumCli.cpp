#include "album/AlbumCli.h"

#include <cstdio>

namespace tunora {

int RunAlbumCommand(const QStringList&)
{
    std::fprintf(stderr, "tunora-cli album: not available in this build\n");
    return 2;
}

} // namespace tunora
