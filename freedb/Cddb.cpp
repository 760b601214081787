#include "freedb/Cddb.h"

#include "freedb/WebClient.h"
#include "shell/core/Shared.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QUrl>

namespace tunora {

namespace {

const QLatin1String kCrLf("\r\n");

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

// The data lines' values the disc record needs: a keyword repeated on several lines is
// one value, its lines' values in order.
struct EntryValues {
    bool haveTitle = false;
    QString dtitle;
    bool haveYear = false;
    QString dyear;
    QString dgenre;
    QHash<qint64, QString> titles; // TTITLEn by n
};

// n of a "TTITLEn" keyword (decimal, no leading zeros), or -1.
qint64 TrackNumberOfKey(QStringView key)
{
    const QLatin1String prefix("TTITLE");
    if (!key.startsWith(prefix, Qt::CaseInsensitive))
        return -1;
    const QStringView digits = key.mid(prefix.size());
    if (digits.isEmpty() || digits.size() > 9 || (digits.size() > 1 && digits.at(0) == QLatin1Char('0')))
        return -1;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    return digits.toLongLong();
}

EntryValues ReadEntryValues(const QString& text)
{
    EntryValues v;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(kCrLf, start);
        // A disc title or year on a last line without its end may have been cut short; a
        // file's last track title commonly has no line end and still counts.
        const bool whole = end >= 0;
        if (!whole)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        start = end + 2;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QStringView key = line.left(eq);
        const QStringView value = line.mid(eq + 1);
        if (!whole && TrackNumberOfKey(key) < 0)
            break;
        if (key.compare(QLatin1String("DTITLE"), Qt::CaseInsensitive) == 0) {
            v.haveTitle = true;
            v.dtitle += value;
        } else if (key.compare(QLatin1String("DYEAR"), Qt::CaseInsensitive) == 0) {
            if (!v.haveYear)
                v.dyear = value.toString();
            v.haveYear = true;
        } else if (key.compare(QLatin1String("DGENRE"), Qt::CaseInsensitive) == 0) {
            v.dgenre += value;
        } else if (const qint64 n = TrackNumberOfKey(key); n >= 0) {
            v.titles[n] += value;
        }
    }
    return v;
}

// A title's escapes: "\n" (a line break, one space in a title), "\t", "\\".
QString DecodeEscapes(const QString& value)
{
    if (!value.contains(QLatin1Char('\\')))
        return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const QChar next = i + 1 < value.size() ? value.at(i + 1) : QChar();
        if (c == QLatin1Char('\\') && next == QLatin1Char('n')) {
            out += QLatin1Char(' ');
            ++i;
        } else if (c == QLatin1Char('\\') && next == QLatin1Char('t')) {
            out += QLatin1Char('\t');
            ++i;
        } else if (c == QLatin1Char('\\') && next == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            ++i;
        } else {
            out += c;
        }
    }
    return out;
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

    const EntryValues values = ReadEntryValues(text);
    if (!values.haveTitle) {
        SetError(error, QStringLiteral("the entry has no DTITLE line"));
        return false;
    }
    // " / " parts artist and album; a "/" inside a name ("AC/DC") does not.
    const QString dtitle = DecodeEscapes(values.dtitle);
    const qsizetype split = dtitle.indexOf(QLatin1String(" / "));
    record.artist = split < 0 ? dtitle : dtitle.left(split);
    record.album = split < 0 ? dtitle : dtitle.mid(split + 3);
    record.year = values.haveYear ? values.dyear : QDate::currentDate().toString(QStringLiteral("yyyy"));
    record.genre = DecodeEscapes(values.dgenre).trimmed();

    for (qint64 n = 0;; ++n) {
        const auto it = values.titles.constFind(n);
        if (it == values.titles.constEnd())
            break;
        record.tracks.append({DecodeEscapes(*it), 0});
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
    const qsizetype headerEnd = response.indexOf(QLatin1String("\r\n\r\n"));
    // The entry is everything after the header, its blank lines kept as lines.
    const QString entry = headerEnd < 0 ? QString() : response.mid(headerEnd + 4);
    if (headerEnd < 0 || entry.size() < 4 || !entry.startsWith(QLatin1String("210"))) {
        const QString line = entry.section(QLatin1Char('\n'), 0, 0).trimmed();
        if (serverLine)
            *serverLine = line;
        SetError(error, line.isEmpty() ? QStringLiteral("no CDDB answer in the response")
                                       : QStringLiteral("the server answered: ") + line);
        return false;
    }
    // An entry counts only when its terminating "." line arrived: a cut connection must
    // not pass for a disc with fewer tracks.
    const QString lines = WithCrLf(response);
    if (!lines.contains(QLatin1String("\n.\r\n")) && !lines.endsWith(QLatin1String("\n."))) {
        SetError(error, QStringLiteral("the entry is incomplete (no terminating \".\" line)"));
        return false;
    }
    return ParseXmcd(entry, record, error);
}

QString CddbReadCommand(const QString& category, const QString& discid)
{
    // Category and identifier come from a web page: encoded, they cannot add parameters.
    return QLatin1String("cddb read ") + QString::fromLatin1(QUrl::toPercentEncoding(category)) + QLatin1Char(' ') +
           QString::fromLatin1(QUrl::toPercentEncoding(discid));
}

QString CddbReadUrl(const QString& category, const QString& discid)
{
    return CddbCommandUrl(CddbReadCommand(category, discid));
}

bool ReadCDDBDisc(const QString& category, const QString& discid, DiscRecord& record, QString* error,
                  QString* serverLine)
{
    record.tracks.clear();
    const QString response = SendCddbCommand(CddbReadCommand(category, discid), error, serverLine);
    if (response.isEmpty())
        return false;
    return ParseCddbReadResponse(response, record, error, serverLine);
}

} // namespace tunora
