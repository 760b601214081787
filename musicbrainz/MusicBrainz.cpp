#include "musicbrainz/MusicBrainz.h"

#include "shell/core/Product.h"
#include "shell/core/Settings.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>
#include <climits>

namespace tunora {

QString MusicBrainzDiscId(const DiscLayout& layout)
{
    const qsizetype last = layout.offsets.size();
    QByteArray text = QByteArray::number(1, 16).rightJustified(2, '0') +
                      QByteArray::number(last, 16).rightJustified(2, '0');
    // Lead-out, then one value per possible track, unused ones zero.
    for (int i = 0; i <= kMaxDiscTracks; ++i) {
        const qint64 v = i == 0 ? layout.leadOut : (i <= last ? layout.offsets.at(i - 1) : 0);
        text += QByteArray::number(v, 16).rightJustified(8, '0');
    }
    QByteArray id = QCryptographicHash::hash(text.toUpper(), QCryptographicHash::Sha1).toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return QString::fromLatin1(id);
}

QString TocParameter(const DiscLayout& layout)
{
    QStringList parts{QStringLiteral("1"), QString::number(layout.offsets.size()), QString::number(layout.leadOut)};
    for (const qint64 offset : layout.offsets)
        parts << QString::number(offset);
    return parts.join(QLatin1Char('+'));
}

namespace {

// Lucene's special characters and its operator words lose their meaning.
QString EscapeTerms(const QString& words)
{
    static const QString special = QStringLiteral("+-&|!(){}[]^\"~*?:\\/");
    QStringList terms;
    for (const QString& word : words.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString term;
        for (const QChar c : word) {
            if (special.contains(c))
                term += QLatin1Char('\\');
            term += c;
        }
        if (term == QLatin1String("AND") || term == QLatin1String("OR") || term == QLatin1String("NOT"))
            term = term.toLower();
        terms << term;
    }
    return terms.join(QLatin1Char(' '));
}

} // namespace

QString LuceneQuery(const QString& words, bool more)
{
    const qsizetype dash = words.indexOf(QLatin1String(" - "));
    if (dash >= 0) {
        const QString artist = EscapeTerms(words.left(dash)), release = EscapeTerms(words.mid(dash + 3));
        if (!artist.isEmpty() && !release.isEmpty())
            return QStringLiteral("artist:(%1) %2 release:(%3)")
                .arg(artist, more ? QStringLiteral("OR") : QStringLiteral("AND"), release);
    }
    const QString all = EscapeTerms(QString(words).replace(QLatin1String(" - "), QLatin1String(" ")));
    if (all.isEmpty())
        return {};
    return more ? QStringLiteral("release:(%1) OR artist:(%1)").arg(all) : QStringLiteral("release:(%1)").arg(all);
}

bool IsReleaseId(const QString& text)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    return uuid.match(text).hasMatch();
}

namespace {

QUrl Root(const char* variable, const char* fallback)
{
    QString root = qEnvironmentVariable(variable);
    if (root.isEmpty())
        root = QLatin1String(fallback);
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return QUrl(root);
}

QUrl ServiceUrl(const QString& path, const QList<std::pair<QString, QString>>& items)
{
    QUrl url = MusicBrainzRoot().resolved(QUrl(path));
    // Values go in as they are: "+" separates the parts of inc and toc for the service.
    QString query;
    for (const auto& [key, value] : items)
        query += (query.isEmpty() ? QString() : QStringLiteral("&")) + key + QLatin1Char('=') + value;
    url.setQuery(query);
    return url;
}

} // namespace

QUrl MusicBrainzRoot()
{
    return Root("TUNORA_MUSICBRAINZ_URL", "https://musicbrainz.org/ws/2/");
}

QUrl CoverArtRoot()
{
    return Root("TUNORA_COVERART_URL", "https://coverartarchive.org/");
}

QUrl SearchUrl(const QString& words, bool more)
{
    const QString query = QString::fromLatin1(QUrl::toPercentEncoding(LuceneQuery(words, more)));
    return ServiceUrl(QStringLiteral("release"),
                      {{"query", query}, {"limit", "25"}, {"fmt", "json"}});
}

QUrl TocUrl(const DiscLayout& layout)
{
    return ServiceUrl(QStringLiteral("discid/") + MusicBrainzDiscId(layout),
                      {{"toc", TocParameter(layout)}, {"inc", "recordings+artist-credits"}, {"cdstubs", "no"}, {"fmt", "json"}});
}

QUrl ReleaseUrl(const QString& releaseId)
{
    return ServiceUrl(QStringLiteral("release/") + releaseId,
                      {{"inc", "recordings+artist-credits+release-groups+genres"}, {"fmt", "json"}});
}

QUrl FrontCoverUrl(const QString& releaseId)
{
    return CoverArtRoot().resolved(QUrl(QStringLiteral("release/%1/front-500").arg(releaseId)));
}

