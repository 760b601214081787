#include "acoustid/AcoustId.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace tunora {

namespace {

// Far beyond what the service answers; a longer list is read up to here.
constexpr qsizetype kMaxResults = 50;
constexpr qsizetype kMaxRecordings = 100;
constexpr qsizetype kMaxReleases = 500;
constexpr qsizetype kMaxMediums = 50;
constexpr qsizetype kMaxTracks = 200;

int Number(const QJsonValue& v)
{
    const double d = v.toDouble();
    return d >= 0 && d < 1e6 ? static_cast<int>(d) : 0;
}

// "artists": [{"name": ...}, ...] joined as the service's credits join them.
QString Artists(const QJsonValue& v)
{
    QString out;
    const QJsonArray list = v.toArray();
    for (qsizetype i = 0; i < list.size() && i < 20; ++i) {
        const QJsonObject a = list.at(i).toObject();
        out += a.value(QLatin1String("name")).toString();
        if (i + 1 < list.size())
            out += a.value(QLatin1String("joinphrase")).toString(QStringLiteral(", "));
    }
    return out;
}

// {"year": 1999, "month": 5, "day": 14} or a text.
QString Date(const QJsonValue& v)
{
    if (v.isString())
        return v.toString().left(10);
    const QJsonObject d = v.toObject();
    const int year = Number(d.value(QLatin1String("year")));
    if (year <= 0 || year > 9999)
        return {};
    QString out = QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
    const int month = Number(d.value(QLatin1String("month"))), day = Number(d.value(QLatin1String("day")));
    if (month >= 1 && month <= 12) {
        out += QStringLiteral("-%1").arg(month, 2, 10, QLatin1Char('0'));
        if (day >= 1 && day <= 31)
            out += QStringLiteral("-%1").arg(day, 2, 10, QLatin1Char('0'));
    }
    return out;
}

AidRelease ReadRelease(const QJsonObject& o)
{
    AidRelease r;
    r.id = o.value(QLatin1String("id")).toString();
    r.title = o.value(QLatin1String("title")).toString();
    r.artist = Artists(o.value(QLatin1String("artists")));
    r.date = Date(o.value(QLatin1String("date")));
    r.country = o.value(QLatin1String("country")).toString();
    r.mediumCount = Number(o.value(QLatin1String("medium_count")));
    const QJsonArray mediums = o.value(QLatin1String("mediums")).toArray();
    for (qsizetype i = 0; i < mediums.size() && i < kMaxMediums; ++i) {
        const QJsonObject m = mediums.at(i).toObject();
        AidMedium medium;
        medium.position = Number(m.value(QLatin1String("position")));
        medium.trackCount = Number(m.value(QLatin1String("track_count")));
        medium.format = m.value(QLatin1String("format")).toString();
        const QJsonArray tracks = m.value(QLatin1String("tracks")).toArray();
        for (qsizetype j = 0; j < tracks.size() && j < kMaxTracks; ++j) {
            const QJsonObject t = tracks.at(j).toObject();
            medium.tracks << AidTrack{Number(t.value(QLatin1String("position"))), t.value(QLatin1String("title")).toString()};
        }
        r.mediums << medium;
    }
    return r;
}

} // namespace

bool ParseAcoustIdAnswer(const QByteArray& json, AidAnswer& answer, QString* error)
{
    answer = {};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject top = doc.object();
    const QString status = top.value(QLatin1String("status")).toString();
    if (parseError.error != QJsonParseError::NoError || !doc.isObject() ||
        (status != QLatin1String("ok") && status != QLatin1String("error"))) {
        if (error)
            *error = QStringLiteral("the answer is not an AcoustID answer");
        return false;
    }
    if (status == QLatin1String("error")) {
        const QJsonObject e = top.value(QLatin1String("error")).toObject();
        answer.errorCode = Number(e.value(QLatin1String("code")));
        answer.errorMessage = e.value(QLatin1String("message")).toString().left(500);
        if (answer.errorMessage.isEmpty())
            answer.errorMessage = QStringLiteral("error %1").arg(answer.errorCode);
        return true;
    }
    answer.ok = true;
    const QJsonArray results = top.value(QLatin1String("results")).toArray();
    for (qsizetype i = 0; i < results.size() && i < kMaxResults; ++i) {
        const QJsonObject o = results.at(i).toObject();
        AidResult result;
        result.id = o.value(QLatin1String("id")).toString();
        result.score = std::clamp(o.value(QLatin1String("score")).toDouble(), 0.0, 1.0);
        const QJsonArray recordings = o.value(QLatin1String("recordings")).toArray();
        for (qsizetype j = 0; j < recordings.size() && j < kMaxRecordings; ++j) {
            const QJsonObject ro = recordings.at(j).toObject();
            AidRecording rec;
            rec.id = ro.value(QLatin1String("id")).toString();
            rec.title = ro.value(QLatin1String("title")).toString();
            rec.artist = Artists(ro.value(QLatin1String("artists")));
            rec.seconds = Number(ro.value(QLatin1String("duration")));
            const QJsonArray releases = ro.value(QLatin1String("releases")).toArray();
            for (qsizetype k = 0; k < releases.size() && k < kMaxReleases; ++k)
                rec.releases << ReadRelease(releases.at(k).toObject());
            result.recordings << rec;
        }
        answer.results << result;
    }
    return true;
}

