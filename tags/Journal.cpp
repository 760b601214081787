#include "tags/Journal.h"

#include "audio/PosixFile.h"
#include "dorvane/FileIo.h"
#include "shell/core/Shared.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunora::tags {

namespace {

// Each record: magic, payload length (little endian), the first 8 bytes of the payload's
// SHA-256, the payload (compact JSON). A reader skips what does not check out and looks for
// the next magic, so a torn record costs only itself.
constexpr char kMagic[] = "\x1ETJR";
constexpr qsizetype kHead = 4 + 4 + 8;
constexpr qsizetype kMaxRecord = 256 << 20;
constexpr qint64 kMaxJournal = qint64(1) << 31;
constexpr int kKeptRuns = 50;
constexpr qint64 kKeptBytes = qint64(64) << 20;

bool fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

QByteArray checksum(const QByteArray& payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Sha256).left(8);
}

QByteArray frame(const QJsonObject& o)
{
    const QByteArray payload = QJsonDocument(o).toJson(QJsonDocument::Compact);
    QByteArray out(kMagic, 4);
    const auto n = static_cast<quint32>(payload.size());
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((n >> (8 * i)) & 0xFF));
    return out + checksum(payload) + payload;
}

struct Record {
    QJsonObject json;
    QByteArray raw;
};

QList<Record> parseRecords(const QByteArray& b)
{
    QList<Record> out;
    qsizetype at = 0;
    while (true) {
        at = b.indexOf(QByteArrayView(kMagic, 4), at);
        if (at < 0 || b.size() - at < kHead)
            break;
        quint32 n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | static_cast<quint8>(b[at + 4 + i]);
        if (n > kMaxRecord || qsizetype(n) > b.size() - at - kHead) {
            ++at;
            continue;
        }
        const QByteArray payload = b.mid(at + kHead, n);
        QJsonParseError err {};
        const QJsonDocument doc = QJsonDocument::fromJson(payload, &err);
        if (b.mid(at + 8, 8) != checksum(payload) || err.error != QJsonParseError::NoError || !doc.isObject()) {
            ++at;
            continue;
        }
        out.append({doc.object(), b.mid(at, kHead + n)});
        at += kHead + n;
    }
    return out;
}

QString b64(const QString& path)
{
    return QString::fromLatin1(dorvane::io::EncodeName(path).toBase64());
}

QString unb64(const QJsonValue& v)
{
    const auto r = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return r ? dorvane::io::DecodeName(*r) : QString();
}

QJsonObject identityJson(const FileIdentity& id)
{
    return {{"device", QString::number(id.device)}, {"inode", QString::number(id.inode)},
            {"size", QString::number(id.size)}, {"mtimeNs", QString::number(id.mtimeNs)}};
}

FileIdentity identityFrom(const QJsonValue& v)
{
    const QJsonObject o = v.toObject();
    bool ok = false;
    FileIdentity id;
    id.device = o["device"].toString().toULongLong();
    id.inode = o["inode"].toString().toULongLong();
    id.size = o["size"].toString().toLongLong(&ok);
    if (!ok)
        id.size = -1;
    id.mtimeNs = o["mtimeNs"].toString().toLongLong();
    return id;
}

// One entry as the journal tells it.
struct Entry {
    QString run;
    qint64 seq = 0;
    QString kind; // "inplace", "rewrite", "rename"
    QString path, to; // path: the file written, or the old name of a rename
    FileIdentity identity, written;
    WritePlan plan;
    // A whole small file ("file"): whether it was there and its bytes before, whether the
    // write removed it and its bytes after.
    bool existed = false, gone = false;
    QByteArray before, after;
    bool done = false, resolved = false; // resolved: done, failed or settled by recovery
};

bool bytesOf(const QJsonValue& v, QByteArray* out)
{
    const auto r = QByteArray::fromBase64Encoding(v.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!r || !v.isString())
        return false;
    *out = *r;
    return true;
}

struct Run {
    QString id, command, undoes;
    QDateTime time;
    bool ended = false;
    QList<Entry> entries;
    QList<QByteArray> raw; // its records, for the journal kept to the last runs
};

