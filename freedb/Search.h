// Finding discs by words: the CDDB server's search command first; the CDDB web site's
// search page, and the newer search page of the shared CDDB service when the first finds
// nothing, as the fallback. Results are four index-aligned lists.
#pragma once

#include "freedb/CddbProtocol.h"

#include <QString>
#include <QStringList>

namespace tunora {

struct SearchResults {
    QStringList List1;     // raw result links (text between the link prefix and the next "</")
    QStringList List2;     // disc identifier of each accepted result
    QStringList List3;     // display text of each accepted result
    QStringList categ_lst; // category of each accepted result

    void clear();
    qsizetype size() const { return List2.size(); }
    // Appends one accepted result to the three aligned lists.
    void add(const QString& category, const QString& discid, const QString& display);
    // Appends the matches of a CDDB answer (display: the title, else "category / discid").
    void addMatches(const QList<QueryMatch>& matches);
};

// The artist and album the search command is asked for.
struct CddbSearchTerms {
    QString artist, album;
    bool operator==(const CddbSearchTerms&) const = default;
};
// Words split at their first " - " (folder names are mostly "Artist - Album") give one try;
// other words two: as the artist, then, when that finds nothing, as the album.
QList<CddbSearchTerms> CddbSearchTries(const QString& words);
// The search command for one try (what follows "cmd="), values percent-encoded.
QString CddbSearchCommand(const CddbSearchTerms& terms);
// The search command's answer: "200" and a match list up to the "." line, or "202" (true,
// no matches); anything else answers false with the server's own line in serverLine.
bool ParseCddbSearchResponse(const QString& response, QList<QueryMatch>& matches, QString* error = nullptr,
                             QString* serverLine = nullptr);
// Whether a server's line refuses the search command as one it does not know.
bool RefusesUnknownCommand(const QString& serverLine);

// Host of the CDDB web site, used in the search address and in the result-link prefix.
QString FreeDBWebHost();
// The search page's address for words as typed (spaces become "+"; other characters that
// would change the address's meaning are percent-encoded).
QString SearchAddress(const QString& words);
// The text that starts every result link on the search page.
QString SearchLinkPrefix();
// The newer search page's address for the same words.
QString GnudbSearchAddress(const QString& words);

// The broader repeat of a search: every space becomes " OR ".
QString MoreWords(const QString& words);
// Words as the query dialog hands them on: trimmed, runs of spaces made one.
QString CleanQueryWords(const QString& text);

// Fills List1 with every result link of the search page and the other three lists with the
// accepted ones. The lists are appended to; clear them first for a new search.
void ExtractSearchResults(const QString& page, SearchResults& results);
// The newer page: each hit's "Discid: <category> / <identifier>" line and the anchor text
// before it ("Artist / Album") become one result.
void ExtractGnudbResults(const QString& page, SearchResults& results);

// Runs the search for words on the search page, then on the newer page when the first gave
// no result and was not cancelled. results is cleared first; page receives the last
// response (web_txt). Answers false with a reason in error when no result was found;
// serverLine receives the status line of a server that refused.
bool RunWebSearch(const QString& words, SearchResults& results, QString* page = nullptr, QString* error = nullptr,
                  QString* serverLine = nullptr);
// The first search for words: the configured server's search command (CddbSearchTries),
// then RunWebSearch when the command found nothing or the server does not know it. A
// failure to reach the server, a refusal or a cancel ends the search without the web pages.
// Arguments as for RunWebSearch.
bool RunWordSearch(const QString& words, SearchResults& results, QString* page = nullptr, QString* error = nullptr,
                   QString* serverLine = nullptr);

} // namespace tunora
