// The playing times a search by lengths starts from: the files are measured here, so the
// protocols below only ever see numbers.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tunora {

// Playing times of files in milliseconds, of every format the tag layer measures; false, naming the first file that
// gave none, when a file has no measurable playing time.
bool MeasurePlayingTimes(const QStringList& paths, QList<qint64>& lengthsMs, QString* error = nullptr);

} // namespace tunora
