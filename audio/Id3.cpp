#include "audio/Id3.h"

namespace tunora {

bool WriteID3Tags(const TrackTag&, const QString&, bool, bool, QString* why)
{
    if (why)
        *why = QStringLiteral("not yet written");
    return false;
}

bool WriteID3Tags(const TrackTag& tag, const QString& path, bool writeV1, bool writeV2)
{
    return WriteID3Tags(tag, path, writeV1, writeV2, nullptr);
}

bool HasID3v1(const QString&) { return false; }
QByteArray BuildID3v1(const TrackTag&) { return {}; }
QByteArray BuildID3v2(const TrackTag&) { return {}; }
qint64 GetID3v2Size(const QString&) { return 0; }
qint64 ID3v2SizeFromHeader(const QByteArray&, qint64) { return 0; }
qint64 ID3v2TotalSize(const QByteArray&, qint64) { return 0; }

} // namespace tunora
