// The tag rewrite on arbitrary source files: the result is always the new tag followed by
// every byte of the source behind its old tag.
#include "audio/Id3.h"

#include <QFile>
#include <cstdint>
#include <unistd.h>

static QString scratchPath()
{
    static const QString p = QStringLiteral("/tmp/tunora-fuzz-id3-%1.mp3").arg(::getpid());
    return p;
}

// What the rewrite drops: a valid ID3v2 header and the bytes its size field counts. The
// 10-byte footer of an ID3v2.4 tag is not counted there and stays in front of the audio.
static qint64 OldTagBytes(const QByteArray& source)
{
    if (tunora::ID3v2TotalSize(source.left(10), source.size()) == 0)
        return 0;
    qint64 n = 0;
    for (int i = 6; i < 10; ++i)
        n = n * 128 + static_cast<quint8>(source.at(i));
    return 10 + n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the tag texts' flavour: Latin-1 or beyond.
    const bool wide = data[0] & 1;
    const QByteArray source(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    {
        QFile f(scratchPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(source);
    }
    tunora::TrackTag tag;
    tag.title = wide ? QStringLiteral("Titre \u00e9t\u00e9 \u4e2d") : QStringLiteral("Title");
    tag.track = QStringLiteral("3");
    tag.artist = QStringLiteral("Artist");
    tag.album = QStringLiteral("Album");
    tag.year = QStringLiteral("2001");
    tag.comment = QStringLiteral("Tagged By Tunora");
    tag.genre = QStringLiteral("Rock");
    const qint64 oldTag = OldTagBytes(source);
    if (!tunora::WriteID3Tags(tag, scratchPath(), false, true))
        return 0;
    QFile f(scratchPath());
    if (!f.open(QIODevice::ReadOnly))
        __builtin_trap();
    const QByteArray result = f.readAll();
    const QByteArray expected = tunora::BuildID3v2(tag) + source.mid(oldTag);
    if (result != expected)
        __builtin_trap();
    return 0;
}
