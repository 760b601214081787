// The CDDB service as a lookup source: words go to the server's search command (the web
// search pages as the fallback, and for the broader repeat), playing times to a disc-ID
// query, and a hit is read as one xmcd entry whose category becomes the genre.
#pragma once

#include "album/LookupSource.h"
#include "freedb/Search.h"

namespace tunora {

class CddbSource : public LookupSource {
    Q_OBJECT
public:
    using LookupSource::LookupSource;

    static QString sourceName() { return QStringLiteral("CDDB"); }
    QString name() const override { return sourceName(); }
    // Each request runs to its end here, the event loop running meanwhile.
    void searchWords(const QString& words, bool more) override;
    void searchLengths(const QList<qint64>& lengthsMs) override;
    void read(const LookupHit& hit) override;
    void cancel() override;
    bool isRunning() const override { return m_running; }

    // The last search page the web search received (empty after the search command).
    QString lastPage() const { return m_page; }

    // One hit per accepted result: the category as the group, the disc ID as the id.
    static QList<LookupHit> HitsFrom(const SearchResults& results);

private:
    void begin();
    void finish();
    // Ends the request: hits, or language text "failure" with the server's reason.
    void endSearch(const SearchResults& results, const QString& refusal);

    bool m_running = false;
    QString m_page;
};

} // namespace tunora
