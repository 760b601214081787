#include "shell/core/Genres.h"

#include "dorvane/FileIo.h"
#include "shell/core/Shared.h"

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
    // The table is small; a larger file is read no further than its 148th line.
    QByteArray bytes;
    int err = 0;
    if (!dorvane::io::ReadFileHead(stylesDatPath, 1 << 20, &bytes, &err))
        return GenreLoad::Missing;
    QStringList lines = DecodeText(bytes).split('\n');
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
