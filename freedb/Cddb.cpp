#include "freedb/Cddb.h"

#include "freedb/WebClient.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QUrl>

namespace tunora {

namespace {

const QLatin1String kCrLf("\r\n");

// The hello names a user and a host. Without a configured address the program introduces
// itself with these neutral names instead of anything read from the machine.
const QLatin1String kDefaultHelloUser("tunora");
const QLatin1String kDefaultHelloHost("localhost");

// Entries saved on disk or served by some scripts end their lines in LF alone.
QString WithCrLf(const QString& text)
{
    if (!text.contains(QLatin1Char('\n')))
        return text;
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            out += QLatin1Char('\r');
        out += c;
    }
    return out;
}

// The value of "KEY=" up to the end of its line, or a null text when the key or the line
// end is missing.
QString LineValue(const QString& text, QLatin1String key, qsizetype* at = nullptr)
{
    const qsizetype k = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (k < 0)
        return QString();
    const qsizetype start = k + key.size();
    const qsizetype end = text.indexOf(kCrLf, start);
    if (end < 0)
        return QString();
    if (at)
        *at = k;
    QString value = text.mid(start, end - start);
    if (value.isNull())
        value = QLatin1String("");
    return value;
}

// First position of each "TITLEn=" (n written without leading zeros), case ignored, in one
// pass over the entry.
QHash<qint64, qsizetype> TitlePositions(const QString& text)
{
    QHash<qint64, qsizetype> positions;
    const QLatin1String title("TITLE");
    qsizetype from = 0;
    while (true) {
        const qsizetype k = text.indexOf(title, from, Qt::CaseInsensitive);
        if (k < 0)
            break;
        from = k + 1;
        qsizetype d = k + title.size();
        const qsizetype digitsStart = d;
        while (d < text.size() && text.at(d) >= QLatin1Char('0') && text.at(d) <= QLatin1Char('9'))
            ++d;
        const qsizetype digits = d - digitsStart;
        if (digits == 0 || digits > 9 || d >= text.size() || text.at(d) != QLatin1Char('='))
            continue;
        if (digits > 1 && text.at(digitsStart) == QLatin1Char('0'))
            continue;
        const qint64 n = text.mid(digitsStart, digits).toLongLong();
        if (!positions.contains(n))
            positions.insert(n, k);
    }
    return positions;
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

bool ParseXmcd(const QString& entryText, DiscRecord& record, QString* error)
{
    record.tracks.clear();
    const QString text = WithCrLf(entryText);

    const QString dtitle = LineValue(text, QLatin1String("DTITLE="));
    if (dtitle.isNull()) {
        SetError(error, QStringLiteral("the entry has no DTITLE line"));
        return false;
    }
    const qsizetype slash = dtitle.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        record.artist = dtitle;
        record.album = dtitle;
    } else {
        record.artist = dtitle.left(slash);
        record.album = dtitle.mid(slash + 2);
    }

    const QString dyear = LineValue(text, QLatin1String("DYEAR="));
    record.year = dyear.isNull() ? QDate::currentDate().toString(QStringLiteral("yyyy")) : dyear;

    const QHash<qint64, qsizetype> titles = TitlePositions(text);
    for (qint64 n = 0;; ++n) {
        const auto it = titles.constFind(n);
        if (it == titles.constEnd())
            break;
        const qsizetype start = *it + 5 + QString::number(n).size() + 1;
        const qsizetype end = text.indexOf(kCrLf, start);
        record.tracks.append({end < 0 ? text.mid(start) : text.mid(start, end - start), 0});
    }

    const qsizetype offsetsAt = text.indexOf(QLatin1String("# Track frame offsets:"), 0, Qt::CaseInsensitive);
    if (offsetsAt < 0 || record.tracks.isEmpty())
        return true;
    const qsizetype headerEnd = text.indexOf(kCrLf, offsetsAt);
    if (headerEnd < 0)
        return true;

    QList<qint64> offsets;
    qsizetype linesTaken = 0;
    qsizetype pos = headerEnd + 2;
    while (linesTaken < record.tracks.size()) {
        const qsizetype hash = text.indexOf(QLatin1Char('#'), pos);
        if (hash < 0)
            break;
        const qsizetype end = text.indexOf(kCrLf, hash);
        if (end < 0)
            break;
        ++linesTaken;
        if (end - hash > 1) {
            const qint64 offset = LeadingNumber(text.mid(hash + 1, end - hash - 1));
            if (!offsets.isEmpty()) {
                // Offsets out of order are a broken entry, not a negative length.
                const qint64 length = offset - offsets.last();
                record.tracks[offsets.size() - 1].frames = length > 0 ? length : 0;
            }
            offsets.append(offset);
        }
        pos = end + 2;
    }

    // The disc length gives the last track only when every track had its own offset.
    if (linesTaken == record.tracks.size() && offsets.size() == record.tracks.size()) {
        const qsizetype lengthAt = text.indexOf(QLatin1String("# Disc length:"), 0, Qt::CaseInsensitive);
        if (lengthAt >= 0) {
            const qsizetype start = lengthAt + 14;
            const qsizetype end = text.indexOf(kCrLf, start);
            const QString rest = end < 0 ? text.mid(start) : text.mid(start, end - start);
            if (rest.size() > 7) {
                const qint64 seconds = LeadingNumber(rest.left(rest.size() - 7).trimmed());
                const qint64 length = seconds * 75 - offsets.last();
                record.tracks.last().frames = length > 0 ? length : 0;
            }
        }
    }
    return true;
}

bool ParseXmcdFile(const QString& path, DiscRecord& record, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        record.tracks.clear();
        SetError(error, file.errorString());
        return false;
    }
    // Read with the bound rather than trusting the size: a pipe or a growing file has none.
    const QByteArray bytes = file.read(WebClient::kMaxResponseBytes + 1);
    if (bytes.size() > WebClient::kMaxResponseBytes) {
        record.tracks.clear();
        SetError(error, QStringLiteral("the file is larger than an xmcd entry can be"));
        return false;
    }
    return ParseXmcd(DecodeText(bytes), record, error);
}

