// tunora-cli's MusicBrainz forms: search, query and read with "--source musicbrainz", and
// the release read of "album --mb".
#pragma once

#include "album/LookupSource.h"

#include <QStringList>

namespace tunora {

// The forms themselves, their options already read; each answers the command's exit code.
int RunMusicBrainzSearch(const QStringList& words);
// dir: an existing folder; format: the files' extension.
int RunMusicBrainzQuery(const QString& dir, const QString& format);
int RunMusicBrainzRead(const QString& releaseId);

// Reads a release for an album of fileCount files: the medium with as many tracks, else
// the first; with cover, also the release's front picture (none when it has none). Blocks
// with the event loop running.
bool ReadMusicBrainzDisc(const QString& releaseId, qsizetype fileCount, bool cover, LookupDisc& disc,
                         QString* error = nullptr);

} // namespace tunora
