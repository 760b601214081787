// Texts of the burn page that the language files do not carry, in English and French.
#pragma once

#include "shell/core/Language.h"

#include <QString>
#include <QStringList>

namespace tunora::burntext {

// burn_burner_lbl: the burner the next hand-off starts.
inline QString BurnerInUse(const QString& name, const QString& program)
{
    return LocalText("Burner: %1 (%2)", "Graveur : %1 (%2)").arg(name, program);
}

// burn_burner_lbl while no burner is there.
inline QString NoBurner()
{
    return LocalText("No burning program found: Tunora burns with k3b or Brasero once one of them is installed.",
                     "Aucun logiciel de gravure trouvé : Tunora grave avec k3b ou Brasero dès que l'un d'eux est "
                     "installé.");
}

// Before a hand-off that leaves out entries whose path holds a line break.
inline QString LeftOutLineBreaks(const QStringList& paths)
{
    return LocalText("These files are left out of the burn list because their names hold a line break:\n%1",
                     "Ces fichiers restent hors de la liste de gravure car leur nom contient un saut de ligne :\n%1")
        .arg(paths.join('\n'));
}

} // namespace tunora::burntext
