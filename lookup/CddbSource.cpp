#include "lookup/CddbSource.h"

#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/FreedbTexts.h"
#include "freedb/WebClient.h"
#include "shell/core/Shared.h"

namespace tunora {

CddbSource::CddbSource(QObject* parent) : LookupSource(parent)
{
    // The web client's download counter is this source's progress while a request runs.
    connect(&WebClient::instance(), &WebClient::statusChanged, this, [this](const QString& text) {
        if (m_running)
            Q_EMIT statusChanged(text);
    });
}

LookupTrack CddbSource::VariousTrack(const QString& discArtist, const CddbTrack& track)
{
    LookupTrack t {track.title, track.frames, {}};
    // A disc of various artists titles its tracks "Artist / Title".
    if (!discArtist.trimmed().startsWith(QLatin1String("Various"), Qt::CaseInsensitive))
        return t;
    const qsizetype split = track.title.indexOf(QLatin1String(" / "));
    if (split <= 0)
        return t;
    t.artist = track.title.left(split).trimmed();
    t.title = track.title.mid(split + 3).trimmed();
    return t;
}

QString CddbSource::statusText() const
{
    return freedbtext::Contacting();
}

QString CddbSource::reason(const QString& refusal)
{
    return refusal.isEmpty() ? WebClient::instance().lastNotice() : freedbtext::ServerAnswered(refusal);
}

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
    m_page.clear();
    m_error.clear();
    m_running = true;
    Q_EMIT runningChanged(true);
}

// The progress the web client told ends with the request.
void CddbSource::finish()
{
    m_running = false;
    Q_EMIT statusChanged(QString());
    Q_EMIT runningChanged(false);
}

void CddbSource::endSearch(QList<LookupHit> hits, const QString& refusal)
{
    ErrorOccured();
    finish();
    if (WebClient::instance().lastCancelled()) {
        m_error.clear();
        return;
    }
    if (!hits.isEmpty()) {
        m_error.clear();
        Q_EMIT hitsReady(hits);
        return;
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("no disc found");
    Q_EMIT failed(reason(refusal));
}

void CddbSource::searchWords(const QString& words, bool more)
{
    begin();
    SearchResults results;
    QString refusal;
    if (more)
        RunWebSearch(MoreWords(words), results, &m_page, &m_error, &refusal);
    else
        RunWordSearch(words, results, &m_page, &m_error, &refusal);
    endSearch(HitsFrom(results), refusal);
}

void CddbSource::searchLengths(const QList<qint64>& lengthsMs)
{
    begin();
    QList<QueryMatch> matches;
    QString refusal;
    bool exact = false;
    QueryCDDB(LayoutFromLengths(lengthsMs), matches, &m_error, &refusal, &exact);
    SearchResults results;
    results.addMatches(matches);
    QList<LookupHit> hits = HitsFrom(results);
    for (LookupHit& hit : hits)
        hit.exact = exact;
    endSearch(hits, refusal);
}

void CddbSource::read(const LookupHit& hit)
{
    begin();
    DiscRecord record;
    QString refusal;
    const bool ok = ReadCDDBDisc(hit.group, hit.id, record, &m_error, &refusal);
    finish();
    if (WebClient::instance().lastCancelled()) {
        m_error.clear();
        return;
    }
    if (!ok) {
        Q_EMIT failed(reason(refusal));
        return;
    }
    LookupDisc disc;
    disc.artist = record.artist;
    disc.album = record.album;
    disc.year = record.year;
    // The entry's own genre; its category is a coarse stand-in for one.
    disc.genre = record.genre.isEmpty() ? hit.group : record.genre;
    for (const CddbTrack& t : std::as_const(record.tracks))
        disc.tracks << VariousTrack(record.artist, t);
    Q_EMIT discReady(disc);
}

void CddbSource::cancel()
{
    if (m_running)
        SetCancelRequested(true);
}

} // namespace tunora
