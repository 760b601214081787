#include "lookup/AcoustIdSource.h"

#include "lookup/LookupTexts.h"
#include "shell/core/Settings.h"

#include <algorithm>

namespace tunora {

AcoustIdSource::AcoustIdSource(QObject* parent) : LookupSource(parent)
{
    connect(&m_job, &FingerprintJob::progress, this, [this](qsizetype done, qsizetype total) {
        Q_EMIT statusChanged(lookuptext::Fingerprinting(done, total));
    });
    connect(&m_job, &FingerprintJob::finished, this, &AcoustIdSource::fingerprinted);
    connect(&m_client, &AcoustIdClient::answered, this, &AcoustIdSource::answered);
    connect(&m_client, &AcoustIdClient::failed, this, &AcoustIdSource::fail);
    // Reading a hit is MusicBrainz's work; its outcome is told as this source's.
    connect(&m_mb, &LookupSource::discReady, this, [this](const LookupDisc& disc) {
        finish();
        Q_EMIT discReady(disc);
    });
    connect(&m_mb, &LookupSource::failed, this, [this](const QString& why) {
        m_error = m_mb.lastError();
        finish();
        Q_EMIT failed(why);
    });
}

QString AcoustIdSource::statusText() const
{
    return lookuptext::AskingAcoustId(m_next, m_prints.size());
}

void AcoustIdSource::begin()
{
    cancel();
    m_error.clear();
    m_prints.clear();
    m_answers.clear();
    m_ranking.clear();
    m_releases.clear();
    m_next = 0;
    m_running = true;
    Q_EMIT runningChanged(true);
}

// The request is over before its outcome is told, so a receiver may start the next one.
void AcoustIdSource::finish()
{
    m_running = m_reading = false;
    Q_EMIT statusChanged(QString());
    Q_EMIT runningChanged(false);
}

void AcoustIdSource::fail(const QString& why)
{
    m_error = why;
    finish();
    Q_EMIT failed(sourceName() + QStringLiteral(": ") + why);
}

void AcoustIdSource::searchWords(const QString&, bool)
{
    begin();
    fail(QStringLiteral("AcoustID finds releases by the sound of the files, not by words"));
}

void AcoustIdSource::searchLengths(const QList<qint64>&)
{
    begin();
    fail(QStringLiteral("AcoustID finds releases by the sound of the files, not by playing times"));
}

void AcoustIdSource::searchFiles(const QStringList& paths)
{
    begin();
    m_key = Setting(setting::kAcoustIdKey).trimmed();
    if (m_key.isEmpty())
        return fail(lookuptext::AcoustIdNeedsKey());
    if (paths.isEmpty() || paths.size() > kMaxDiscTracks)
        return fail(QStringLiteral("an album holds 1 to %1 files").arg(kMaxDiscTracks));
    Q_EMIT statusChanged(lookuptext::Fingerprinting(0, paths.size()));
    m_job.start(paths);
}

void AcoustIdSource::fingerprinted(const QList<FileFingerprint>& prints)
{
    m_prints = prints;
    m_answers = QList<QList<AidResult>>(prints.size());
    const auto bad = std::find_if(prints.begin(), prints.end(), [](const FileFingerprint& f) { return !f.ok(); });
    if (std::none_of(prints.begin(), prints.end(), [](const FileFingerprint& f) { return f.ok(); }))
        return fail(QStringLiteral("no file could be fingerprinted (%1: %2)").arg(bad->path, bad->error));
    lookUpNext();
}

// A file without a fingerprint is one the service cannot know; the others are asked in turn.
void AcoustIdSource::lookUpNext()
{
    while (m_next < m_prints.size() && !m_prints.at(m_next).ok())
        ++m_next;
    if (m_next < m_prints.size()) {
        Q_EMIT statusChanged(lookuptext::AskingAcoustId(m_next + 1, m_prints.size()));
        const FileFingerprint& f = m_prints.at(m_next);
        m_client.lookup(m_key, f.seconds, f.fingerprint);
        return;
    }
    m_ranking = RankReleases(m_answers);
    QList<LookupHit> hits;
    for (const RankedRelease& r : std::as_const(m_ranking)) {
        m_releases << ReleaseFrom(r);
        for (LookupHit hit : MusicBrainzSource::HitsFrom({m_releases.last()})) {
            hit.source = sourceName();
            // Every file at its own track number of this medium.
            hit.exact = r.matched == m_prints.size() && (hit.medium == 0 || hit.medium == r.medium);
            hits << hit;
        }
    }
    finish();
    Q_EMIT hitsReady(hits);
}

void AcoustIdSource::answered(const AidAnswer& answer)
{
    if (!answer.ok && !IsFingerprintRefusal(answer.errorCode))
        return fail(QStringLiteral("the service refused: ") + answer.errorMessage);
    m_answers[m_next] = answer.results;
    ++m_next;
    lookUpNext();
}

void AcoustIdSource::read(const LookupHit& hit)
{
    begin();
    m_reading = true;
    m_mb.read(hit);
}

void AcoustIdSource::cancel()
{
    if (!m_running)
        return;
    m_job.cancel();
    m_client.cancel();
    if (m_reading)
        m_mb.cancel();
    finish();
}

MbRelease AcoustIdSource::ReleaseFrom(const RankedRelease& ranked)
{
    const AidRelease& r = ranked.release;
    MbRelease out;
    out.id = r.id;
    out.title = r.title;
    out.artist = r.artist;
    out.date = r.date;
    out.country = r.country;
    for (const AidMedium& m : r.mediums) {
        MbMedium medium;
        medium.position = m.position;
        medium.format = m.format;
        medium.trackCount = m.trackCount;
        out.trackCount += m.trackCount;
        out.media << medium;
    }
    return out;
}

} // namespace tunora
