// The language texts the program's logic shows, by name (the pages set their own captions).
// Each answers the text of the current language table with its placeholders filled.
#pragma once

#include "shell/core/Shared.h"

#include <QString>

namespace tunora::text {

inline QString TagsNotWritten() { return LanguageText(45); }
// newPath is taken, so oldPath keeps its name.
inline QString NameTaken(const QString& newPath, const QString& oldPath)
{
    return LanguageText(46).replace(QLatin1String("%%1%%"), newPath).replace(QLatin1String("%%2%%"), oldPath);
}
inline QString ReadOnlyNotTagged(const QString& file) { return LanguageText(47).replace(QLatin1String("%%1%%"), file); }
inline QString TrackCountDiffers() { return LanguageText(48); }
inline QString AskPlaylistInAlbumFolder() { return LanguageText(49); }
inline QString AskReplacePlaylist() { return LanguageText(50); }
inline QString Done() { return LanguageText(51); }
inline QString AutoSortNeedsEqualCounts() { return LanguageText(52); }
inline QString AskAddFakeTracks() { return LanguageText(53); }
inline QString DetailsNotRetrieved() { return LanguageText(54); }
inline QString AskClearFetchedDisc() { return LanguageText(61); }
inline QString NoDiscFound() { return LanguageText(62); }
inline QString FilesRenamed(qint64 renamed, qint64 count)
{
    return LanguageText(99)
        .replace(QLatin1String("%%1%%"), QString::number(renamed))
        .replace(QLatin1String("%%2%%"), QString::number(count));
}
inline QString NoInternetConnection() { return LanguageText(55); }
inline QString UpdateNotDownloaded() { return LanguageText(58); }
inline QString UpdateServerUnreachable() { return LanguageText(60); }
// Labels before a number in the update window.
inline QString Progress() { return LanguageText(27); }
inline QString Speed() { return LanguageText(161); }
inline QString Bytes() { return LanguageText(162); }
inline QString NoFilesInAlbumFolder() { return LanguageText(167); }
inline QString NoOptionChosen() { return LanguageText(168); }
inline QString NotRenamed(const QString& file) { return LanguageText(169).replace(QLatin1String("%%FIC%%"), file); }
inline QString TotalTime() { return LanguageText(172); }
inline QString Cancelled() { return LanguageText(177); }

} // namespace tunora::text