QByteArray MusicBrainzUserAgent()
{
    QString contact = Setting(setting::kCddbUser).trimmed();
    // The address goes into a header line: nothing that could end or bend it.
    contact.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() >= 0x7f || c == QLatin1Char('(') ||
                                          c == QLatin1Char(')'); });
    if (contact.trimmed().isEmpty())
        contact = QLatin1String(product::kWebSite);
    return QByteArray(product::kName) + '/' + product::kVersion + " ( " + contact.trimmed().toLatin1() + " )";
}

namespace {

QString CreditedArtist(const QJsonArray& credits)
{
    QString artist;
    for (const QJsonValue& credit : credits)
        artist += credit[QLatin1String("name")].toString() + credit[QLatin1String("joinphrase")].toString();
    return artist;
}

// The genre with the most votes; the first listed of equal ones.
QString MostVotedGenre(const QJsonArray& genres)
{
    QString best;
    qint64 votes = -1;
    for (const QJsonValue& g : genres) {
        const QString name = g[QLatin1String("name")].toString().trimmed();
        const qint64 count = g[QLatin1String("count")].toInteger();
        if (!name.isEmpty() && count > votes) {
            best = name;
            votes = count;
        }
    }
    return best;
}

MbRelease ReleaseFrom(const QJsonObject& o)
{
    MbRelease r;
    r.id = o[QLatin1String("id")].toString();
    r.title = o[QLatin1String("title")].toString();
    r.artist = CreditedArtist(o[QLatin1String("artist-credit")].toArray());
    r.date = o[QLatin1String("date")].toString();
    r.country = o[QLatin1String("country")].toString();
    r.genre = MostVotedGenre(o[QLatin1String("genres")].toArray());
    const QJsonArray media = o[QLatin1String("media")].toArray();
    qint64 counted = 0; // each medium's count comes from the answer: their sum may pass an int
    for (qsizetype i = 0; i < media.size(); ++i) {
        const QJsonObject m = media.at(i).toObject();
        MbMedium medium;
        medium.position = m[QLatin1String("position")].toInt(static_cast<int>(i) + 1);
        medium.format = m[QLatin1String("format")].toString();
        for (const QJsonValue& t : m[QLatin1String("tracks")].toArray()) {
            QString title = t[QLatin1String("title")].toString();
            if (title.isEmpty())
                title = t[QLatin1String("recording")][QLatin1String("title")].toString();
            QJsonArray credits = t[QLatin1String("artist-credit")].toArray();
            if (credits.isEmpty())
                credits = t[QLatin1String("recording")][QLatin1String("artist-credit")].toArray();
            medium.tracks << MbTrack{title, qMax<qint64>(0, t[QLatin1String("length")].toInteger()),
                                     CreditedArtist(credits)};
        }
        medium.trackCount = m[QLatin1String("track-count")].toInt(static_cast<int>(medium.tracks.size()));
        counted += medium.trackCount;
        r.media << medium;
    }
    r.trackCount = o[QLatin1String("track-count")].toInt(static_cast<int>(qMin<qint64>(counted, INT_MAX)));
    return r;
}

bool JsonObject(const QByteArray& json, QJsonObject& object, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (!doc.isObject()) {
        if (error)
            *error = parse.error != QJsonParseError::NoError ? QStringLiteral("unreadable answer: ") + parse.errorString()
                                                             : QStringLiteral("the answer is not a JSON object");
        return false;
    }
    object = doc.object();
    return true;
}

} // namespace

bool ParseReleaseList(const QByteArray& json, QList<MbRelease>& releases, QString* error)
{
    releases.clear();
    QJsonObject o;
    if (!JsonObject(json, o, error))
        return false;
    if (!o[QLatin1String("releases")].isArray()) {
        if (error)
            *error = QStringLiteral("the answer holds no release list");
        return false;
    }
    for (const QJsonValue& r : o[QLatin1String("releases")].toArray())
        if (r.isObject() && IsReleaseId(r[QLatin1String("id")].toString()))
            releases << ReleaseFrom(r.toObject());
    return true;
}

bool ParseRelease(const QByteArray& json, MbRelease& release, QString* error)
{
    QJsonObject o;
    if (!JsonObject(json, o, error))
        return false;
    release = ReleaseFrom(o);
    if (!IsReleaseId(release.id) || release.media.isEmpty()) {
        if (error)
            *error = QStringLiteral("the answer is no release with tracks");
        return false;
    }
    return true;
}

qsizetype ChooseMedium(const MbRelease& release, qsizetype fileCount)
{
    for (qsizetype i = 0; i < release.media.size(); ++i)
        if (release.media.at(i).tracks.size() == fileCount)
            return i;
    return 0;
}

qint64 FramesFromMs(qint64 ms)
{
    return (ms * 75 + 500) / 1000;
}

QString ImageMimeType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("image/png");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    return {};
}

} // namespace tunora
