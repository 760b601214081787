// The tag rewrite on arbitrary source files: the result is always the new tag (the seven
// frames first, then well-formed v2.3 frames kept from the old tag) followed by every byte of
// the source behind its old tag (and, when asked, the new ID3v1 tag).
#include "audio/Id3.h"
#include "audio/Id3Frames.h"
#include "tests/fuzz/RetagOracle.h"

#include <QFile>
#include <cstdint>
#include <unistd.h>

static QString scratchPath()
{
    static const QString p = QStringLiteral("/tmp/tunora-fuzz-id3-%1.mp3").arg(::getpid());
    return p;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the tag texts' flavour (bit 0) and whether an ID3v1 tag is
    // written too (bit 1).
    const bool withV1 = data[0] & 2;
    const QByteArray source(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    {
        QFile f(scratchPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(source);
    }
    for (const QByteArray& frame : tunora::ID3v2FramesAsV23(source)) {
        const quint32 size = (quint32(quint8(frame[4])) << 24) | (quint32(quint8(frame[5])) << 16) |
                             (quint32(quint8(frame[6])) << 8) | quint8(frame[7]);
        if (frame.size() < 10 || size != quint32(frame.size() - 10))
            __builtin_trap();
        (void)tunora::ID3v2FrameKey(frame);
    }
    const tunora::TrackTag tag = tunora::fuzz::RetagTag(data[0]);
    if (!tunora::WriteID3Tags(tag, scratchPath(), withV1, true))
        return 0;
    QFile f(scratchPath());
    if (!f.open(QIODevice::ReadOnly))
        __builtin_trap();
    if (!tunora::fuzz::RetagMismatch(f.readAll(), tunora::fuzz::ExpectRetag(source, tag, withV1)).isEmpty())
        __builtin_trap();
    return 0;
}
