// File-name masks and folder listings as the control's file operations see them.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QList>
#include <QString>

#include <sys/types.h>

namespace dorvane::files {

// Whether a file name matches a mask of "*" and "?", without regard to case. "*.*" matches every
// name, a mask ending in ".*" also matches the name without an extension ("a.*" matches "a"), and
// a mask ending in "." matches only names without one ("*." matches "README").
DORVANE_EXPORT bool MaskMatches(const QString& mask, const QString& name);
DORVANE_EXPORT bool HasWildcards(const QString& text);

struct Entry {
    QString name;
    bool folder = false;  // a folder, or a link to one
    bool regular = false; // an ordinary file, or a link to one
    dev_t dev = 0;
    ino_t ino = 0;
};

// The entries of a folder, "." and ".." included, ordered by name without regard to case.
// False when the folder cannot be listed. Entries whose type cannot be learned (a dangling link)
// are neither folders nor ordinary files.
DORVANE_EXPORT bool ListFolder(const QString& folder, QList<Entry>* entries);

// Whether a name (wildcards allowed in its last part) matches at least one ordinary file whose
// name does not begin with ".".
DORVANE_EXPORT bool ExistsOrdinaryFile(const QString& fileName);

} // namespace dorvane::files
