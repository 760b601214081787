#include "audio/Mp3Length.h"

namespace tunora {

bool GetMp3Length(const QString& path, double& milliseconds, QString* why)
{
    Q_UNUSED(path);
    Q_UNUSED(milliseconds);
    if (why)
        *why = QStringLiteral("not yet measured");
    return false;
}

bool GetMp3Length(const QString& path, double& milliseconds)
{
    return GetMp3Length(path, milliseconds, nullptr);
}

} // namespace tunora
