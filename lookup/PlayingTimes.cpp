#include "lookup/PlayingTimes.h"

#include "audio/Mp3Length.h"

#include <QFileInfo>

namespace tunora {

bool MeasurePlayingTimes(const QStringList& paths, QList<qint64>& lengthsMs, QString* error)
{
    lengthsMs.clear();
    for (const QString& path : paths) {
        double ms = 0;
        QString why;
        if (!GetMp3Length(path, ms, &why) || ms < 1) {
            if (error)
                *error = QFileInfo(path).fileName() + QLatin1String(": ") +
                         (why.isEmpty() ? QStringLiteral("no playing time") : why);
            return false;
        }
        lengthsMs << static_cast<qint64>(ms);
    }
    return true;
}

} // namespace tunora