QList<Run> model(const QList<Record>& records)
{
    QList<Run> runs;
    QHash<QString, qsizetype> runAt;
    for (const Record& r : records) {
        const QJsonObject& o = r.json;
        const QString t = o["t"].toString(), id = o["run"].toString();
        if (id.isEmpty())
            continue;
        if (t == QLatin1String("run")) {
            if (runAt.contains(id))
                continue;
            Run run;
            run.id = id;
            run.command = o["command"].toString();
            run.undoes = o["undoes"].toString();
            run.time = QDateTime::fromString(o["time"].toString(), Qt::ISODateWithMs);
            runAt.insert(id, runs.size());
            runs.append(run);
            runs.last().raw.append(r.raw);
            continue;
        }
        const auto it = runAt.constFind(id);
        if (it == runAt.constEnd())
            continue;
        Run& run = runs[*it];
        run.raw.append(r.raw);
        if (t == QLatin1String("end")) {
            run.ended = true;
            continue;
        }
        const qint64 seq = o["seq"].toInteger(-1);
        if (t == QLatin1String("begin")) {
            Entry e;
            e.run = id;
            e.seq = seq;
            e.kind = o["kind"].toString();
            e.path = unb64(o["path"]);
            e.identity = identityFrom(o["identity"]);
            if (e.path.isEmpty() || seq < 0)
                continue;
            if (e.kind == QLatin1String("rename")) {
                e.to = unb64(o["to"]);
                if (e.to.isEmpty())
                    continue;
            } else if (e.kind == QLatin1String("file")) {
                e.existed = o["existed"].toBool();
                e.gone = o["gone"].toBool();
                if ((e.existed && !bytesOf(o["before"], &e.before)) || (!e.gone && !bytesOf(o["after"], &e.after)) ||
                    (e.gone && !e.existed))
                    continue;
            } else if (e.kind == QLatin1String("inplace") || e.kind == QLatin1String("rewrite")) {
                if (!PlanFromJson(o["plan"].toObject(), &e.plan))
                    continue;
                e.plan.path = e.path;
                if (e.kind == QLatin1String("inplace") && !KeepsSizes(e.plan))
                    continue; // an in-place entry that would move bytes is no entry of ours
            } else {
                continue;
            }
            run.entries.append(e);
            continue;
        }
        for (Entry& e : run.entries) {
            if (e.seq != seq || e.resolved)
                continue;
            const QString outcome = o["outcome"].toString();
            e.resolved = true;
            e.done = t == QLatin1String("done") || (t == QLatin1String("recovered") && outcome == QLatin1String("finished"));
            if (t == QLatin1String("done"))
                e.written = identityFrom(o["written"]);
            break;
        }
    }
    return runs;
}

// The process's side of the journal: the file open for appending and the run going on.
struct State {
    QMutex mutex;
    QString path;
    QString openPath; // the journal fd and lockFd were opened for
    int fd = -1, lockFd = -1;
    QString run;
    QJsonObject runRecord; // written with the run's first entry: a run that touches nothing leaves nothing
    int depth = 0;
    bool implicit = false;
    qint64 seq = 0;
    int runs = 0;
};

State& state()
{
    static State s;
    return s;
}

QString journalPathLocked(State& s)
{
    return s.path.isEmpty() ? WritableFolder() + QStringLiteral("/write.journal") : s.path;
}

// The lock file: each process that writes holds it shared; recovery needs it alone.
bool lockShared(State& s, bool exclusiveFirst, bool* alone, QString* why)
{
    if (s.lockFd < 0) {
        const QByteArray lock = dorvane::io::EncodeName(journalPathLocked(s) + QStringLiteral(".lock"));
        s.lockFd = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (s.lockFd < 0)
            return fail(why, QStringLiteral("the write journal cannot be opened: ") + errnoText(errno));
    }
    if (alone)
        *alone = exclusiveFirst && ::flock(s.lockFd, LOCK_EX | LOCK_NB) == 0;
    if (alone && *alone)
        return true;
    while (::flock(s.lockFd, LOCK_SH) != 0)
        if (errno != EINTR)
            return fail(why, QStringLiteral("the write journal cannot be locked: ") + errnoText(errno));
    return true;
}

