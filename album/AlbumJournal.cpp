#include "album/AlbumJournal.h"

#include "album/AlbumSession.h"
#include "shell/core/Shared.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tunora {

namespace {

const QString kFormat = QStringLiteral("tunora-apply-journal 1");

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

bool fromBase64(const QJsonValue& v, QByteArray& out)
{
    if (!v.isString())
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    out = *decoded;
    return static_cast<bool>(decoded);
}

} // namespace

QList<JournalEntry> AlbumJournal(const AlbumSession& s)
{
    QList<JournalEntry> out;
    for (int i = 0; i < s.undo.size() && i < s.mp3.size(); ++i) {
        const TagUndo tags = s.undoTags.value(i);
        const tags::WritePlan plan = s.undoPlans.value(i);
        const QString now = s.mp3.at(i).text;
        if (now == kFakeTrack || (now == s.undo.at(i) && !tags.v1Written && !tags.v2Written && plan.changes.isEmpty()))
            continue;
        out.append({s.path + '/' + s.undo.at(i), s.path + '/' + now, tags, plan});
    }
    return out;
}

bool WriteJournal(const QString& path, const QList<JournalEntry>& entries, QString* why, bool replace)
{
    QJsonArray files;
    for (const JournalEntry& e : entries) {
        QJsonObject f {{"old", e.oldPath}, {"new", e.newPath}};
        if (e.tags.v2Written)
            f["id3v2"] = QJsonObject {{"old", base64(e.tags.oldV2)}, {"new", base64(e.tags.newV2)}};
        if (e.tags.v1Written)
            f["id3v1"] = QJsonObject {{"old", base64(e.tags.oldV1)}, {"new", base64(e.tags.newV1)}};
        if (!e.tagPlan.changes.isEmpty())
            f["tags"] = tags::PlanToJson(e.tagPlan);
        files.append(f);
    }
    const QJsonObject root {{"format", kFormat}, {"files", files}};
    return WriteFileAtomically(path, QJsonDocument(root).toJson(), why, replace);
}

bool ReadJournal(const QString& path, QList<JournalEntry>& entries, QString* why)
{
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (doc.isNull())
        return fail(error.errorString());
    const QJsonObject root = doc.object();
    if (root["format"].toString() != kFormat || !root["files"].isArray())
        return fail(QStringLiteral("not a journal of tunora-cli album"));
    entries.clear();
    for (const QJsonValue& v : root["files"].toArray()) {
        const QJsonObject o = v.toObject();
        JournalEntry e {o["old"].toString(), o["new"].toString(), {}, {}};
        bool ok = o["old"].isString() && o["new"].isString() && !e.oldPath.isEmpty() && !e.newPath.isEmpty();
        const QJsonObject v2 = o["id3v2"].toObject(), v1 = o["id3v1"].toObject();
        e.tags.v2Written = o.contains("id3v2");
        e.tags.v1Written = o.contains("id3v1");
        if (e.tags.v2Written)
            ok = ok && fromBase64(v2["old"], e.tags.oldV2) && fromBase64(v2["new"], e.tags.newV2);
        if (e.tags.v1Written)
            ok = ok && fromBase64(v1["old"], e.tags.oldV1) && fromBase64(v1["new"], e.tags.newV1);
        if (o.contains("tags"))
            ok = ok && tags::PlanFromJson(o["tags"].toObject(), &e.tagPlan);
        if (!ok)
            return fail(QStringLiteral("entry %1 of the journal is damaged").arg(entries.size() + 1));
        entries.append(e);
    }
    return true;
}

} // namespace tunora
