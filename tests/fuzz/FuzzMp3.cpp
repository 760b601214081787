// MP3 files come from anywhere: measuring and detecting tags never reads past the file and
// never faults, whatever the bytes.
#include "audio/Id3.h"
#include "audio/Mp3Length.h"

#include <QFile>
#include <cstdint>
#include <unistd.h>

static QString scratchPath()
{
    static const QString p = QStringLiteral("/tmp/tunora-fuzz-mp3-%1.mp3").arg(::getpid());
    return p;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(scratchPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(bytes);
    }
    double ms = -1;
    if (tunora::GetMp3Length(scratchPath(), ms) && ms < 0)
        __builtin_trap();
    (void)tunora::HasID3v1(scratchPath());
    const qint64 v2 = tunora::GetID3v2Size(scratchPath());
    if (v2 < 0 || v2 + 10 > bytes.size() + 10)
        __builtin_trap();
    const qint64 total = tunora::ID3v2TotalSize(bytes.left(10), bytes.size());
    if (total < 0 || total > bytes.size())
        __builtin_trap();
    return 0;
}
