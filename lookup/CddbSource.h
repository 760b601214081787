// The CDDB service as a lookup source: words go to the server's search command (the web
// search pages as the fallback, and for the broader repeat with the words joined by OR), playing times to a disc-ID
// query, and a hit is read as one xmcd entry whose DGENRE (else its category) becomes the genre.
#pragma once

#include "lookup/LookupSource.h"
#include "freedb/Search.h"

namespace tunora {

struct CddbTrack;

class CddbSource : public LookupSource {
    Q_OBJECT
public:
    explicit CddbSource(QObject* parent = nullptr);

    static QString sourceName() { return QStringLiteral("CDDB"); }
    QString name() const override { return sourceName(); }
    QString statusText() const override;
    // Each request runs to its end here, the event loop running meanwhile.
    void searchWords(const QString& words, bool more) override;
    void searchLengths(const QList<qint64>& lengthsMs) override;
    void read(const LookupHit& hit) override;
    void cancel() override;
    bool isRunning() const override { return m_running; }
    QString lastError() const override { return m_error; }

    // The last search page the web search received (empty after the search command).
    QString lastPage() const { return m_page; }

    // One hit per accepted result: the category as the group, the disc ID as the id.
    static QList<LookupHit> HitsFrom(const SearchResults& results);
    // A track of a disc by discArtist: on a "Various" disc a title "Artist / Title" gives
    // the track its own artist and the title after the " / ".
    static LookupTrack VariousTrack(const QString& discArtist, const CddbTrack& track);

private:
    void begin();
    void finish();
    // Ends a search: hits, or the reason nothing was found (the server's refusal, else the
    // client's notice). The connection is dropped either way.
    void endSearch(QList<LookupHit> hits, const QString& refusal);
    static QString reason(const QString& refusal);

    bool m_running = false;
    QString m_page, m_error;
};

} // namespace tunora
