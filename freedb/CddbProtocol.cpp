#include "freedb/CddbProtocol.h"

#include "dorvane/FileIo.h"
#include "freedb/WebClient.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QUrl>

namespace tunora {

namespace {

// The hello names a user and a host. Without a configured address the program introduces
// itself with these neutral names instead of anything read from the machine.
const QLatin1String kDefaultHelloUser("tunora");
const QLatin1String kDefaultHelloHost("localhost");

void SetText(QString* out, const QString& text)
{
    if (out)
        *out = text;
}

// "categ discid title" of a match line (after the status code for a single match).
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

QString CddbServer()
{
    const QString configured = Setting(setting::kCddbServer).trimmed();
    return configured.isEmpty() ? FreeDBServerList(false).section(QLatin1String("\r\n"), 0, 0) : configured;
}

QString CddbCgiPath()
{
    const QString path = Setting(setting::kCgiPath).trimmed();
    return path.isEmpty() ? QStringLiteral("/~cddb/cddb.cgi") : path;
}

QString CddbHelloIdentity()
{
    // The service asks for the user's e-mail address: user name and host name of the hello
    // are its two halves.
    const QString address = Setting(setting::kCddbUser).trimmed();
    QString user = kDefaultHelloUser, host = kDefaultHelloHost;
    if (!address.isEmpty()) {
        const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
        if (at > 0 && at < address.size() - 1) {
            user = address.left(at);
            host = address.mid(at + 1);
        } else {
            user = address;
        }
    }
    return QString::fromLatin1(QUrl::toPercentEncoding(user)) + QLatin1Char(' ') +
           QString::fromLatin1(QUrl::toPercentEncoding(host));
}

QByteArray CddbRequestHeaders()
{
    const QString address = Setting(setting::kCddbUser).trimmed();
    // A line break in the setting must not write request lines of its own.
    for (const QChar c : address)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QByteArray();
    return address.isEmpty() ? QByteArray() : "User-Email: " + address.toUtf8() + "\r\n";
}

QString CddbCommandUrl(const QString& command, int level)
{
    QString url = QLatin1String("http://") + CddbServer() + CddbCgiPath() + QLatin1String("?cmd=") + command +
                  QLatin1String("&hello=") + CddbHelloIdentity() + QLatin1Char(' ') + QLatin1String(product::kName) +
                  QLatin1Char(' ') + QLatin1String(product::kVersion) + QLatin1String("&proto=") +
                  QString::number(level);
    url.replace(QLatin1Char(' '), QLatin1Char('+'));
    return url;
}

QString CddbStatusLine(const QString& response)
{
    const qsizetype headerEnd = response.indexOf(QLatin1String("\r\n\r\n"));
    if (headerEnd < 0)
        return QString();
    const qsizetype start = headerEnd + 4;
    const qsizetype end = response.indexOf(QLatin1Char('\n'), start);
    return (end < 0 ? response.mid(start) : response.mid(start, end - start)).trimmed();
}

bool RefusesProtocolLevel(const QString& statusLine)
{
    return statusLine.startsWith(QLatin1String("501")) ||
           statusLine.contains(QLatin1String("illegal protocol level"), Qt::CaseInsensitive);
}

QString SendCddbCommand(const QString& command, QString* error, QString* serverLine)
{
    WebClient& client = WebClient::instance();
    for (const int level : {kCddbLevel, kCddbLegacyLevel}) {
        QString url = CddbCommandUrl(command, level);
        const QByteArray bytes = client.GetWebBytes(url, CddbRequestHeaders());
        const QString failure = client.lastFailure();
        const QString refusal = client.lastRefusal();
        client.ErrorOccured();
        if (bytes.isEmpty()) {
            SetText(error, failure.isEmpty() ? QStringLiteral("no answer from the server") : failure);
            SetText(serverLine, refusal);
            return QString();
        }
        // Level 5 entries are Latin-1; a byte that Latin-1 leaves to control codes reads as
        // the mark Windows-1252 puts there, as such entries were mostly typed.
        const QString text = level == kCddbLevel ? DecodeText(bytes) : dorvane::io::DecodeCp1252(bytes);
        if (level != kCddbLevel || !RefusesProtocolLevel(CddbStatusLine(text)))
            return text;
    }
    return QString();
}

bool ParseCddbMatchAnswer(const QString& response, const QStringList& listCodes, const QString& singleCode,
                          QList<QueryMatch>& matches, QString* error, QString* serverLine, bool* single)
{
    matches.clear();
    if (single)
        *single = false;
    const qsizetype headerEnd = response.indexOf(QLatin1String("\r\n\r\n"));
    QString body = headerEnd < 0 ? QString() : response.mid(headerEnd + 4);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = body.split(QLatin1Char('\n'));
    const QString status = lines.value(0).trimmed();
    const QString code = status.left(3);
    auto refuse = [&](const QString& why) {
        SetText(serverLine, status);
        SetText(error, why);
        return false;
    };
    if (status.isEmpty())
        return refuse(QStringLiteral("no CDDB answer in the response"));
    if (code == QLatin1String("202"))
        return true;
    // What follows the last line break may be a line cut short by a dropped connection: a
    // disc ID cut short would fetch another disc.
    const qsizetype complete = lines.size() - 1;
    if (!singleCode.isEmpty() && code == singleCode) {
        if (complete < 1)
            return refuse(QStringLiteral("the answer ends inside its match line"));
        QueryMatch m;
        if (!ParseMatch(status.mid(3), m))
            return refuse(QStringLiteral("unreadable match: ") + status);
        matches << m;
        if (single)
            *single = true;
        return true;
    }
    if (listCodes.contains(code)) {
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
        SetText(error, QStringLiteral("the match list has no terminating \".\" line"));
        return !matches.isEmpty();
    }
    return refuse(QStringLiteral("the server answered: ") + status);
}

} // namespace tunora
