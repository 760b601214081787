#include "album/SeamApplyTalk.h"

#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"

namespace tunora {

bool SeamApplyTalk::playlistInAlbumFolder()
{
    return AskYesNo(text::AskPlaylistInAlbumFolder());
}

bool SeamApplyTalk::replacePlaylist(const QString&)
{
    return AskYesNo(text::AskReplacePlaylist());
}

void SeamApplyTalk::tell(const QString& message)
{
    ShowMessage(message);
}

void SeamApplyTalk::status(const QString& text)
{
    SetStatusText(text);
}

void SeamApplyTalk::beat()
{
    YieldEvents();
}

} // namespace tunora