// The writable folder can change within a process (tests move the app folder): the journal
// files open for another path are closed, outside a run.
void forgetIfMoved(State& s)
{
    const QString path = journalPathLocked(s);
    if (s.openPath == path || s.depth > 1)
        return;
    if (s.fd >= 0)
        ::close(s.fd);
    if (s.lockFd >= 0)
        ::close(s.lockFd);
    s.fd = s.lockFd = -1;
    s.openPath = path;
}

bool openLocked(State& s, QString* why)
{
    forgetIfMoved(s);
    const QString path = journalPathLocked(s);
    if (s.fd >= 0)
        return true;
    if (!lockShared(s, false, nullptr, why))
        return false;
    const bool existed = QFileInfo::exists(path);
    s.fd = ::open(dorvane::io::EncodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (s.fd < 0)
        return fail(why, QStringLiteral("the write journal cannot be opened: ") + errnoText(errno));
    if (!existed)
        dorvane::io::SyncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool appendLocked(State& s, const QJsonObject& o, bool sync, QString* why)
{
    const QByteArray bytes = frame(o);
    bool torn = false;
    const bool die = detail::KillPoint(&torn);
    const qint64 n = die ? bytes.size() / 2 : bytes.size();
    qint64 at = 0;
    while (at < n) {
        const ssize_t w = ::write(s.fd, bytes.constData() + at, size_t(n - at));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return fail(why, QStringLiteral("the write journal cannot be written: ") + errnoText(w < 0 ? errno : EIO));
        at += w;
    }
    if (die)
        ::raise(SIGKILL);
    detail::KillPoint();
    if (sync && ::fdatasync(s.fd) != 0)
        return fail(why, QStringLiteral("the write journal cannot be synced: ") + errnoText(errno));
    if (sync)
        detail::KillPoint();
    return true;
}

bool beginRunLocked(State& s, const QString& command, const QString& undoes, QString* why)
{
    if (s.depth++ > 0)
        return true;
    if (!openLocked(s, why)) {
        s.depth = 0;
        return false;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Unique across processes (pid) and within one (a count: runs may begin in the same millisecond).
    s.run = QStringLiteral("%1-%2-%3").arg(now.toString(QStringLiteral("yyyyMMddThhmmsszzz"))).arg(::getpid()).arg(++s.runs);
    s.runRecord = {{"t", "run"}, {"run", s.run}, {"time", now.toString(Qt::ISODateWithMs)}, {"command", command}};
    if (!undoes.isEmpty())
        s.runRecord["undoes"] = undoes;
    return true;
}

void endRunLocked(State& s)
{
    if (s.depth == 0 || --s.depth > 0)
        return;
    // One sync for the run's done marks, which were left to the page cache.
    if (s.runRecord.isEmpty())
        appendLocked(s, {{"t", "end"}, {"run", s.run}}, true, nullptr);
    s.run.clear();
    s.runRecord = {};
    s.implicit = false;
}

QString defaultCommand()
{
    const QString app = QCoreApplication::applicationName();
    return app.isEmpty() ? QStringLiteral("write") : app;
}

bool beginEntryLocked(State& s, bool sync, QJsonObject o, qint64* entry, QString* why)
{
    if (s.depth == 0) {
        if (!beginRunLocked(s, defaultCommand(), {}, why))
            return false;
        s.implicit = true;
    }
    if (!s.runRecord.isEmpty()) {
        if (!appendLocked(s, s.runRecord, false, why)) {
            if (s.implicit)
                endRunLocked(s);
            return false;
        }
        s.runRecord = {};
    }
    o["t"] = "begin";
    o["run"] = s.run;
    o["seq"] = ++s.seq;
    *entry = s.seq;
    if (!appendLocked(s, o, sync, why)) {
        if (s.implicit)
            endRunLocked(s);
        return false;
    }
    return true;
}

void settleLocked(State& s, qint64 entry, const char* t, const QJsonObject& extra)
{
    QJsonObject o = extra;
    o["t"] = t;
    o["run"] = s.run;
    o["seq"] = entry;
    appendLocked(s, o, false, nullptr);
    if (s.implicit)
        endRunLocked(s);
}

QString folderOf(const QString& path)
{
    return dorvane::io::AbsoluteFolder(path);
}

bool existsNoFollow(const QString& path)
{
    struct stat st {};
    return ::lstat(dorvane::io::EncodeName(path).constData(), &st) == 0;
}

// The hidden temporary files of the file-safety layer a killed rewrite of path left.
void removeTemporaries(const QString& path, qint64 maxSize)
{
    // By bytes, as the layer named them: the file's own name may be any bytes.
    const QByteArray raw = dorvane::io::EncodeName(dorvane::io::AbsolutePath(path));
    const qsizetype slash = raw.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : raw.left(slash);
    const QByteArray prefix = '.' + raw.mid(slash + 1) + ".tmp-";
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!d) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        struct stat st {};
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix) &&
            ::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxSize)
            ::unlinkat(fd, e->d_name, 0);
    }
    ::closedir(d);
}

