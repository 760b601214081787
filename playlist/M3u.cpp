#include "playlist/M3u.h"

#include "dorvane/FileIo.h"
#include "shell/core/Shared.h"

namespace tunora {

QString PlaylistPath(const QString& folder, const QString& name)
{
    const QString file = name.trimmed() + QLatin1String(".m3u");
    return folder.endsWith('/') ? folder + file : folder + '/' + file;
}

bool IsPlaylistName(const QString& name)
{
    const QString n = name.trimmed();
    return !n.isEmpty() && !n.contains('/') && !n.contains(QChar(0)) && n.count('.') != n.size();
}

bool BuildM3u(const QStringList& files, const QString& folder, QByteArray* bytes,
              const std::function<bool(const QString& file)>& step, QStringList* leftOut)
{
    QString text;
    for (const QString& f : files) {
        if (f.contains('\r') || f.contains('\n')) {
            if (leftOut)
                leftOut->append(f);
        } else {
            const QString line = RelativePath(f, folder);
            if (line.startsWith('#'))
                text += QLatin1String("./");
            text += line;
            text += QLatin1String("\r\n");
        }
        if (step && !step(f))
            return false;
    }
    *bytes = dorvane::io::EncodeName(text); // each name's own bytes
    return true;
}

QByteArray M3uText(const QStringList& files, const QString& folder, QStringList* leftOut)
{
    QByteArray bytes;
    BuildM3u(files, folder, &bytes, {}, leftOut);
    return bytes;
}

QString LeftOutMessage(const QStringList& leftOut)
{
    QStringList shown;
    for (const QString& f : leftOut)
        shown << QString(f).replace('\r', QChar(0x240D)).replace('\n', QChar(0x2424));
    return QStringLiteral("A playlist line cannot hold a line break; these files were left out:\n") +
           shown.join('\n');
}

} // namespace tunora
