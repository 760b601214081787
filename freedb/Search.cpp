#include "freedb/Search.h"

#include "freedb/WebClient.h"

#include <QRegularExpression>
#include <QUrl>

namespace tunora {

namespace {

// Words for an address: spaces become "+", and each word is percent-encoded so that "&",
// "#", "+" or "%" typed by the user stay part of the words.
QString EncodeWords(const QString& words)
{
    const QStringList pieces = words.split(QLatin1Char(' '));
    QStringList encoded;
    encoded.reserve(pieces.size());
    for (const QString& p : pieces)
        encoded << QString::fromLatin1(QUrl::toPercentEncoding(p));
    return encoded.join(QLatin1Char('+')).trimmed();
}

QString DecodeEntities(QString s)
{
    static const QRegularExpression numeric(QStringLiteral("&#(x[0-9A-Fa-f]{1,6}|[0-9]{1,7});"));
    QString out;
    qsizetype last = 0;
    for (auto it = numeric.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += s.mid(last, m.capturedStart() - last);
        const QString n = m.captured(1);
        bool ok = false;
        const uint code = n.startsWith(QLatin1Char('x')) ? n.mid(1).toUInt(&ok, 16) : n.toUInt(&ok, 10);
        if (ok && code > 0 && code < 0x110000 && (code < 0xD800 || code > 0xDFFF)) {
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1);
        }
        last = m.capturedEnd();
    }
    out += s.mid(last);
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&apos;"), QLatin1String("'"));
    out.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return out;
}

QString PlainText(const QString& html)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    QString s = html;
    s.replace(tags, QStringLiteral(" "));
    return DecodeEntities(s).simplified();
}

} // namespace

void SearchResults::clear()
{
    List1.clear();
    List2.clear();
    List3.clear();
    categ_lst.clear();
}

void SearchResults::add(const QString& category, const QString& discid, const QString& display)
{
    List2 << discid;
    List3 << display;
    categ_lst << category;
}

void SearchResults::addMatches(const QList<QueryMatch>& matches)
{
    for (const QueryMatch& m : matches) {
        List1 << m.category + QLatin1Char(' ') + m.discid + QLatin1Char(' ') + m.title;
        add(m.category, m.discid, m.title.isEmpty() ? m.category + QLatin1String(" / ") + m.discid : m.title);
    }
}

QList<CddbSearchTerms> CddbSearchTries(const QString& words)
{
    const qsizetype dash = words.indexOf(QLatin1String(" - "));
    if (dash >= 0)
        return {{words.left(dash).trimmed(), words.mid(dash + 3).trimmed()}};
    return {{words.trimmed(), QString()}, {QString(), words.trimmed()}};
}

QString CddbSearchCommand(const CddbSearchTerms& terms)
{
    return QLatin1String("search&artist=") + EncodeWords(terms.artist) + QLatin1String("&album=") +
           EncodeWords(terms.album);
}

bool ParseCddbSearchResponse(const QString& response, QList<QueryMatch>& matches, QString* error,
                             QString* serverLine)
{
    return ParseCddbMatchAnswer(response, {QStringLiteral("200")}, QString(), matches, error, serverLine);
}

bool RefusesUnknownCommand(const QString& serverLine)
{
    return serverLine.startsWith(QLatin1String("500")) &&
           (serverLine.contains(QLatin1String("unrecognized command"), Qt::CaseInsensitive) ||
            serverLine.contains(QLatin1String("unknown command"), Qt::CaseInsensitive));
}

QString FreeDBWebHost()
{
    return QStringLiteral("www.gnudb.org");
}

QString SearchAddress(const QString& words)
{
    return QLatin1String("http://") + FreeDBWebHost() + QLatin1String("/freedb_search.php?words=") +
           EncodeWords(words) + QLatin1String("&allfields=NO&fields=artist&fields=title&allcats=YES&grouping=none");
}

QString SearchLinkPrefix()
{
    return QLatin1String("http://") + FreeDBWebHost() + QLatin1String("/freedb_search_fmt.php?cat=");
}

QString GnudbSearchAddress(const QString& words)
{
    return QLatin1String("http://") + FreeDBWebHost() + QLatin1String("/search/") + EncodeWords(words);
}

QString MoreWords(const QString& words)
{
    QString w = words;
    w.replace(QLatin1Char(' '), QLatin1String(" OR "));
    return w;
}

QString CleanQueryWords(const QString& text)
{
    static const QRegularExpression runs(QStringLiteral(" {2,}"));
    QString t = text.trimmed();
    t.replace(runs, QStringLiteral(" "));
    return t.trimmed();
}

