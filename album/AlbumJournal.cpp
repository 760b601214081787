#include "album/AlbumJournal.h"

#include "album/AlbumSession.h"
#include "audio/PosixFile.h"
#include "shell/core/Shared.h"
#include "tags/Journal.h"

#include "dorvane/FileIo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QHash>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tunora {

namespace {

const QString kFormat = QStringLiteral("tunora-apply-journal 1");
const QString kStepsFormat = QStringLiteral("tunora-apply-journal 2");

// A journal of steps (one JSON object a line) as entries: per file its first and last name
// and its tag write reversed, in the order the files first appear.
bool readSteps(const QByteArray& bytes, QList<JournalEntry>& entries, QString* run, QString* why)
{
    QList<QByteArray> lines = bytes.split('\n');
    entries.clear();
    QHash<int, qsizetype> at;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (lines[n].isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(lines[n]);
        const QJsonObject o = doc.object();
        const bool last = n + 1 >= lines.size() || (n + 2 == lines.size() && lines.last().isEmpty());
        if (!doc.isObject() || !o["file"].isDouble()) {
            if (last)
                break; // torn by a kill: its change was never made
            if (why)
                *why = QStringLiteral("line %1 of the journal is damaged").arg(n + 1);
            return false;
        }
        const int file = o["file"].toInt();
        if (run && o["run"].isString())
            *run = o["run"].toString();
        tags::WritePlan plan;
        const bool isRename = o["old"].isString() && o["new"].isString();
        const QString oldName = tags::TakeName(o, QStringLiteral("old")), newName = tags::TakeName(o, QStringLiteral("new"));
        if (!isRename && !tags::PlanFromJson(o["plan"].toObject(), &plan)) {
            if (why)
                *why = QStringLiteral("line %1 of the journal is damaged").arg(n + 1);
            return false;
        }
        if (!at.contains(file)) {
            at.insert(file, entries.size());
            const QString path = isRename ? oldName : plan.path;
            entries.append({path, path, {}, {}});
        }
        JournalEntry& e = entries[at.value(file)];
        if (isRename)
            e.newPath = newName;
        else
            e.tagPlan = tags::Reversed(plan);
    }
    return true;
}

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
        QJsonObject f;
        tags::PutName(f, QStringLiteral("old"), e.oldPath);
        tags::PutName(f, QStringLiteral("new"), e.newPath);
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

bool ApplyJournalFile::create(const QString& path, QString* why)
{
    m_path = path;
    const QByteArray head = QJsonDocument(QJsonObject {{"format", kStepsFormat}}).toJson(QJsonDocument::Compact) + '\n';
    return WriteFileAtomically(path, head, why, false);
}

bool ApplyJournalFile::append(const ApplyStep& step, QString* why)
{
    QJsonObject o {{"file", step.index}, {"run", tags::CurrentRunId()}};
    if (step.plan.path.isEmpty()) {
        tags::PutName(o, QStringLiteral("old"), step.from);
        tags::PutName(o, QStringLiteral("new"), step.to);
    } else {
        o["plan"] = tags::PlanToJson(step.plan);
    }
    const QByteArray line = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    PosixFile f;
    if (!f.open(m_path, O_WRONLY | O_APPEND)) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    bool torn = false;
    const bool die = tags::detail::KillPoint(&torn);
    const qsizetype n = die ? line.size() / 2 : line.size();
    if (::write(f.fd(), line.constData(), size_t(n)) != n || (!die && ::fdatasync(f.fd()) != 0)) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (die)
        ::raise(SIGKILL);
    tags::detail::KillPoint();
    return true;
}

bool ReadJournal(const QString& path, QList<JournalEntry>& entries, QString* why, QString* run)
{
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    QByteArray bytes;
    bool missing = false, tooBig = false;
    int err = 0;
    if (!dorvane::io::ReadSmallFile(path, qint64(256) << 20, &bytes, &missing, &tooBig, &err))
        return fail(tooBig ? QStringLiteral("the journal is too large") : QString::fromLocal8Bit(std::strerror(err)));
    const qsizetype eol = bytes.indexOf('\n');
    if (eol > 0 && QJsonDocument::fromJson(bytes.left(eol)).object()["format"].toString() == kStepsFormat)
        return readSteps(bytes, entries, run, why);
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (doc.isNull())
        return fail(error.errorString());
    const QJsonObject root = doc.object();
    if (root["format"].toString() != kFormat || !root["files"].isArray())
        return fail(QStringLiteral("not a journal of tunora-cli album"));
    entries.clear();
    for (const QJsonValue& v : root["files"].toArray()) {
        const QJsonObject o = v.toObject();
        JournalEntry e {tags::TakeName(o, QStringLiteral("old")), tags::TakeName(o, QStringLiteral("new")), {}, {}};
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
