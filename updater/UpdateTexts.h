// Texts of the update check that the language files do not carry, in English and French.
#pragma once

#include "shell/core/Language.h"

#include <QString>

namespace tunora::updtext {

// "upd.dat.sig" could not be fetched from beside "upd.dat".
inline QString SignatureMissing()
{
    return LocalText("The update description came without its signature (upd.dat.sig), so it cannot be trusted. "
                     "No update was installed.",
                     "La description de la mise à jour est arrivée sans sa signature (upd.dat.sig) : on ne peut pas "
                     "s'y fier. Aucune mise à jour n'a été installée.");
}

// The signature is not one of the program's key over the description as received.
inline QString SignatureInvalid()
{
    return LocalText("The signature of the update description is not valid: it was not made with Tunora's key, or "
                     "the description was changed on the way. No update was installed.",
                     "La signature de la description de la mise à jour n'est pas valide : elle n'a pas été faite "
                     "avec la clé de Tunora, ou la description a été modifiée en route. Aucune mise à jour n'a été "
                     "installée.");
}

// A signed description without a usable SHA256= line for the installer.
inline QString ChecksumMissing()
{
    return LocalText("The update description gives no SHA-256 checksum for the installer. No update was installed.",
                     "La description de la mise à jour ne donne pas la somme SHA-256 de l'installateur. Aucune mise "
                     "à jour n'a été installée.");
}

// The downloaded installer is not the one the description names.
inline QString ChecksumMismatch()
{
    return LocalText("The downloaded installer does not match the checksum of the update description. It was "
                     "deleted without being run.",
                     "L'installateur téléchargé ne correspond pas à la somme de contrôle de la description de la "
                     "mise à jour. Il a été supprimé sans être lancé.");
}

// A copy installed from a package is updated by the package manager, never by an installer.
inline QString NewerBuildForPackage(int build)
{
    return LocalText("A newer build of Tunora (%1) is available. This copy was installed from a package: update it "
                     "with your package manager. Open Tunora's web site?",
                     "Une version plus récente de Tunora (%1) est disponible. Cette copie a été installée par un "
                     "paquet : mettez-la à jour avec votre gestionnaire de paquets. Ouvrir le site web de Tunora ?")
        .arg(build);
}

} // namespace tunora::updtext
