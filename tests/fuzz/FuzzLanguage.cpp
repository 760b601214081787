// Language files are edited by hand: any bytes must parse without a fault.
#include "shell/core/Language.h"
#include "shell/core/Shared.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList texts = tunora::ParseLanguageFile(bytes);
    for (const QString& t : texts)
        if (t != t.trimmed())
            __builtin_trap();
    (void)tunora::DecodeText(bytes);
    return 0;
}
