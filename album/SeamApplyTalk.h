// Apply's questions and messages as the album page shows them: message boxes through the
// shell's seam (which tests script), the status line, the event loop between files.
#pragma once

#include "album/AlbumApply.h"

namespace tunora {

class SeamApplyTalk : public ApplyTalk {
public:
    bool playlistInAlbumFolder() override;
    bool replacePlaylist(const QString& path) override;
    void tell(const QString& message) override;
    void status(const QString& text) override;
    void beat() override;
};

} // namespace tunora
