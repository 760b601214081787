#include "album/CddbSource.h"

#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/FreedbTexts.h"
#include "freedb/WebClient.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"

namespace tunora {

namespace {

QString FailureText(const QString& text, const QString& refusal)
{
    return freedbtext::WithReason(text, refusal, WebClient::instance().lastNotice());
}

} // namespace

QList<LookupHit> CddbSource::HitsFrom(const SearchResults& results)
{
    QList<LookupHit> hits;
    for (qsizetype i = 0; i < results.size(); ++i)
        hits << LookupHit{sourceName(), results.List2.at(i), results.categ_lst.at(i), 0, results.List3.at(i)};
    return hits;
}

void CddbSource::begin()
{
    WebClient::instance().resetReceivedBytes();
    m_running = true;
    Q_EMIT runningChanged(true);
}

// The web client writes its progress to the status line; it ends with the request.
void CddbSource::finish()
{
    SetStatusText(QString());
    m_running = false;
    Q_EMIT runningChanged(false);
}

void CddbSource::endSearch(const SearchResults& results, const QString& refusal)
{
    finish();
    if (WebClient::instance().lastCancelled())
        return;
    if (results.size() > 0)
        Q_EMIT hitsReady(HitsFrom(results));
    else
        Q_EMIT failed(FailureText(text::NoDiscFound(), refusal));
}

void CddbSource::searchWords(const QString& words, bool more)
{
    begin();
    m_page.clear();
    SearchResults results;
    QString error, refusal;
    if (more)
        RunWebSearch(words, results, &m_page, &error, &refusal);
    else
        RunWordSearch(words, results, &m_page, &error, &refusal);
    endSearch(results, refusal);
}

void CddbSource::searchLengths(const QList<qint64>& lengthsMs)
{
    begin();
    m_page.clear();
    QList<QueryMatch> matches;
    QString error, refusal;
    QueryCDDB(LayoutFromLengths(lengthsMs), matches, &error, &refusal);
    SearchResults results;
    results.addMatches(matches);
    endSearch(results, refusal);
}

void CddbSource::read(const LookupHit& hit)
{
    begin();
    DiscRecord record;
    QString error, refusal;
    const bool ok = ReadCDDBDisc(hit.group, hit.id, record, &error, &refusal);
    finish();
    if (WebClient::instance().lastCancelled())
        return;
    if (!ok) {
        Q_EMIT failed(FailureText(text::DetailsNotRetrieved(), refusal));
        return;
    }
    LookupDisc disc;
    disc.artist = record.artist;
    disc.album = record.album;
    disc.year = record.year;
    disc.genre = hit.group;
    for (const CddbTrack& t : std::as_const(record.tracks))
        disc.tracks << LookupTrack{t.title, t.frames};
    Q_EMIT discReady(disc);
}

void CddbSource::cancel()
{
    if (m_running)
        SetCancelRequested(true);
}

} // namespace tunora
