// One disc of the CDDB database: reading it from a server ("cddb read" over HTTP) and
// parsing its xmcd entry into the artist, album, year and the titled, timed tracks.
#pragma once

#include "freedb/CddbProtocol.h"

#include <QList>
#include <QString>

namespace tunora {

struct CddbTrack {
    QString title;
    qint64 frames = 0; // length in CD frames of 1/75 s; 0 when the entry gives none
    bool operator==(const CddbTrack&) const = default;
};

struct DiscRecord {
    QString artist;          // DTITLE before its first " / "; the whole DTITLE when it has none
    QString album;           // DTITLE after its first " / "; the whole DTITLE when it has none
    QString year;            // DYEAR, or the current year when the entry has none
    QString genre;           // DGENRE (over several lines, one value), trimmed; empty when none
    QList<CddbTrack> tracks; // TTITLE0, TTITLE1, ... up to the first missing number
};

// Parses an xmcd entry (comment block and data lines; a "210" status line before it does
// no harm). Lines may end in CR LF or in LF alone; of a last line without its end only a
// track title is read.
// A keyword on several lines (a long title) is one value, the lines' values in order; the
// escapes \n (read as one space in a title), \t and \\ are decoded. Answers false, with
// error set and record.tracks emptied, when the entry has no DTITLE line; everything else
// is optional.
bool ParseXmcd(const QString& entry, DiscRecord& record, QString* error = nullptr);
// The same for an xmcd file on disk (UTF-8, else Windows-1252; at most 16 MiB).
bool ParseXmcdFile(const QString& path, DiscRecord& record, QString* error = nullptr);

// The whole HTTP answer of a "cddb read": header, blank line, "210" line, entry, "." line.
// Answers false with the reason in error; when the server refused (a CDDB status other
// than "210"), serverLine receives its own line.
bool ParseCddbReadResponse(const QString& response, DiscRecord& record, QString* error = nullptr,
                           QString* serverLine = nullptr);

// The "cddb read" command for one disc (what follows "cmd=") and its whole request URL.
QString CddbReadCommand(const QString& category, const QString& discid);
QString CddbReadUrl(const QString& category, const QString& discid);

// Reads one disc from the configured server and parses it into record. Blocks with the
// event loop running (cancel works); usable from the window and from tunora-cli. record's
// tracks are emptied first; artist, album and year change only when the entry is read.
// serverLine receives the server's own line when it refused (HTTP or CDDB status).
bool ReadCDDBDisc(const QString& category, const QString& discid, DiscRecord& record, QString* error = nullptr,
                  QString* serverLine = nullptr);

} // namespace tunora
