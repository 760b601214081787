// The write journal comes back from disk after a crash, torn or damaged: recovery over any
// bytes never crashes and touches no file the journal does not name.
#include "tests/fuzz/JournalOracle.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString why;
    if (!tunora::test::RecoveryStaysInside(tunora::test::JournalFromInput(input), &why))
        __builtin_trap();
    return 0;
}