// Which of the plan's two sides the file holds: 1 new, 0 old, -1 neither (or a mix).
int sideOf(const WritePlan& plan, int fd, qint64 size)
{
    auto holds = [&](qint64 fileSize, bool newSide) {
        if (size != fileSize)
            return false;
        qint64 shift = 0;
        for (const ByteChange& c : plan.changes) {
            const QByteArray& want = newSide ? c.newBytes : c.oldBytes;
            QByteArray now(want.size(), '\0');
            if (PreadFully(fd, now.data(), now.size(), c.offset + (newSide ? shift : 0)) != now.size() || now != want)
                return false;
            shift += c.newBytes.size() - c.oldBytes.size();
        }
        return true;
    };
    return holds(plan.newSize, true) ? 1 : holds(plan.oldSize, false) ? 0 : -1;
}

// Which side of a whole-file entry the file holds: 1 after, 0 before, -1 neither.
int fileSide(const Entry& e)
{
    QByteArray now;
    bool missing = false, tooBig = false;
    int err = 0;
    const bool read = dorvane::io::ReadSmallFile(e.path, std::max(e.before.size(), e.after.size()) + 1, &now, &missing,
                                                 &tooBig, &err);
    if (!read)
        return missing ? (e.gone ? 1 : !e.existed ? 0 : -1) : -1;
    if (!e.gone && now == e.after)
        return 1;
    return e.existed && now == e.before ? 0 : -1;
}

