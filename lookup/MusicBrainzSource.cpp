#include "lookup/MusicBrainzSource.h"

#include "lookup/LookupTexts.h"

#include <algorithm>

namespace tunora {

MusicBrainzSource::MusicBrainzSource(QObject* parent) : LookupSource(parent)
{
    connect(&m_client, &MusicBrainzClient::releasesReady, this, [this](const QList<MbRelease>& releases) {
        m_releases = releases;
        finish();
        Q_EMIT hitsReady(HitsFrom(releases));
    });
    connect(&m_client, &MusicBrainzClient::releaseReady, this, [this](const MbRelease& release) {
        qsizetype index = ChooseMedium(release, m_fileCount);
        for (qsizetype i = 0; i < release.media.size(); ++i)
            if (m_medium > 0 && release.media.at(i).position == m_medium)
                index = i;
        m_disc = DiscFrom(release, index);
        if (m_fetchCover) {
            m_client.fetchFrontCover(release.id);
            return;
        }
        finish();
        Q_EMIT discReady(m_disc);
    });
    connect(&m_client, &MusicBrainzClient::coverReady, this, [this](const QByteArray& image) {
        m_disc.frontCover = image;
        finish();
        Q_EMIT discReady(m_disc);
    });
    connect(&m_client, &MusicBrainzClient::failed, this, [this](const QString& why) {
        // A cover that cannot be fetched does not cost the disc.
        if (!m_disc.releaseId.isEmpty()) {
            finish();
            Q_EMIT discReady(m_disc);
            return;
        }
        m_error = why;
        m_refused = !m_client.refusal().isEmpty();
        finish();
        if (m_refused)
            Q_EMIT failed(LocalText("MusicBrainz answered %1.", "MusicBrainz a répondu %1.").arg(m_client.refusal()));
        else
            Q_EMIT failed(sourceName() + QStringLiteral(": ") + why);
    });
}

QString MusicBrainzSource::statusText() const
{
    return lookuptext::AskingMusicBrainz();
}

void MusicBrainzSource::begin()
{
    m_client.cancel();
    m_disc = {};
    m_releases.clear();
    m_error.clear();
    m_refused = false;
    if (!m_running) {
        m_running = true;
        Q_EMIT runningChanged(true);
    }
}

// The request is over before its outcome is told, so a receiver may start the next one.
void MusicBrainzSource::finish()
{
    m_running = false;
    Q_EMIT runningChanged(false);
}

void MusicBrainzSource::searchWords(const QString& words, bool more)
{
    begin();
    if (LuceneQuery(words, more).isEmpty()) {
        finish();
        Q_EMIT hitsReady({});
        return;
    }
    m_client.searchReleases(words, more);
}

void MusicBrainzSource::searchLengths(const QList<qint64>& lengthsMs)
{
    begin();
    if (lengthsMs.isEmpty() || lengthsMs.size() > kMaxDiscTracks ||
        std::any_of(lengthsMs.begin(), lengthsMs.end(), [](qint64 ms) { return FramesFromMs(ms) < 1; })) {
        m_error = QStringLiteral("a disc holds 1 to %1 tracks that all play").arg(kMaxDiscTracks);
        finish();
        Q_EMIT failed(sourceName() + QStringLiteral(": ") + m_error);
        return;
    }
    m_client.lookupLayout(LayoutFromLengths(lengthsMs));
}

void MusicBrainzSource::read(const LookupHit& hit)
{
    begin();
    if (!IsReleaseId(hit.id)) {
        m_error = QStringLiteral("not a release ID: ") + hit.id;
        finish();
        Q_EMIT failed(sourceName() + QStringLiteral(": ") + m_error);
        return;
    }
    m_medium = hit.medium;
    m_client.readRelease(hit.id);
}

void MusicBrainzSource::cancel()
{
    if (!m_running)
        return;
    m_client.cancel();
    m_disc = {};
    finish();
}

QList<LookupHit> MusicBrainzSource::HitsFrom(const QList<MbRelease>& releases)
{
    QList<LookupHit> hits;
    for (const MbRelease& r : releases) {
        QString where = r.year();
        if (!r.country.isEmpty())
            where += (where.isEmpty() ? QString() : QStringLiteral(", ")) + r.country;
        const QString head = r.artist + QStringLiteral(" / ") + r.title +
                             (where.isEmpty() ? QString() : QStringLiteral(" (") + where + QLatin1Char(')'));
        if (r.media.size() <= 1) {
            hits << LookupHit{sourceName(), r.id, {}, 0, head + QStringLiteral(" [%1]").arg(r.trackCount)};
            continue;
        }
        for (const MbMedium& m : r.media) {
            const QString medium =
                QStringLiteral("%1 %2/%3 [%4]").arg(m.format).arg(m.position).arg(r.media.size()).arg(m.trackCount);
            hits << LookupHit{sourceName(), r.id, {}, m.position, head + QLatin1Char(' ') + medium.trimmed()};
        }
    }
    return hits;
}

LookupDisc MusicBrainzSource::DiscFrom(const MbRelease& release, qsizetype mediumIndex)
{
    LookupDisc disc;
    disc.artist = release.artist;
    disc.album = release.title;
    disc.year = release.year();
    disc.genre = release.genre;
    disc.releaseId = release.id;
    if (mediumIndex < 0 || mediumIndex >= release.media.size())
        return disc;
    const MbMedium& medium = release.media.at(mediumIndex);
    // A track credited to other artists than the release (a compilation) keeps its own.
    for (const MbTrack& t : medium.tracks)
        disc.tracks << LookupTrack{t.title, FramesFromMs(t.lengthMs), t.artist == release.artist ? QString() : t.artist};
    disc.discNumber = medium.position;
    disc.discCount = static_cast<int>(release.media.size());
    return disc;
}

} // namespace tunora
