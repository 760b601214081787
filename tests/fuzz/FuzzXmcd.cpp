// CDDB entries and "cddb read" answers come from the network: any bytes must parse safely.
#include "freedb/Cddb.h"
#include "shell/core/Shared.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = tunora::DecodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    tunora::DiscRecord record;
    QString error;
    if (!tunora::ParseXmcd(text, record, &error) && !record.tracks.isEmpty())
        __builtin_trap(); // a refused entry leaves no tracks behind
    tunora::DiscRecord r2;
    (void)tunora::ParseCddbReadResponse(text, r2, &error);
    for (const tunora::CddbTrack& t : record.tracks)
        if (t.frames < 0)
            __builtin_trap();
    return 0;
}