// Settles one entry a crash left begun: "finished", "rolled back" or "left" with why.
QString settle(const Entry& e, QString* why)
{
    if (e.kind == QLatin1String("rename")) {
        const bool from = existsNoFollow(e.path), to = existsNoFollow(e.to);
        if (from && !to)
            return QStringLiteral("rolled back");
        if (to && !from) {
            dorvane::io::SyncFolder(folderOf(e.to));
            dorvane::io::SyncFolder(folderOf(e.path));
            return QStringLiteral("finished");
        }
        *why = from ? QStringLiteral("both names are taken") : QStringLiteral("neither name is there");
        return QStringLiteral("left");
    }
    if (e.kind == QLatin1String("file")) {
        // Written whole through a temporary file and a rename: old, new or someone else's.
        const int side = fileSide(e);
        removeTemporaries(e.path, std::max(e.before.size(), e.after.size()));
        if (side >= 0)
            return side ? QStringLiteral("finished") : QStringLiteral("rolled back");
        *why = QStringLiteral("the file was changed by another program since");
        return QStringLiteral("left");
    }
    PosixFile f;
    struct stat st {};
    if (!f.open(e.path, O_RDONLY | O_NONBLOCK) || ::fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("the file is gone");
        return QStringLiteral("left");
    }
    const WritePlan& p = e.plan;
    if (e.kind == QLatin1String("rewrite")) {
        // The rename is atomic: the file is wholly old or wholly new, or someone else's.
        const int side = sideOf(p, f.fd(), st.st_size);
        if (side >= 0) {
            removeTemporaries(e.path, std::max(p.oldSize, p.newSize));
            return side ? QStringLiteral("finished") : QStringLiteral("rolled back");
        }
        *why = QStringLiteral("the file was changed by another program since");
        return QStringLiteral("left");
    }
    // In place: each byte of each region is old or new; else another program wrote it.
    if (st.st_dev != e.identity.device || st.st_ino != e.identity.inode || st.st_size != p.oldSize) {
        *why = QStringLiteral("the file was replaced or changed by another program since");
        return QStringLiteral("left");
    }
    bool allOld = true, allNew = true;
    for (const ByteChange& c : p.changes) {
        QByteArray now(c.oldBytes.size(), '\0');
        if (PreadFully(f.fd(), now.data(), now.size(), c.offset) != now.size()) {
            *why = errnoText(errno);
            return QStringLiteral("left");
        }
        for (qsizetype i = 0; i < now.size(); ++i) {
            const bool isOld = now[i] == c.oldBytes[i], isNew = now[i] == c.newBytes[i];
            if (!isOld && !isNew) {
                *why = QStringLiteral("the file was changed by another program since");
                return QStringLiteral("left");
            }
            allOld = allOld && isOld;
            allNew = allNew && isNew;
        }
    }
    f.close();
    if (allOld)
        return QStringLiteral("rolled back");
    dorvane::io::InPlaceWriter w;
    bool ok = w.open(e.path);
    for (const ByteChange& c : p.changes)
        ok = ok && w.writeAt(c.offset, c.newBytes.constData(), c.newBytes.size());
    if (!ok || !w.sync()) {
        *why = w.errorString();
        return QStringLiteral("left");
    }
    Q_UNUSED(allNew);
    return QStringLiteral("finished");
}

bool readJournal(const QString& path, QList<Run>* runs, QString* why)
{
    QByteArray bytes;
    bool missing = false, tooBig = false;
    int err = 0;
    if (!dorvane::io::ReadSmallFile(path, kMaxJournal, &bytes, &missing, &tooBig, &err)) {
        if (missing) {
            runs->clear();
            return true;
        }
        return fail(why, tooBig ? QStringLiteral("the write journal is too large") : errnoText(err));
    }
    *runs = model(parseRecords(bytes));
    return true;
}

QString kindName(const QString& kind)
{
    return kind == QLatin1String("inplace") ? QStringLiteral("in place") : kind;
}

QList<RunInfo> infos(const QList<Run>& runs)
{
    QList<RunInfo> out;
    QSet<QString> undone;
    for (const Run& r : runs)
        if (!r.undoes.isEmpty())
            undone.insert(r.undoes);
    for (const Run& r : runs) {
        RunInfo i;
        i.id = r.id;
        i.command = r.command;
        i.undoes = r.undoes;
        i.time = r.time;
        i.ended = r.ended;
        i.undone = undone.contains(r.id);
        for (const Entry& e : r.entries)
            i.files.append({e.kind == QLatin1String("rename") ? e.to : e.path,
                            e.kind == QLatin1String("rename") ? e.path : QString(), kindName(e.kind), e.done});
        out.append(i);
    }
    return out;
}

} // namespace

QString JournalPath()
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return journalPathLocked(s);
}

void SetJournalPath(const QString& path)
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    if (s.fd >= 0)
        ::close(s.fd);
    if (s.lockFd >= 0)
        ::close(s.lockFd);
    s.fd = s.lockFd = -1;
    s.path = path;
    s.depth = 0;
    s.run.clear();
    s.runRecord = {};
}

bool BeginRun(const QString& command, QString* why, const QString& undoes)
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return beginRunLocked(s, command, undoes, why);
}

QString CurrentRunId()
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return s.depth > 0 ? s.run : QString();
}

