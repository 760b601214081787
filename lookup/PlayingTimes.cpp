#include "lookup/PlayingTimes.h"

#include "tags/Tags.h"

#include <QFileInfo>

namespace tunora {

bool MeasurePlayingTimes(const QStringList& paths, QList<qint64>& lengthsMs, QString* error)
{
    lengthsMs.clear();
    for (const QString& path : paths) {
        qint64 ms = 0;
        QString why;
        if (!tags::ReadLength(path, &ms, &why) || ms < 1) {
            if (error)
                *error = QFileInfo(path).fileName() + QLatin1String(": ") +
                         (why.isEmpty() ? QStringLiteral("no playing time") : why);
            return false;
        }
        lengthsMs << ms;
    }
    return true;
}

} // namespace tunora
