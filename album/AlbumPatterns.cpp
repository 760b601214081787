#include "album/AlbumPatterns.h"

#include "album/AlbumSession.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QDate>

namespace tunora {

bool PatternApplicable(const QString& pattern)
{
    return FillPattern(pattern, {}, {}, 0, {}, {}, {}).compare(pattern, Qt::CaseInsensitive) != 0;
}

PatternSamples SamplesFor(const QString& namingPattern, const QString& playlistPattern)
{
    const QString year = QDate::currentDate().toString(QStringLiteral("yyyy"));
    PatternSamples s;
    s.renameEnabled = PatternApplicable(namingPattern);
    s.playlistEnabled = PatternApplicable(playlistPattern);
    s.renameSample = FillPattern(namingPattern, "Artist", "Album", 1, "Track01", year, "Genre");
    s.playlistSample = FillPattern(playlistPattern, "Artist", "Album", 0, QString(), year, "Genre");
    return s;
}

PatternSamples RefreshPatternSamples(AlbumSession& session)
{
    session.namingPattern = NamingPatternSetting();
    session.playlistPattern = PlaylistPatternSetting();
    return SamplesFor(session.namingPattern, session.playlistPattern);
}

} // namespace tunora
