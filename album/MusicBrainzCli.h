// tunora-cli's MusicBrainz forms: search, query and read with "--source musicbrainz", and
// the release read of "album --mb".
#pragma once

#include "album/LookupSource.h"

#include <QStringList>

namespace tunora {

// search, query or read whose args carry "--source NAME". Answers the exit code of a
// MusicBrainz command, or -1 when the command is not one (a "--source cddb" is then taken
// out of args for the CDDB command).
int RunSourceCommand(const QString& command, QStringList& args);

// Reads a release for an album of fileCount files: the medium with as many tracks, else
// the first; with cover, also the release's front picture (none when it has none). Blocks
// with the event loop running.
bool ReadMusicBrainzDisc(const QString& releaseId, qsizetype fileCount, bool cover, LookupDisc& disc,
                         QString* error = nullptr);

} // namespace tunora
