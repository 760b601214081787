// Pieces of the control's dialogs and shell operations that are plain functions.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QString>
#include <QStringList>
#include <QUrl>

namespace dorvane::shell {

// A file-dialog filter of description and mask pairs, separated by "|" or NUL ("MP3 files|*.mp3;
// *.mp2|All|*.*|"), as name filters of the toolkit's dialog ("MP3 files (*.mp3 *.mp2)", "All (*.*)").
// The list ends at the first empty description.
DORVANE_EXPORT QStringList NameFilters(const QString& filter);

// What a command handed to the shell names: a web or mail address as it stands, anything else
// as a local file (made absolute).
DORVANE_EXPORT QUrl CommandUrl(const QString& command);

} // namespace dorvane::shell