bool WriteFileJournalled(const QString& path, const QByteArray& bytes, bool replace, QString* why)
{
    const QString a = dorvane::io::AbsolutePath(path);
    QByteArray before;
    bool missing = false, tooBig = false;
    int err = 0;
    const bool existed = dorvane::io::ReadSmallFile(a, kMaxRecord / 4, &before, &missing, &tooBig, &err);
    if (!existed && !missing)
        return fail(why, tooBig ? QStringLiteral("the file is too large to keep for undo") : errnoText(err));
    if (existed && !replace)
        return fail(why, errnoText(EEXIST));
    QJsonObject o {{"kind", "file"}, {"path", b64(a)}, {"identity", identityJson(IdentityOf(a))},
                   {"existed", existed}, {"after", QString::fromLatin1(bytes.toBase64())}};
    if (existed)
        o["before"] = QString::fromLatin1(before.toBase64());
    State& s = state();
    QMutexLocker lock(&s.mutex);
    qint64 entry = 0;
    if (!beginEntryLocked(s, true, o, &entry, why))
        return false;
    QString error;
    if (!dorvane::io::WriteFileAtomically(a, bytes, &error, replace)) {
        settleLocked(s, entry, "failed", {});
        return fail(why, error);
    }
    settleLocked(s, entry, "done", {{"written", identityJson(IdentityOf(a))}});
    return true;
}

bool RemoveFileJournalled(const QString& path, const QByteArray& expected, QString* why)
{
    const QString a = dorvane::io::AbsolutePath(path);
    QByteArray now;
    bool missing = false, tooBig = false;
    int err = 0;
    if (!dorvane::io::ReadSmallFile(a, expected.size() + 1, &now, &missing, &tooBig, &err) || now != expected)
        return fail(why, missing ? errnoText(ENOENT) : QStringLiteral("the file changed since it was written"));
    State& s = state();
    QMutexLocker lock(&s.mutex);
    qint64 entry = 0;
    if (!beginEntryLocked(s, true, {{"kind", "file"}, {"path", b64(a)}, {"identity", identityJson(IdentityOf(a))},
                                    {"existed", true}, {"gone", true}, {"before", QString::fromLatin1(expected.toBase64())}},
                          &entry, why))
        return false;
    detail::KillPoint();
    if (::unlink(dorvane::io::EncodeName(a).constData()) != 0) {
        const int e = errno;
        settleLocked(s, entry, "failed", {});
        return fail(why, errnoText(e));
    }
    dorvane::io::SyncFolder(folderOf(a));
    settleLocked(s, entry, "done", {});
    return true;
}

int PlanSide(const WritePlan& plan, const QString& path)
{
    PosixFile f;
    struct stat st {};
    if (!f.open(path, O_RDONLY | O_NONBLOCK) || ::fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return sideOf(plan, f.fd(), st.st_size);
}

void EndRun()
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    endRunLocked(s);
}

bool RenameJournalled(const QString& from, const QString& to, QString* why)
{
    const QString a = dorvane::io::AbsolutePath(from), b = dorvane::io::AbsolutePath(to);
    State& s = state();
    QMutexLocker lock(&s.mutex);
    qint64 entry = 0;
    if (!beginEntryLocked(s, true, {{"kind", "rename"}, {"path", b64(a)}, {"to", b64(b)},
                              {"identity", identityJson(IdentityOf(a))}},
                          &entry, why))
        return false;
    detail::KillPoint();
    QString error;
    if (!dorvane::io::RenameNoReplace(a, b, &error)) {
        settleLocked(s, entry, "failed", {});
        return fail(why, error);
    }
    detail::KillPoint();
    dorvane::io::SyncFolder(folderOf(b));
    if (folderOf(a) != folderOf(b))
        dorvane::io::SyncFolder(folderOf(a));
    settleLocked(s, entry, "done", {{"written", identityJson(IdentityOf(b))}});
    return true;
}

QString RecoveryReport::summary() const
{
    if (finished + rolledBack + left == 0)
        return {};
    QString s = QStringLiteral("Recovery after an interrupted write: %1 finished, %2 rolled back").arg(finished).arg(rolledBack);
    if (left > 0)
        s += QStringLiteral(", %1 left alone (changed by another program)").arg(left);
    return s;
}

