// INI files (the update description among them) come from outside: reading any bytes is safe,
// and a value written into them reads back.
#include "dorvane/IniFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)dorvane::ini::FindValue(bytes, QStringLiteral("Tunora"), QStringLiteral("build"));
    (void)dorvane::ini::FindValue(bytes, QStringLiteral("Tunora"), QStringLiteral("FileName"));
    const auto written = dorvane::ini::WithValue(bytes, QStringLiteral("Tunora"), QStringLiteral("build"),
                                                 QStringLiteral("78"));
    if (written) {
        const auto back = dorvane::ini::FindValue(*written, QStringLiteral("Tunora"), QStringLiteral("build"));
        if (!back || *back != QStringLiteral("78"))
            __builtin_trap();
    }
    return 0;
}
