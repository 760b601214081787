// A row of playing times laid out as the tracks of a compact disc: what both the CDDB
// and the MusicBrainz lookups compute their disc identifiers from.
#pragma once

#include <QList>

namespace tunora {

struct DiscLayout {
    QList<qint64> offsets; // frame offset of each track, the first at 150 (the lead-in)
    qint64 totalSeconds = 0; // disc length in seconds, lead-in included
    qint64 leadOut = 0;      // frame where the last track ends
};

// Tracks of these playing times (milliseconds) laid end to end from frame 150.
DiscLayout LayoutFromLengths(const QList<qint64>& lengthsMs);

} // namespace tunora
