// The file lister's logic: line patterns, the folder walk and the listing's bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// The lister spells its key path in lower case at the start; key names compare
// case-insensitively, so it is the program's own key.
inline const char* const kListerSettingsPath = "software\\Veldmark Corp.\\Tunora";
inline const char* const kListerPatternSetting = "LiserPattern";

// Formats of the page's list, in order ("MP3" is the one checked at start).
QStringList ListerFormats();
// Patterns offered in the pattern box, in order; the first is the default.
QStringList ListerPatterns();

QString ListerPatternSetting();
void SetListerPatternSetting(const QString& pattern);

// Trims the pattern, then replaces "%1" by v1 ... "%5" by v5 in one pass (a value's "%2" stays text).
QString ListerFill(const QString& pattern, const QString& v1, const QString& v2, const QString& v3,
                   const QString& v4, const QString& v5);
// Megabytes with two decimals in the locale's number format, then " Mb".
QString ListerSizeText(qint64 bytes);
// The pattern applied to the sample file "/MP3/Rock/SP/01 - Zero.mp3" of 5.56 Mb.
QString ListerSample(const QString& pattern);
// The pattern at start-up: the saved one when it holds a placeholder, else the default.
QString ListerStartPattern(const QString& saved);

// True when a listed name of at least four characters belongs to one of the formats (by
// FormatOfName: its extension, any letter case; the formats are names or extensions, trimmed).
bool ListerWantsName(const QString& name, const QStringList& formats);
// One line of the listing (without its CR LF) for a file name in folder (the folder as shown
// in the block header).
QString ListerLine(const QString& pattern, const QString& name, const QString& folder, qint64 bytes);

// The listing's file name from what the user typed: cleaned, trimmed, and ".txt" appended
// to a name of four or more characters that does not end in ".txt".
QString ListingFileName(const QString& typed);
// folder + "/" + name, without doubling a final "/".
QString JoinFolder(const QString& folder, const QString& name);

struct ListingResult {
    QByteArray bytes;   // UTF-8, CR LF lines
    bool cancelled = false;
    int filesListed = 0;
    int foldersWalked = 0;
};

// Walks input with the folder walker (WalkFolders): each folder's entries in ascending
// ordinal order (hidden entries left out), a block per folder with listed files, sub-folders
// (when recurse is set) right after their parent, siblings in descending order. Symbolic
// links never make it walk a folder twice; folders that cannot be read are skipped. Once per
// folder keepGoing (when set) is told the file listed last (empty before the first) and
// answers false to stop: the listing is then cancelled and empty.
ListingResult BuildListing(const QString& input, const QString& pattern, const QStringList& formats, bool recurse,
                           const std::function<bool(const QString& fileName)>& keepGoing = {});

} // namespace tunora
