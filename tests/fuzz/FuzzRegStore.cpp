// Settings files are edited by hand: any bytes must parse or be refused, and what parses must
// survive a write and a read unchanged.
#include "dorvane/RegStore.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto doc = dorvane::store::RegDocument::Parse(bytes, &error);
    if (!doc)
        return 0;
    const QByteArray once = doc->Serialize();
    const auto again = dorvane::store::RegDocument::Parse(once, &error);
    if (!again || again->Serialize() != once)
        __builtin_trap();
    return 0;
}
