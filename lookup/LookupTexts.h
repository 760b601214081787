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

// Status line while the album's files are fingerprinted, then looked up one by one.
inline QString Fingerprinting(qsizetype done, qsizetype total)
{
    return LocalText("Fingerprinting the files (%1/%2)...", "Empreintes des fichiers (%1/%2)...").arg(done).arg(total);
}
inline QString AskingAcoustId(qsizetype done, qsizetype total)
{
    return LocalText("Asking AcoustID (%1/%2)...", "Interrogation d'AcoustID (%1/%2)...").arg(done).arg(total);
}

// An AcoustID search without a key sends nothing and says this, in one line.
inline QString AcoustIdNeedsKey()
{
    return LocalText("AcoustID needs a key: register an application at acoustid.org (free for non-commercial use) "
                     "and enter its key as \"AcoustID key\" on the setup page",
                     "AcoustID demande une clé : enregistrez une application sur acoustid.org (gratuit pour un usage "
                     "non commercial) et saisissez sa clé dans « Clé AcoustID » de la configuration");
}

} // namespace tunora::lookuptext
