// The CDDB forms of tunora-cli search, read and query, their options already read; each
// answers the command's exit code.
#pragma once

#include <QStringList>

namespace tunora {

int RunCddbSearch(const QStringList& words);
int RunCddbRead(const QString& category, const QString& discid);
// dir: an existing folder; format: the files' extension.
int RunCddbQuery(const QString& dir, const QString& format);

struct DiscRecord;
// The read output of a disc: ARTIST=, ALBUM=, YEAR=, then number, frames and title per track.
void PrintDiscRecord(const DiscRecord& record);
// A text as one field of a tab-separated output line: tabs and line breaks become spaces.
QString OutputField(const QString& text);

} // namespace tunora
