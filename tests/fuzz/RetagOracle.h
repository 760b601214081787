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

// The new ID3v2 tag, then the source behind its old one (a valid header and the bytes its
// size field counts; an ID3v2.4 footer, not counted there, stays), then with withV1 the new
// ID3v1 tag in place of any old one.
inline QByteArray ExpectedRetag(const QByteArray& source, const TrackTag& tag, bool withV1)
{
    qint64 from = 0;
    if (ID3v2TotalSize(source.left(10), source.size()) > 0) {
        for (int i = 6; i < 10; ++i)
            from = from * 128 + static_cast<quint8>(source.at(i));
        from += 10;
    }
    qint64 to = source.size();
    if (withV1 && to > 130 && source.mid(to - 128, 3) == "TAG")
        to -= 128;
    from = std::min(from, to);
    QByteArray out = BuildID3v2(tag) + source.mid(from, to - from);
    if (withV1)
        out += QByteArray("TAG") + BuildID3v1(tag);
    return out;
}

} // namespace tunora::fuzz
