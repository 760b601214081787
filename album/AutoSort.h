// Playing times against fetched track lengths: the deviations of the statistics dialog and
// the two orders the auto-sort dialog proposes.
#pragma once

#include "album/AlbumSession.h"

#include <QList>
#include <QString>
#include <functional>

namespace tunora {

// Deviation of a file of fileMs milliseconds from a track of trackFrames CD frames, in ms;
// positive when the file is longer.
double Deviation(qint64 fileMs, qint64 trackFrames);

// The playing time of a file in whole milliseconds, 0 when it cannot be read.
qint64 MeasureMs(const QString& path);
// Measures the session's files whose playing time is still 0 (fake tracks stay 0).
void MeasureMissingLengths(AlbumSession& s);

struct DeviationStats {
    int n = 0;             // files compared (playing time above 0)
    double quadratic = 0;  // seconds: sqrt(sum of squares) / n
    double global = 0;     // seconds: mean signed deviation
    double maximum = 0;    // seconds: largest absolute deviation
};

// Compares files and tracks by position; files whose time is not above 0 are left out.
DeviationStats ComputeDeviations(const QList<ListItem>& files, const QList<ListItem>& tracks);

// "0.00" with a "." whatever the locale.
QString FormatSeconds(double seconds);

// The sum of squared deviations (ms²) of files against tracks by position.
double SumOfSquares(const QList<ListItem>& files, const QList<ListItem>& tracks);

// Progress of a sort step: (step, steps).
using SortProgress = std::function<void(int, int)>;

// The fast method: for each track in turn, the file nearest its length among those not yet
// placed takes its position (deviations rounded to whole ms; on a tie the earlier entry
// stays). Answers the files in their new order.
QList<ListItem> FastSort(QList<ListItem> files, const QList<ListItem>& tracks, const SortProgress& progress = {});

// The optimal method: the order whose sum of squared deviations is the smallest possible
// (an optimal assignment of files to tracks); among equally good orders, the one that
// keeps files nearest their present positions. Files beyond the track count keep their
// relative order at the end.
QList<ListItem> OptimalSort(const QList<ListItem>& files, const QList<ListItem>& tracks,
                            const SortProgress& progress = {});

} // namespace tunora
