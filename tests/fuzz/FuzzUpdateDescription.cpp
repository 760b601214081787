// "upd.dat" comes from the update server: whatever it holds, reading it never faults, and a
// name or folder taken from it is only accepted when it stays inside its place.
#include "updater/UpdateCore.h"

#include <QFile>
#include <cmath>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QStringLiteral("/tmp/tunora-fuzz-upd-%1.dat").arg(::getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const tunora::UpdateDescription d = tunora::ReadUpdateDescription(path);
    if (std::isnan(d.build))
        __builtin_trap();
    if (tunora::IsSafeInstallerName(d.fileName)) {
        if (d.fileName.isEmpty() || d.fileName.contains(QLatin1Char('/')) || d.fileName == QLatin1String("..") ||
            d.fileName == QLatin1String("."))
            __builtin_trap();
        for (const QChar c : d.fileName)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                __builtin_trap();
    }
    if (tunora::IsSafeServerFolder(d.path)) {
        if (d.path.isEmpty() || d.path.split(QLatin1Char('/')).contains(QLatin1String("..")))
            __builtin_trap();
        for (const QChar c : d.path)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                __builtin_trap();
    }
    return 0;
}