void ExtractSearchResults(const QString& page, SearchResults& results)
{
    const QString prefix = SearchLinkPrefix();
    for (qsizetype p = page.indexOf(prefix); p >= 0; p = page.indexOf(prefix, p + prefix.size())) {
        const qsizetype start = p + prefix.size();
        const qsizetype end = page.indexOf(QLatin1String("</"), start);
        if (end < 0)
            break; // no later link can have its "</" either
        results.List1 << page.mid(start, end - start);
    }

    const QLatin1String idMark("&id=");
    const QLatin1String font("<font size=-1>");
    for (const QString& t : std::as_const(results.List1)) {
        QString category, discid, display;
        const qsizetype id = t.indexOf(idMark);
        if (id >= 0) {
            category = t.left(id);
            const qsizetype quote = t.indexOf(QLatin1Char('"'), id + idMark.size());
            if (quote >= 0)
                discid = t.mid(id + idMark.size(), quote - id - idMark.size());
        }
        const qsizetype gt = t.indexOf(QLatin1Char('>'));
        if (gt >= 0)
            display = t.mid(gt + 1);
        if (category.isEmpty() || discid.isEmpty() || display.isEmpty())
            continue;
        if (display.size() > font.size() && display.startsWith(font))
            continue;
        results.add(category, discid, display);
    }
}

void ExtractGnudbResults(const QString& page, SearchResults& results)
{
    static const QRegularExpression discidLine(
        QStringLiteral("^\\s*([A-Za-z]+)\\s*/\\s*([0-9A-Fa-f]{8})(?![0-9A-Za-z])"));
    static const QRegularExpression anchor(QStringLiteral("<a\\b[^>]*>(.*?)</a\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    const QLatin1String mark("Discid:");
    qsizetype regionStart = 0;
    for (qsizetype d = page.indexOf(mark, 0, Qt::CaseInsensitive); d >= 0;
         d = page.indexOf(mark, d + mark.size(), Qt::CaseInsensitive)) {
        const QRegularExpressionMatch line = discidLine.match(PlainText(page.mid(d + mark.size(), 400)));
        if (!line.hasMatch())
            continue;
        const QString category = line.captured(1).toLower();
        const QString discid = line.captured(2).toLower();

        // The hit's title is the anchor before its Discid line, after the previous hit.
        QString display, fallback;
        const QString region = page.mid(regionStart, d - regionStart);
        for (auto it = anchor.globalMatch(region); it.hasNext();) {
            const QString text = PlainText(it.next().captured(1));
            if (text.isEmpty())
                continue;
            fallback = text;
            if (text.contains(QLatin1Char('/')))
                display = text;
        }
        if (display.isEmpty())
            display = fallback.isEmpty() ? category + QLatin1String(" / ") + discid : fallback;
        results.List1 << category + QLatin1String("&id=") + discid + QLatin1String("\">") + display;
        results.add(category, discid, display);
        regionStart = d + mark.size();
    }
}

bool RunWebSearch(const QString& words, SearchResults& results, QString* page, QString* error,
                  QString* serverLine)
{
    results.clear();
    QString address = SearchAddress(words);
    QString text = GetWebSite(address);
    QString failure = text.isEmpty() ? WebClient::instance().lastFailure() : QString();
    QString refusal = WebClient::instance().lastRefusal();
    ExtractSearchResults(text, results);
    if (results.size() == 0 && !WebClient::instance().lastCancelled()) {
        // The web site's own page found nothing: ask the shared service's search page.
        results.clear();
        QString newer = GnudbSearchAddress(words);
        text = GetWebSite(newer);
        if (text.isEmpty())
            failure = WebClient::instance().lastFailure();
        if (!WebClient::instance().lastRefusal().isEmpty())
            refusal = WebClient::instance().lastRefusal();
        ExtractGnudbResults(text, results);
    }
    if (page)
        *page = text;
    if (serverLine)
        *serverLine = results.size() == 0 ? refusal : QString();
    if (results.size() == 0) {
        if (error)
            *error = failure.isEmpty() ? QStringLiteral("no disc found") : failure;
        return false;
    }
    return true;
}

bool RunWordSearch(const QString& words, SearchResults& results, QString* page, QString* error,
                   QString* serverLine)
{
    results.clear();
    for (const CddbSearchTerms& terms : CddbSearchTries(words)) {
        QString failure, refusal;
        const QString text = SendCddbCommand(CddbSearchCommand(terms), &failure, &refusal);
        QList<QueryMatch> matches;
        if (text.isEmpty() || !ParseCddbSearchResponse(text, matches, &failure, &refusal)) {
            if (!text.isEmpty() && RefusesUnknownCommand(refusal))
                break; // a server without the command: the web pages may know the words
            if (page)
                *page = text;
            if (error)
                *error = failure;
            if (serverLine)
                *serverLine = refusal;
            return false;
        }
        if (!matches.isEmpty()) {
            results.addMatches(matches);
            if (page)
                *page = text;
            if (serverLine)
                serverLine->clear();
            return true;
        }
    }
    return RunWebSearch(words, results, page, error, serverLine);
}

} // namespace tunora
