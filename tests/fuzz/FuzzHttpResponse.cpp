// Web answers come from any server or proxy: reading the status line and a redirect's
// "Location:" never faults, and an address taken from a redirect can never add lines of its
// own to the next request.
#include "freedb/WebClient.h"
#include "shell/core/Shared.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString response =
        tunora::DecodeText(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const tunora::HttpDisposition d = tunora::ClassifyHttpResponse(response);
    switch (d.kind) {
    case tunora::HttpDisposition::Accept:
        if (!d.location.isEmpty() || !d.failure.isEmpty() || !d.refusal.isEmpty())
            __builtin_trap();
        return 0;
    case tunora::HttpDisposition::Refuse:
        if (d.failure.isEmpty() || !d.location.isEmpty())
            __builtin_trap();
        return 0;
    case tunora::HttpDisposition::Redirect:
        break;
    }
    if (d.location.isEmpty() || d.location.contains(QLatin1Char('\r')) || d.location.contains(QLatin1Char('\n')) ||
        !response.contains(QLatin1String("Location:") + d.location))
        __builtin_trap();

    QString next = d.location.trimmed();
    if (!tunora::AddressRefusal(next).isEmpty())
        return 0;
    if (next.indexOf(QLatin1Char('/'), next.indexOf(QLatin1String("://")) + 3) < 0)
        next += QLatin1Char('/');
    const QByteArray request = tunora::HttpRequestText(next, tunora::UrlHost(next));
    // Six lines, each ended by CRLF, and no other line break anywhere.
    if (request.count("\r\n") != 6 || request.count('\r') != 6 || request.count('\n') != 6 ||
        !request.startsWith("GET ") || !request.endsWith("\r\n\r\n"))
        __builtin_trap();
    return 0;
}