RecoveryReport Recover()
{
    RecoveryReport report;
    State& s = state();
    QMutexLocker lock(&s.mutex);
    bool alone = false;
    forgetIfMoved(s);
    if (!lockShared(s, true, &alone, nullptr) || !alone) {
        report.busy = true;
        return report;
    }
    const QString path = journalPathLocked(s);
    QList<Run> runs;
    if (readJournal(path, &runs, nullptr)) {
        QByteArray settled;
        for (Run& r : runs) {
            for (const Entry& e : std::as_const(r.entries)) {
                if (e.resolved)
                    continue;
                QString why;
                const QString outcome = settle(e, &why);
                const QString shown = e.kind == QLatin1String("rename") ? e.path + QStringLiteral(" -> ") + e.to : e.path;
                report.lines << outcome + '\t' + shown + (why.isEmpty() ? QString() : '\t' + why);
                (outcome == QLatin1String("finished") ? report.finished
                 : outcome == QLatin1String("left")   ? report.left
                                                      : report.rolledBack)++;
                const QByteArray rec = frame({{"t", "recovered"}, {"run", r.id}, {"seq", e.seq}, {"outcome", outcome}});
                settled += rec;
                r.raw.append(rec);
            }
        }
        // Only the last 50 runs stay, and no more of them than 64 MiB hold (the last always):
        // every start reads the journal whole.
        qsizetype first = std::max<qsizetype>(0, runs.size() - kKeptRuns);
        qint64 bytes = 0;
        for (qsizetype i = runs.size() - 1; i >= first; --i) {
            for (const QByteArray& rec : std::as_const(runs[i].raw))
                bytes += rec.size();
            if (bytes > kKeptBytes && i < runs.size() - 1) {
                first = i + 1;
                break;
            }
        }
        if (first > 0) {
            // The journal is Tunora's own file, replaced whole.
            QByteArray kept;
            for (qsizetype i = first; i < runs.size(); ++i)
                for (const QByteArray& rec : std::as_const(runs[i].raw))
                    kept += rec;
            dorvane::io::WriteFileAtomically(path, kept);
        } else if (!settled.isEmpty() && openLocked(s, nullptr)) {
            if (::write(s.fd, settled.constData(), size_t(settled.size())) == settled.size())
                ::fdatasync(s.fd);
        }
    }
    if (s.fd >= 0) {
        ::close(s.fd);
        s.fd = -1;
    }
    while (::flock(s.lockFd, LOCK_SH) != 0 && errno == EINTR) {
    }
    return report;
}

QList<RunInfo> ListRuns(QString* why)
{
    QList<Run> runs;
    if (!readJournal(JournalPath(), &runs, why))
        return {};
    return infos(runs);
}

QList<RunInfo> RunsFromBytes(const QByteArray& bytes)
{
    return infos(model(parseRecords(bytes)));
}

namespace {

bool ofKind(const QString& command, const QString& kind)
{
    return kind.isEmpty() || command == kind || command.startsWith(kind + QLatin1Char(' '));
}

const Run* lastToUndo(const QList<Run>& runs, const QString& kind)
{
    QSet<QString> undone;
    for (const Run& r : runs)
        if (!r.undoes.isEmpty())
            undone.insert(r.undoes);
    const Run* last = nullptr;
    for (const Run& r : runs) {
        bool any = false;
        for (const Entry& e : r.entries)
            any = any || e.done;
        if (r.undoes.isEmpty() && !undone.contains(r.id) && any && ofKind(r.command, kind))
            last = &r;
    }
    return last;
}

} // namespace

QString LastRunToUndo(const QString& kind)
{
    // Pages ask each time they refresh: the answer is kept while the journal stays the same.
    static QMutex mutex;
    static QHash<QString, QPair<FileIdentity, QString>> known;
    const QString path = JournalPath();
    const FileIdentity now = IdentityOf(path);
    QMutexLocker lock(&mutex);
    const QString key = path + QLatin1Char('\n') + kind;
    if (const auto it = known.constFind(key); it != known.constEnd() && it->first == now && now.size >= 0)
        return it->second;
    QList<Run> runs;
    if (!readJournal(path, &runs, nullptr))
        return {};
    const Run* last = lastToUndo(runs, kind);
    known.insert(key, {now, last ? last->id : QString()});
    return last ? last->id : QString();
}

