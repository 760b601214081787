// The album page's naming state: the rename and playlist patterns and their samples.
#pragma once

#include <QString>

namespace tunora {

class AlbumSession;

struct PatternSamples {
    bool renameEnabled = false;   // ren_chk enabled, test_lbl visible
    bool playlistEnabled = false; // pls_chk enabled, pls_lbl visible
    QString renameSample;         // test_lbl
    QString playlistSample;       // pls_lbl
};

// A pattern can be applied only when filling it (every field empty, track 0) changes it.
bool PatternApplicable(const QString& pattern);

// The samples of the two patterns, with the current year.
PatternSamples SamplesFor(const QString& namingPattern, const QString& playlistPattern);

// RefreshPatternSamples: reads the naming and playlist patterns (the setup page's defaults
// while none is stored) into the session and answers their samples.
PatternSamples RefreshPatternSamples(AlbumSession& session);

} // namespace tunora
