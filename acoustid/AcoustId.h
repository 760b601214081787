// The AcoustID web service as data: the lookup asked for one fingerprint, the answer read
// from its JSON, and the releases of an album's answers ranked. No network here (see
// AcoustIdClient.h).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace tunora {

struct AidTrack {
    int position = 0; // on its medium, from 1
    QString title;
};

struct AidMedium {
    int position = 0; // in its release, from 1
    int trackCount = 0;
    QString format;
    QList<AidTrack> tracks; // those holding the recording looked up
};

struct AidRelease {
    QString id, title, artist, date, country; // date "YYYY[-MM[-DD]]", may be empty
    int mediumCount = 0;
    QList<AidMedium> mediums;
};

struct AidRecording {
    QString id, title, artist;
    int seconds = 0;
    QList<AidRelease> releases;
};

struct AidResult {
    QString id;
    double score = 0; // 0..1: how sure the service is that the fingerprint is this one
    QList<AidRecording> recordings;
};

struct AidAnswer {
    bool ok = false;      // status "ok"; else the service's error code and message
    int errorCode = 0;
    QString errorMessage;
    QList<AidResult> results;
};

// The service's codes for a fingerprint it cannot use or does not know: that file finds
// nothing, the other files of the album are still looked up.
inline bool IsFingerprintRefusal(int code)
{
    return code == 3 || code == 18;
}

// The answer to a lookup; false, with the reason, when the bytes are no such answer. Lists
// are read up to bounds far beyond real answers (results, recordings, releases, media, tracks).
bool ParseAcoustIdAnswer(const QByteArray& json, AidAnswer& answer, QString* error = nullptr);

// TUNORA_ACOUSTID_URL (the root, before "v2/") replaces https://api.acoustid.org/.
QUrl AcoustIdRoot();
QUrl AcoustIdLookupUrl();
// The lookup's parameters as a query or form: client, meta, duration, fingerprint, format.
QByteArray AcoustIdLookupQuery(const QString& key, int seconds, const QByteArray& fingerprint);
// True for text a fingerprint can be: base64 in the URL-safe alphabet, not empty.
bool IsFingerprintText(const QByteArray& text);

// A release as the album's files hold it: matched files lie at their own track number on
// its best medium (the files in album order are tracks 1, 2, ...).
struct RankedRelease {
    AidRelease release; // its media merged over every answer
    int matched = 0;    // files at matching positions on medium
    int held = 0;       // files it holds at all
    double score = 0;   // the sum over the files it holds of their best score
    int medium = 0;     // position of the medium the files match best, 0 when none matched
};

// perFile: the answer's results for each file, in album order (empty for a file unknown to
// the service). Releases ranked by matched files, then by score, then by ID.
QList<RankedRelease> RankReleases(const QList<QList<AidResult>>& perFile);

} // namespace tunora
