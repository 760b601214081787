#include "freedb/DiscId.h"

#include "audio/Mp3Length.h"
#include "freedb/Cddb.h"
#include "freedb/WebClient.h"
#include "shell/core/Product.h"

#include <QFileInfo>

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

DiscLayout LayoutFromLengths(const QList<qint64>& lengthsMs)
{
    DiscLayout layout;
    qint64 frame = 150;
    for (const qint64 ms : lengthsMs) {
        layout.offsets << frame;
        frame += (ms * 75 + 500) / 1000;
    }
    layout.leadOut = frame;
    layout.totalSeconds = frame / 75;
    return layout;
}

QString CddbQueryUrl(const DiscLayout& layout)
{
    QString cmd = QLatin1String("cddb query ") + DiscIdText(CddbDiscId(layout.offsets, layout.totalSeconds)) +
                  QLatin1Char(' ') + QString::number(layout.offsets.size());
    for (const qint64 offset : layout.offsets)
        cmd += QLatin1Char(' ') + QString::number(offset);
    cmd += QLatin1Char(' ') + QString::number(layout.totalSeconds);
    QString url = QLatin1String("http://") + CddbServer() + CddbCgiPath() + QLatin1String("?cmd=") + cmd +
                  QLatin1String("&hello=") + CddbHelloIdentity() + QLatin1Char(' ') + QLatin1String(product::kName) +
                  QLatin1Char(' ') + QLatin1String(product::kVersion) + QLatin1String("&proto=5");
    url.replace(QLatin1Char(' '), QLatin1Char('+'));
    return url;
}

namespace {

// "categ discid title" of a match line (after the status code for "200").
bool ParseMatch(const QString& line, QueryMatch& match)
{
    const QString l = line.trimmed();
    const qsizetype a = l.indexOf(QLatin1Char(' '));
    if (a <= 0)
        return false;
    const qsizetype b = l.indexOf(QLatin1Char(' '), a + 1);
    match.category = l.left(a);
    match.discid = b < 0 ? l.mid(a + 1) : l.mid(a + 1, b - a - 1);
    match.title = b < 0 ? QString() : l.mid(b + 1).trimmed();
    return !match.discid.isEmpty();
}

} // namespace

bool ParseCddbQueryResponse(const QString& response, QList<QueryMatch>& matches, QString* error,
                            QString* serverLine)
{
    matches.clear();
    const qsizetype headerEnd = response.indexOf(QLatin1String("\r\n\r\n"));
    QString body = headerEnd < 0 ? QString() : response.mid(headerEnd + 4);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = body.split(QLatin1Char('\n'));
    const QString status = lines.value(0).trimmed();
    const QString code = status.left(3);
    auto refuse = [&](const QString& why) {
        if (serverLine)
            *serverLine = status;
        if (error)
            *error = why;
        return false;
    };
    if (status.isEmpty())
        return refuse(QStringLiteral("no CDDB answer in the response"));
    if (code == QLatin1String("202"))
        return true;
    // What follows the last line break may be a line cut short by a dropped connection: a
    // disc ID cut short would fetch another disc.
    const qsizetype complete = lines.size() - 1;
    if (code == QLatin1String("200")) {
        if (complete < 1)
            return refuse(QStringLiteral("the answer ends inside its match line"));
        QueryMatch m;
        if (!ParseMatch(status.mid(3), m))
            return refuse(QStringLiteral("unreadable match: ") + status);
        matches << m;
        return true;
    }
    if (code == QLatin1String("210") || code == QLatin1String("211")) {
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (lines.at(i).trimmed() == QLatin1String("."))
                return true;
            if (i >= complete)
                break;
            QueryMatch m;
            if (ParseMatch(lines.at(i), m))
                matches << m;
        }
        // A list cut off before its "." line still names real discs, but may be incomplete.
        if (error)
            *error = QStringLiteral("the match list has no terminating \".\" line");
        return !matches.isEmpty();
    }
    return refuse(QStringLiteral("the server answered: ") + status);
}

bool QueryCDDB(const DiscLayout& layout, QList<QueryMatch>& matches, QString* error, QString* serverLine)
{
    matches.clear();
    QString url = CddbQueryUrl(layout);
    const QString response = GetWebSite(url);
    const QString failure = WebClient::instance().lastFailure();
    const QString refusal = WebClient::instance().lastRefusal();
    ErrorOccured();
    if (response.isEmpty()) {
        if (error)
            *error = failure.isEmpty() ? QStringLiteral("no answer from the server") : failure;
        if (serverLine)
            *serverLine = refusal;
        return false;
    }
    return ParseCddbQueryResponse(response, matches, error, serverLine);
}

bool MeasurePlayingTimes(const QStringList& paths, QList<qint64>& lengthsMs, QString* error)
{
    lengthsMs.clear();
    for (const QString& path : paths) {
        double ms = 0;
        QString why;
        if (!GetMp3Length(path, ms, &why) || ms < 1) {
            if (error)
                *error = QFileInfo(path).fileName() + QLatin1String(": ") +
                         (why.isEmpty() ? QStringLiteral("no playing time") : why);
            return false;
        }
        lengthsMs << static_cast<qint64>(ms);
    }
    return true;
}

} // namespace tunora
