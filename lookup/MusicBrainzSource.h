// MusicBrainz as a lookup source: words search the releases, playing times become a table
// of contents, and a hit reads one medium of a release (with its front cover when asked).
#pragma once

#include "lookup/LookupSource.h"
#include "musicbrainz/MusicBrainzClient.h"

namespace tunora {

class MusicBrainzSource : public LookupSource {
    Q_OBJECT
public:
    explicit MusicBrainzSource(QObject* parent = nullptr);

    static QString sourceName() { return QStringLiteral("MusicBrainz"); }
    QString name() const override { return sourceName(); }
    QString statusText() const override;
    void searchWords(const QString& words, bool more) override;
    void searchLengths(const QList<qint64>& lengthsMs) override;
    void read(const LookupHit& hit) override;
    void cancel() override;
    bool isRunning() const override { return m_running; }
    QString lastError() const override { return m_error; }
    bool lastFailureRefused() const override { return m_refused; }
    // The releases the last search found, with what a hit's row does not show.
    const QList<MbRelease>& lastReleases() const { return m_releases; }

    // read() also fetches the release's front cover into the disc; a release without one
    // (or a cover that cannot be fetched) leaves it empty.
    void setFetchCover(bool on) { m_fetchCover = on; }
    // The album's file count: a hit that names no medium reads the medium with as many tracks.
    void setFileCount(qsizetype count) { m_fileCount = count; }

    // One row per release, one per medium of a release of several.
    static QList<LookupHit> HitsFrom(const QList<MbRelease>& releases);
    static LookupDisc DiscFrom(const MbRelease& release, qsizetype mediumIndex);

private:
    void begin();
    void finish();
    MusicBrainzClient m_client;
    LookupDisc m_disc;
    QList<MbRelease> m_releases;
    QString m_error;
    bool m_running = false, m_fetchCover = false, m_refused = false;
    int m_medium = 0;
    qsizetype m_fileCount = 0;
};

} // namespace tunora
