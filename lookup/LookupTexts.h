// Texts of the album page's lookup sources that the language files do not carry, in English
// and French.
#pragma once

#include "shell/core/Language.h"

#include <QString>

namespace tunora::lookuptext {

// source_lbl: before the choice of the place albums are looked up in.
inline QString Source() { return LocalText("Source:", "Source :"); }

// cover_chk: apply also writes the release's front cover into the tags.
inline QString EmbedFrontCover() { return LocalText("Embed front cover", "Intégrer la pochette"); }

// Status line while a MusicBrainz request waits (requests keep one second apart).
inline QString AskingMusicBrainz() { return LocalText("Asking MusicBrainz...", "Interrogation de MusicBrainz..."); }

} // namespace tunora::lookuptext
