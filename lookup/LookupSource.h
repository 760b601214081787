// A place albums are looked up in (the CDDB service, MusicBrainz). The album page's
// controller and tunora-cli drive every source through this one interface: a search by
// words, a search by the files' playing times, and reading one hit into a disc record.
// Each request ends in exactly one of hitsReady, discReady or failed, unless cancelled.
// A source owns its requests' wording: failed carries the reason for a window to put under
// its own message, lastError() the plain words tunora-cli prints.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace tunora {

struct LookupTrack {
    QString title;
    qint64 frames = 0; // length in CD frames of 1/75 s; 0 when the source gives none
    QString artist = {}; // the track's own artist when it is not the disc's; else empty
    bool operator==(const LookupTrack&) const = default;
};

// One disc as a source reads it; what Apply writes comes from here.
struct LookupDisc {
    QString artist, album, year, genre;
    QList<LookupTrack> tracks;
    int discNumber = 0; // position of this medium in its release, 0 when unknown
    int discCount = 0;  // media in the release, 0 when unknown
    QString releaseId;  // the source's own identifier of the release (cover art), may be empty
    QByteArray frontCover; // the release's front picture when the source fetched one, else empty
};

// One row of the results list.
struct LookupHit {
    QString source;  // the source's name(), shown beside the row
    QString id;      // what read() needs: a CDDB disc ID, a MusicBrainz release ID
    QString group;   // CDDB: the category; MusicBrainz: empty
    int medium = 0;  // MusicBrainz: position of the medium in a multi-disc release, else 0
    QString display; // the text of the row
    bool exact = false; // of a search by playing times: the service matched them exactly
    bool operator==(const LookupHit&) const = default;
};

class LookupSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~LookupSource() override = default;

    virtual QString name() const = 0;
    // The status line while a request runs.
    virtual QString statusText() const = 0;
    // more: the broader repeat of the same words, where the source has one.
    virtual void searchWords(const QString& words, bool more) = 0;
    // Playing times of the album's files in milliseconds, in track order.
    virtual void searchLengths(const QList<qint64>& lengthsMs) = 0;
    virtual void read(const LookupHit& hit) = 0;
    // Ends the running request; no signal but runningChanged(false) follows.
    virtual void cancel() = 0;
    virtual bool isRunning() const = 0;
    // Why the last request failed, in plain words; empty after a success or a cancel.
    virtual QString lastError() const = 0;
    // The last failure was the service refusing the request (an HTTP error), not "nothing
    // found": a window shows it alone.
    virtual bool lastFailureRefused() const { return false; }

Q_SIGNALS:
    void runningChanged(bool running);
    // The status line's text while a request runs (its progress), empty at its end; the
    // album page shows it, tunora-cli does not.
    void statusChanged(const QString& text);
    void hitsReady(const QList<tunora::LookupHit>& hits);
    void discReady(const tunora::LookupDisc& disc);
    // why: the reason for the user (a server's refusal, a timeout), empty when there is
    // none to tell beyond "nothing found" / "not read".
    void failed(const QString& why);
};

// The outcome of one request of a source.
struct LookupOutcome {
    bool ok = false;        // hits or disc came; else failure says why
    QList<LookupHit> hits;  // of a search
    LookupDisc disc;        // of a read
    QString failure;
};

// Starts a request of the source with start() and waits for its outcome, the event loop
// running meanwhile (windows stay responsive). A request cancelled meanwhile fails with an
// empty text.
LookupOutcome AwaitLookup(LookupSource& source, const std::function<void()>& start);

// Reads one hit of a source and waits for the disc; false with the source's lastError().
bool ReadLookupDisc(LookupSource& source, const LookupHit& hit, LookupDisc& disc, QString* error = nullptr);

} // namespace tunora
