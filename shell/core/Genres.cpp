#include "shell/core/Genres.h"

#include "shell/core/Shared.h"

#include <QFile>
#include <QFileInfo>

namespace tunora {

QStringList& GenreTable()
{
    static QStringList table;
    return table;
}

GenreLoad LoadGenreTable(const QString& stylesDatPath)
{
    QStringList& t = GenreTable();
    t.clear();
    QFile f(stylesDatPath);
    if (!QFileInfo(stylesDatPath).isFile() || !f.open(QIODevice::ReadOnly))
        return GenreLoad::Missing;
    // The table is small; a larger file is read no further than its 148th line.
    QStringList lines = DecodeText(f.read(1 << 20)).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString line : lines) {
        if (t.size() == kGenreCount)
            break;
        if (line.endsWith('\r'))
            line.chop(1);
        t << line;
    }
    const bool complete = t.size() == kGenreCount;
    while (t.size() < kGenreCount)
        t << QString();
    return complete ? GenreLoad::Ok : GenreLoad::Short;
}

int GetIDXFromStyleName(const QString& name)
{
    const QStringList& t = GenreTable();
    for (int i = 0; i < t.size(); ++i)
        if (SameTextCI(t.at(i), name))
            return i;
    return 135;
}

quint8 GenreByteForName(const QString& name)
{
    return static_cast<quint8>(147 - GetIDXFromStyleName(name));
}

} // namespace tunora
