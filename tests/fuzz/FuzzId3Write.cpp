// The tag rewrite on arbitrary source files: the result is always the new tag followed by
// every byte of the source behind its old tag (and, when asked, the new ID3v1 tag).
#include "audio/Id3.h"
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
    const tunora::TrackTag tag = tunora::fuzz::RetagTag(data[0]);
    if (!tunora::WriteID3Tags(tag, scratchPath(), withV1, true))
        return 0;
    QFile f(scratchPath());
    if (!f.open(QIODevice::ReadOnly))
        __builtin_trap();
    if (f.readAll() != tunora::fuzz::ExpectedRetag(source, tag, withV1))
        __builtin_trap();
    return 0;
}