bool ParseCddbReadResponse(const QString& response, DiscRecord& record, QString* error, QString* serverLine)
{
    record.tracks.clear();
    if (response.isEmpty()) {
        SetError(error, QStringLiteral("no answer"));
        return false;
    }
    const QStringList parts = response.split(QLatin1String("\r\n\r\n"));
    const QString status = parts.value(1);
    if (parts.size() < 2 || status.size() < 4 || !status.startsWith(QLatin1String("210"))) {
        const QString line = status.section(QLatin1Char('\n'), 0, 0).trimmed();
        if (serverLine)
            *serverLine = line;
        SetError(error, line.isEmpty() ? QStringLiteral("no CDDB answer in the response")
                                       : QStringLiteral("the server answered: ") + line);
        return false;
    }
    // Blank lines inside the entry vanish when its parts are joined again.
    const QString entry = parts.mid(1).join(QString());
    // An entry counts only when its terminating "." line arrived: a cut connection must
    // not pass for a disc with fewer tracks.
    const QString lines = WithCrLf(response);
    if (!lines.contains(QLatin1String("\n.\r\n")) && !lines.endsWith(QLatin1String("\n."))) {
        SetError(error, QStringLiteral("the entry is incomplete (no terminating \".\" line)"));
        return false;
    }
    return ParseXmcd(entry, record, error);
}

QString CddbServer()
{
    const QString configured = Setting(QStringLiteral("FreeDBServer")).trimmed();
    const QStringList hosts = FreeDBServerList(false).split(kCrLf);
    if (!configured.isEmpty())
        for (const QString& host : hosts)
            if (host.compare(configured, Qt::CaseInsensitive) == 0)
                return configured;
    return hosts.value(0);
}

QString CddbCgiPath()
{
    const QString path = Setting(QStringLiteral("CGIPath")).trimmed();
    return path.isEmpty() ? QStringLiteral("/~cddb/cddb.cgi") : path;
}

QString CddbHelloIdentity()
{
    // The service asks for the user's e-mail address: user name and host name of the hello
    // are its two halves.
    const QString address = Setting(QStringLiteral("CDDBUser")).trimmed();
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

QString CddbReadUrl(const QString& category, const QString& discid)
{
    // Category and identifier come from a web page: encoded, they cannot add parameters.
    QString url = QLatin1String("http://") + CddbServer() + CddbCgiPath() + QLatin1String("?cmd=cddb read ") +
                  QString::fromLatin1(QUrl::toPercentEncoding(category)) + QLatin1Char(' ') +
                  QString::fromLatin1(QUrl::toPercentEncoding(discid)) + QLatin1String("&hello=") +
                  CddbHelloIdentity() + QLatin1Char(' ') + QLatin1String(product::kName) + QLatin1Char(' ') +
                  QLatin1String(product::kVersion) + QLatin1String("&proto=5");
    url.replace(QLatin1Char(' '), QLatin1Char('+'));
    return url;
}

bool ReadCDDBDisc(const QString& category, const QString& discid, DiscRecord& record, QString* error,
                  QString* serverLine)
{
    record.tracks.clear();
    QString url = CddbReadUrl(category, discid);
    const QString response = GetWebSite(url);
    const QString failure = WebClient::instance().lastFailure();
    const QString refusal = WebClient::instance().lastRefusal();
    ErrorOccured();
    if (response.isEmpty()) {
        SetError(error, failure.isEmpty() ? QStringLiteral("no answer from the server") : failure);
        if (serverLine)
            *serverLine = refusal;
        return false;
    }
    return ParseCddbReadResponse(response, record, error, serverLine);
}

} // namespace tunora
