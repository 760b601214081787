// The MusicBrainz web service and the Cover Art Archive as data: the disc ID and table of
// contents of a row of playing times, the addresses asked, and the releases read from the
// JSON answers. No network here (see MusicBrainzClient.h).
#pragma once

#include "shell/core/DiscLayout.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace tunora {

// A disc holds at most 99 tracks; the disc ID has room for no more.
inline constexpr int kMaxDiscTracks = 99;

// The 28-character disc ID of a disc laid out as layout, its first track numbered 1.
QString MusicBrainzDiscId(const DiscLayout& layout);
// The "toc" parameter: first track, last track, lead-out, then each track's offset, joined by "+".
QString TocParameter(const DiscLayout& layout);

// Search words as a query: "Artist - Album" asks for both fields, other words for the release
// title; more widens the same words (either field). Query syntax in the words is escaped.
QString LuceneQuery(const QString& words, bool more);

// True for a release ID (a lower-case UUID): only such text is put into a request path.
bool IsReleaseId(const QString& text);

// Service roots: TUNORA_MUSICBRAINZ_URL (ending in "/ws/2/") and TUNORA_COVERART_URL replace
// the public https addresses.
QUrl MusicBrainzRoot();
QUrl CoverArtRoot();
QUrl SearchUrl(const QString& words, bool more);
// A table of contents lookup that brings the releases' tracks too: one request is enough to
// compare them with the files.
QUrl TocUrl(const DiscLayout& layout);
QUrl ReleaseUrl(const QString& releaseId);
QUrl FrontCoverUrl(const QString& releaseId);

// "Tunora/<version> ( <contact> )": the CDDB user's address when set, else the web site.
QByteArray MusicBrainzUserAgent();

struct MbTrack {
    QString title;
    qint64 lengthMs = 0; // 0 when the service knows no length
    QString artist = {}; // its artist credit (of the track, else of its recording); empty when none
};

struct MbMedium {
    int position = 0; // 1 for the first medium of the release
    QString format;   // "CD", "Digital Media", ...
    int trackCount = 0;
    QList<MbTrack> tracks; // only in a release read; empty in search answers
};

struct MbRelease {
    QString id, title, artist, date, country;
    QString genre; // the most-voted of its genres (a release read with inc=genres), else empty
    int trackCount = 0; // over every medium
    QList<MbMedium> media;
    QString year() const { return date.left(4); }
};

// The releases of a search answer or of a disc ID / table of contents lookup (exact or
// fuzzy). False, with the reason, when the answer is not such a list.
bool ParseReleaseList(const QByteArray& json, QList<MbRelease>& releases, QString* error = nullptr);
// One release read with its media and tracks.
bool ParseRelease(const QByteArray& json, MbRelease& release, QString* error = nullptr);

// The index in media of the medium whose track count equals fileCount, else 0.
qsizetype ChooseMedium(const MbRelease& release, qsizetype fileCount);

// Frames of 1/75 s in a length of milliseconds, rounded as the table of contents rounds.
qint64 FramesFromMs(qint64 ms);

// The MIME type of a picture from its first bytes (JPEG, PNG, GIF, WebP); empty when the
// bytes are no picture of these kinds.
QString ImageMimeType(const QByteArray& bytes);

} // namespace tunora