bool UndoLastRun(QStringList* lines, bool* allRestored, QString* why, const QString& kind)
{
    QList<Run> runs;
    if (!readJournal(JournalPath(), &runs, why))
        return false;
    const Run* last = lastToUndo(runs, kind);
    if (!last)
        return fail(why, QStringLiteral("the write journal holds no run to undo"));
    {
        State& s = state();
        QMutexLocker lock(&s.mutex);
        if (!beginRunLocked(s, QStringLiteral("undo ") + last->id, last->id, why))
            return false;
    }
    *allRestored = true;
    QStringList told;
    for (auto it = last->entries.crbegin(); it != last->entries.crend(); ++it) {
        const Entry& e = *it;
        if (!e.done)
            continue;
        QString reason;
        bool ok = false;
        QString shown = e.path;
        if (e.kind == QLatin1String("rename")) {
            ok = existsNoFollow(e.to) && RenameJournalled(e.to, e.path, &reason);
            if (!existsNoFollow(e.to))
                reason = QStringLiteral("it is no longer at ") + e.to;
        } else if (e.kind == QLatin1String("file")) {
            // Put back only while the file is as the run left it.
            if (fileSide(e) != 1)
                reason = QStringLiteral("it changed since it was written");
            else if (e.existed)
                ok = WriteFileJournalled(e.path, e.before, !e.gone, &reason);
            else
                ok = RemoveFileJournalled(e.path, e.after, &reason);
        } else {
            const WritePlan back = Reversed(e.plan, e.written);
            ok = CarryOut(back, &reason);
            if (!ok && reason.startsWith(QLatin1String("the file changed")))
                reason = QStringLiteral("it no longer holds what the run wrote");
        }
        *allRestored = *allRestored && ok;
        told.prepend(ok ? QStringLiteral("restored\t") + shown : QStringLiteral("left\t") + shown + '\t' + reason);
    }
    EndRun();
    *lines = told;
    return true;
}

namespace detail {

bool JournalBegin(const WritePlan& plan, bool inPlace, const FileIdentity& now, qint64* entry, QString* why, bool sync)
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    return beginEntryLocked(s, sync, {{"kind", inPlace ? "inplace" : "rewrite"}, {"path", b64(plan.path)},
                                {"identity", identityJson(now)}, {"plan", PlanToJson(plan)}},
                            entry, why);
}

void JournalDone(qint64 entry, const FileIdentity& written)
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    if (written.size >= 0)
        settleLocked(s, entry, "done", {{"written", identityJson(written)}});
    else
        settleLocked(s, entry, "failed", {});
}

bool KillPoint(bool* torn)
{
#ifdef TUNORA_TEST_HOOKS
    static const long target = qEnvironmentVariableIntValue("TUNORA_KILL_AT");
    static long passed = 0;
    if (target > 0 && ++passed == target) {
        if (torn)
            return *torn = true;
        ::raise(SIGKILL);
    }
#endif
    Q_UNUSED(torn);
    return false;
}

} // namespace detail

bool UndoLastRunOf(const QString& kind, UndoneRun* undone, QString* why)
{
    const QString id = LastRunToUndo(kind);
    if (id.isEmpty())
        return fail(why, QStringLiteral("the write journal holds no run to undo"));
    *undone = {};
    for (const RunInfo& r : ListRuns())
        if (r.id == id)
            undone->run = r;
    bool all = false;
    if (!UndoLastRun(&undone->lines, &all, why, kind))
        return false;
    for (const QString& line : std::as_const(undone->lines)) {
        if (line.startsWith(QLatin1String("restored\t")))
            continue;
        undone->leftPaths << line.section('\t', 1, 1);
        undone->leftLines << undone->leftPaths.last() + QStringLiteral(": ") + line.section('\t', 2);
    }
    return true;
}

} // namespace tunora::tags
