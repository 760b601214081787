// What a tag rewrite must leave, computed from the source bytes alone: shared by the rewrite's
// fuzz target and the replay of its findings.
#pragma once

#include "audio/Id3.h"

#include <QByteArray>
#include <algorithm>

namespace tunora::fuzz {

// The tag written for an input whose first byte is flags: bit 0 gives texts beyond Latin-1.
inline TrackTag RetagTag(unsigned char flags)
{
    TrackTag tag;
    tag.title = (flags & 1) ? QStringLiteral("Titre \u00e9t\u00e9 \u4e2d") : QStringLiteral("Title");
    tag.track = QStringLiteral("3");
    tag.artist = QStringLiteral("Artist");
    tag.album = QStringLiteral("Album");
    tag.year = QStringLiteral("2001");
    tag.comment = QStringLiteral("Tagged By Tunora");
    tag.genre = QStringLiteral("Rock");
    return tag;
}

// The new ID3v2 tag (keeping what the old first tag holds beside the seven frames), then the
// source behind that tag (a valid header, the bytes its size field counts and an ID3v2.4
// footer), then with withV1 the new ID3v1 tag in place of any old one.
inline QByteArray ExpectedRetag(const QByteArray& source, const TrackTag& tag, bool withV1)
{
    qint64 from = ID3v2TotalSize(source.left(10), source.size());
    qint64 to = source.size();
    if (withV1 && to > 130 && source.mid(to - 128, 3) == "TAG")
        to -= 128;
    const QByteArray oldTag = source.left(from);
    from = std::min(from, to);
    QByteArray out = BuildID3v2(tag, oldTag) + source.mid(from, to - from);
    if (withV1)
        out += QByteArray("TAG") + BuildID3v1(tag);
    return out;
}

} // namespace tunora::fuzz
