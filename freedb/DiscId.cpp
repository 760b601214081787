#include "freedb/DiscId.h"

#include "freedb/CddbProtocol.h"

namespace tunora {

int CddbSum(qint64 n)
{
    int sum = 0;
    for (n = n < 0 ? -n : n; n > 0; n /= 10)
        sum += static_cast<int>(n % 10);
    return sum;
}

quint32 CddbDiscId(const QList<qint64>& offsets, qint64 totalSeconds)
{
    if (offsets.isEmpty())
        return 0;
    qint64 n = 0;
    for (const qint64 offset : offsets)
        n += CddbSum(offset / 75);
    const qint64 t = totalSeconds - offsets.first() / 75;
    return (static_cast<quint32>(n % 0xff) << 24) | (static_cast<quint32>(t & 0xffff) << 8) |
           static_cast<quint32>(offsets.size() & 0xff);
}

QString DiscIdText(quint32 discid)
{
    return QStringLiteral("%1").arg(discid, 8, 16, QLatin1Char('0'));
}

QString CddbQueryCommand(const DiscLayout& layout)
{
    QString cmd = QLatin1String("cddb query ") + DiscIdText(CddbDiscId(layout.offsets, layout.totalSeconds)) +
                  QLatin1Char(' ') + QString::number(layout.offsets.size());
    for (const qint64 offset : layout.offsets)
        cmd += QLatin1Char(' ') + QString::number(offset);
    return cmd + QLatin1Char(' ') + QString::number(layout.totalSeconds);
}

QString CddbQueryUrl(const DiscLayout& layout)
{
    return CddbCommandUrl(CddbQueryCommand(layout));
}

bool ParseCddbQueryResponse(const QString& response, QList<QueryMatch>& matches, QString* error,
                            QString* serverLine, bool* exact)
{
    return ParseCddbMatchAnswer(response, {QStringLiteral("210"), QStringLiteral("211")}, QStringLiteral("200"),
                                matches, error, serverLine, exact);
}

bool QueryCDDB(const DiscLayout& layout, QList<QueryMatch>& matches, QString* error, QString* serverLine, bool* exact)
{
    matches.clear();
    if (exact)
        *exact = false;
    const QString response = SendCddbCommand(CddbQueryCommand(layout), error, serverLine);
    if (response.isEmpty())
        return false;
    return ParseCddbQueryResponse(response, matches, error, serverLine, exact);
}

} // namespace tunora