QUrl AcoustIdRoot()
{
    QString root = qEnvironmentVariable("TUNORA_ACOUSTID_URL");
    if (root.isEmpty())
        root = QStringLiteral("https://api.acoustid.org/");
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return QUrl(root);
}

QUrl AcoustIdLookupUrl()
{
    return AcoustIdRoot().resolved(QUrl(QStringLiteral("v2/lookup")));
}

QByteArray AcoustIdLookupQuery(const QString& key, int seconds, const QByteArray& fingerprint)
{
    // "+" joins the meta words for the service, so it goes in as it is.
    return "client=" + QUrl::toPercentEncoding(key) + "&meta=recordings+releases+tracks&duration=" +
           QByteArray::number(seconds) + "&fingerprint=" + QUrl::toPercentEncoding(QString::fromLatin1(fingerprint)) +
           "&format=json";
}

bool IsFingerprintText(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

QList<RankedRelease> RankReleases(const QList<QList<AidResult>>& perFile)
{
    struct Tally {
        RankedRelease ranked;
        QHash<int, QSet<qsizetype>> matchedOn; // medium position -> files at their own track number
        QHash<qsizetype, double> best;         // file -> its best score on this release
    };
    QHash<QString, Tally> byId;
    QStringList order;
    for (qsizetype file = 0; file < perFile.size(); ++file) {
        const int trackNumber = static_cast<int>(file + 1);
        for (const AidResult& result : perFile.at(file))
            for (const AidRecording& rec : result.recordings)
                for (const AidRelease& release : rec.releases) {
                    if (release.id.isEmpty())
                        continue;
                    auto it = byId.find(release.id);
                    if (it == byId.end()) {
                        it = byId.insert(release.id, Tally{});
                        it->ranked.release = release;
                        it->ranked.release.mediums.clear();
                        order << release.id;
                    }
                    Tally& t = *it;
                    if (t.ranked.release.artist.isEmpty())
                        t.ranked.release.artist = release.artist.isEmpty() ? rec.artist : release.artist;
                    t.best[file] = qMax(t.best.value(file), result.score);
                    for (const AidMedium& m : release.mediums) {
                        auto known = std::find_if(t.ranked.release.mediums.begin(), t.ranked.release.mediums.end(),
                                                  [&](const AidMedium& k) { return k.position == m.position; });
                        if (known == t.ranked.release.mediums.end()) {
                            t.ranked.release.mediums << AidMedium{m.position, m.trackCount, m.format, {}};
                            known = t.ranked.release.mediums.end() - 1;
                        }
                        for (const AidTrack& track : m.tracks) {
                            if (track.position == trackNumber)
                                t.matchedOn[m.position].insert(file);
                            if (std::none_of(known->tracks.begin(), known->tracks.end(),
                                             [&](const AidTrack& k) { return k.position == track.position; }))
                                known->tracks << track;
                        }
                    }
                }
    }
    QList<RankedRelease> out;
    for (const QString& id : std::as_const(order)) {
        Tally& t = byId[id];
        for (auto m = t.matchedOn.cbegin(); m != t.matchedOn.cend(); ++m)
            if (m.value().size() > t.ranked.matched ||
                (m.value().size() == t.ranked.matched && m.key() < t.ranked.medium)) {
                t.ranked.matched = static_cast<int>(m.value().size());
                t.ranked.medium = m.key();
            }
        t.ranked.held = static_cast<int>(t.best.size());
        for (const double s : std::as_const(t.best))
            t.ranked.score += s;
        std::sort(t.ranked.release.mediums.begin(), t.ranked.release.mediums.end(),
                  [](const AidMedium& a, const AidMedium& b) { return a.position < b.position; });
        out << t.ranked;
    }
    std::stable_sort(out.begin(), out.end(), [](const RankedRelease& a, const RankedRelease& b) {
        if (a.matched != b.matched)
            return a.matched > b.matched;
        if (a.score != b.score)
            return a.score > b.score;
        return a.release.id < b.release.id;
    });
    return out;
}

} // namespace tunora
