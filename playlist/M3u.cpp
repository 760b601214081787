#include "playlist/M3u.h"

#include "shell/core/Shared.h"

namespace tunora {

QString PlaylistPath(const QString& folder, const QString& name)
{
    const QString file = name.trimmed() + QLatin1String(".m3u");
    return folder.endsWith('/') ? folder + file : folder + '/' + file;
}

bool BuildM3u(const QStringList& files, const QString& folder, QByteArray* bytes,
              const std::function<bool(const QString& file)>& step)
{
    QString text;
    for (const QString& f : files) {
        text += RelativePath(f, folder);
        text += QLatin1String("\r\n");
        if (step && !step(f))
            return false;
    }
    *bytes = text.toUtf8();
    return true;
}

QByteArray M3uText(const QStringList& files, const QString& folder)
{
    QByteArray bytes;
    BuildM3u(files, folder, &bytes);
    return bytes;
}

} // namespace tunora
