#include "album/FolderWalk.h"

namespace tunora {

QStringList ChooserFormats()
{
    return {"MP3", "OGG", "VQF", "APE", "MPC", "MP4", "WMA", "WAV"};
}

WalkResult WalkAudioFolder(const QString&, bool)
{
    return {};
}

} // namespace tunora
