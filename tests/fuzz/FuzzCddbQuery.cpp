// "cddb query" and search command answers come from the network: any answer parses or is
// refused with the server's line, and a refusal lists no match.
#include "freedb/DiscId.h"
#include "freedb/Search.h"
#include "shell/core/Shared.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = tunora::DecodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QList<tunora::QueryMatch> matches;
    QString error, line;
    if (!tunora::ParseCddbQueryResponse(text, matches, &error, &line) && !matches.isEmpty())
        __builtin_trap();
    if (!tunora::ParseCddbSearchResponse(text, matches, &error, &line) && !matches.isEmpty())
        __builtin_trap();
    for (const tunora::QueryMatch& m : matches)
        if (m.discid.isEmpty() || m.category.isEmpty())
            __builtin_trap();
    return 0;
}
