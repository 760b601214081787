// The CDDB protocol carried over HTTP to a server's CGI script: which server, the hello,
// one command sent at protocol level 6 (UTF-8) with one repeat at level 5 for a server
// that refuses it, and the match lists that the search and the query answer with.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tunora {

// The level asked for first; a server that refuses it is asked once more at level 5.
inline constexpr int kCddbLevel = 6;
inline constexpr int kCddbLegacyLevel = 5;

// The server asked: the configured "FreeDBServer" as it is, or the first of the list when
// none is set.
QString CddbServer();
// The configured "CGIPath", or "/~cddb/cddb.cgi".
QString CddbCgiPath();
// The hello's user name and host name, separated by a space (see CddbProtocol.cpp).
QString CddbHelloIdentity();
// The header lines every CDDB request carries: "User-Email: <address>" when "CDDBUser" is
// set (the service asks registered clients for it), else nothing.
QByteArray CddbRequestHeaders();

// The whole request URL of one command: command is what follows "cmd=", its values already
// percent-encoded; every space of the URL then becomes "+".
QString CddbCommandUrl(const QString& command, int level = kCddbLevel);

// The CDDB status line of a whole HTTP answer: the first line after the header, trimmed.
QString CddbStatusLine(const QString& response);
// Whether a status line refuses the protocol level ("501", "Illegal protocol level").
bool RefusesProtocolLevel(const QString& statusLine);

// Sends one command to the configured server (blocking with the event loop running) and
// answers the whole response: at level 6 read as UTF-8 (Windows-1252 when not valid), at
// level 5 as Latin-1 in its Windows-1252 reading. Empty on failure, with error and, when the
// server refused over HTTP, serverLine set.
QString SendCddbCommand(const QString& command, QString* error = nullptr, QString* serverLine = nullptr);

struct QueryMatch {
    QString category;
    QString discid;
    QString title; // "Artist / Album"
    bool operator==(const QueryMatch&) const = default;
};

// A whole answer made of match lines "<category> <discid> <title>": listCode (and, for the
// query, "210") announces a list up to the "." line, singleCode (may be empty) one match on
// the status line itself, "202" no match (true, no matches). Anything else answers false
// with the server's own line in serverLine. A list cut off before its "." line keeps the
// matches read so far (true when there are any, error saying so). *single tells an answer
// of singleCode.
bool ParseCddbMatchAnswer(const QString& response, const QStringList& listCodes, const QString& singleCode,
                          QList<QueryMatch>& matches, QString* error = nullptr, QString* serverLine = nullptr,
                          bool* single = nullptr);

} // namespace tunora
