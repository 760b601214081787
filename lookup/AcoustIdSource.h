// AcoustID as a lookup source: it finds releases by the sound of the album's files. Each file
// is fingerprinted (on every core, off the caller's thread), each fingerprint looked up, and
// the releases ranked by how many files they hold at the files' own track numbers, then by
// the service's scores. A hit is read from MusicBrainz, one row per medium as there.
#pragma once

#include "acoustid/AcoustIdClient.h"
#include "fingerprint/FingerprintJob.h"
#include "lookup/LookupSource.h"
#include "lookup/MusicBrainzSource.h"

namespace tunora {

class AcoustIdSource : public LookupSource {
    Q_OBJECT
public:
    explicit AcoustIdSource(QObject* parent = nullptr);

    static QString sourceName() { return QStringLiteral("AcoustID"); }
    QString name() const override { return sourceName(); }
    QString statusText() const override;
    // Neither words nor playing times: these fail, saying to search by the files.
    void searchWords(const QString& words, bool more) override;
    void searchLengths(const QList<qint64>& lengthsMs) override;
    // The album's files in track order. Without the key of the settings nothing is sent and
    // the search fails, saying where to get one.
    void searchFiles(const QStringList& paths);
    void read(const LookupHit& hit) override;
    void cancel() override;
    bool isRunning() const override { return m_running; }
    QString lastError() const override { return m_error; }

    // The releases the last search ranked, best first, and the ranking itself.
    const QList<MbRelease>& lastReleases() const { return m_releases; }
    const QList<RankedRelease>& lastRanking() const { return m_ranking; }

    void setFetchCover(bool on) { m_mb.setFetchCover(on); }
    void setFileCount(qsizetype count) { m_mb.setFileCount(count); }
    void setStallTimeout(int ms) { m_client.setStallTimeout(ms); }

    // A ranked release as MusicBrainz data (its rows and the CLI's lines come from there).
    static MbRelease ReleaseFrom(const RankedRelease& ranked);

private:
    void begin();
    void finish();
    void fail(const QString& why);
    void fingerprinted(const QList<FileFingerprint>& prints);
    void lookUpNext();
    void answered(const AidAnswer& answer);

    FingerprintJob m_job;
    AcoustIdClient m_client;
    MusicBrainzSource m_mb;
    QString m_key, m_error;
    QList<FileFingerprint> m_prints;
    QList<QList<AidResult>> m_answers;
    qsizetype m_next = 0;
    QList<RankedRelease> m_ranking;
    QList<MbRelease> m_releases;
    bool m_running = false, m_reading = false;
};

} // namespace tunora
