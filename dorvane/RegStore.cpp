#include "dorvane/RegStore.h"

#include "dorvane/FileIo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvane::store {

namespace {

const char* const kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

bool fitsOnLine(const QString& s)
{
    return !s.contains(QChar(0)) && !s.contains(QChar('\r')) && !s.contains(QChar('\n'));
}

QString quoted(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QChar('"');
    for (const QChar c : s) {
        if (c == QChar('\\') || c == QChar('"'))
            out += QChar('\\');
        out += c;
    }
    out += QChar('"');
    return out;
}

// Reads a quoted text starting at t[pos] == '"'; pos ends after the closing quote.
bool readQuoted(const QString& t, qsizetype& pos, QString* out)
{
    out->clear();
    for (qsizetype i = pos + 1; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c == QChar('\\') && i + 1 < t.size()) {
            *out += t.at(++i);
        } else if (c == QChar('"')) {
            pos = i + 1;
            return true;
        } else {
            *out += c;
        }
    }
    return false;
}

void skipBlanks(const QString& t, qsizetype& pos)
{
    while (pos < t.size() && (t.at(pos) == QChar(' ') || t.at(pos) == QChar('\t')))
        ++pos;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// 1 to maxDigits hexadecimal digits, nothing else.
bool parseHexNumber(const QString& s, int maxDigits, quint32* value)
{
    if (s.isEmpty() || s.size() > maxDigits)
        return false;
    quint32 v = 0;
    for (const QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        v = (v << 4) | quint32(d);
    }
    *value = v;
    return true;
}

bool parseHexBytes(const QString& list, QByteArray* out)
{
    out->clear();
    const QString t = list.trimmed();
    if (t.isEmpty())
        return true;
    const QStringList parts = t.split(QChar(','));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString p = parts.at(i).trimmed();
        if (p.isEmpty() && i == parts.size() - 1)
            break; // a trailing comma
        quint32 v = 0;
        if (!parseHexNumber(p, 2, &v))
            return false;
        out->append(char(v));
    }
    return true;
}

void appendHex(QString& out, const QString& prefix, const QByteArray& data)
{
    static const char digits[] = "0123456789abcdef";
    QString line = prefix;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data.at(i));
        QString piece;
        piece += QChar(digits[b >> 4]);
        piece += QChar(digits[b & 15]);
        if (i + 1 < data.size())
            piece += QChar(',');
        if (i > 0 && line.size() + piece.size() > 77) {
            out += line + "\\\n";
            line = QStringLiteral("  ");
        }
        line += piece;
    }
    out += line + "\n";
}

} // namespace

QString RootName(int root)
{
    return root >= 0 && root < kRootCount ? QString::fromLatin1(kRootNames[root]) : QString();
}

int RootIndex(const QString& name)
{
    for (int i = 0; i < kRootCount; ++i)
        if (name.compare(QLatin1String(kRootNames[i]), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<QStringList> SplitKeyPath(const QString& path)
{
    QStringList parts;
    for (const QString& p : path.split(QChar('\\'), Qt::SkipEmptyParts)) {
        if (!fitsOnLine(p))
            return std::nullopt;
        parts << p;
    }
    return parts;
}

bool ValidValueName(const QString& name)
{
    return fitsOnLine(name);
}

const RegValue* RegKey::value(const QString& name) const
{
    for (const RegValue& v : values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    return nullptr;
}

bool RegKey::setValue(const QString& name, quint32 type, const QByteArray& data)
{
    for (RegValue& v : values) {
        if (v.name.compare(name, Qt::CaseInsensitive) == 0) {
            if (v.type == type && v.data == data)
                return false;
            v.type = type;
            v.data = data;
            return true;
        }
    }
    values.append(RegValue{name, type, data});
    return true;
}

bool RegKey::removeValue(const QString& name)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (values.at(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            values.removeAt(i);
            return true;
        }
    }
    return false;
}

QString RegDocument::sortKey(int root, const QStringList& path)
{
    QString k(QChar(u'0' + root));
    for (const QString& p : path) {
        k += QChar(1);
        k += p.toCaseFolded();
    }
    return k;
}

const RegKey* RegDocument::findKey(int root, const QStringList& path) const
{
    const auto it = m_keys.find(sortKey(root, path));
    return it == m_keys.end() ? nullptr : &it->second;
}

RegKey& RegDocument::createKey(int root, const QStringList& path)
{
    // Every level above is a key of its own, as a path created level by level would be.
    for (qsizetype n = 1; n < path.size(); ++n) {
        const QStringList prefix = path.mid(0, n);
        const QString k = sortKey(root, prefix);
        if (m_keys.find(k) == m_keys.end())
            m_keys.emplace(k, RegKey{root, prefix, {}});
    }
    const QString k = sortKey(root, path);
    auto it = m_keys.find(k);
    if (it == m_keys.end())
        it = m_keys.emplace(k, RegKey{root, path, {}}).first;
    return it->second;
}

std::optional<RegDocument> RegDocument::Parse(const QByteArray& bytes, QString* error)
{
    auto fail = [&](qsizetype line, const QString& why) -> std::optional<RegDocument> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line + 1).arg(why);
        return std::nullopt;
    };
    const QString text = io::DecodeText(bytes);
    QStringList lines = text.split(QChar('\n'));
    for (QString& l : lines)
        if (l.endsWith(QChar('\r')))
            l.chop(1);

    RegDocument doc;
    qsizetype i = 0;
    while (i < lines.size() && lines.at(i).trimmed().isEmpty())
        ++i;
    if (i == lines.size())
        return doc; // an empty file is an empty store
    const QString header = lines.at(i).trimmed();
    if (header != QLatin1String("REGEDIT4") && header != QLatin1String("Windows Registry Editor Version 5.00"))
        return fail(i, QStringLiteral("no REGEDIT4 header"));

    RegKey* current = nullptr;
    for (++i; i < lines.size(); ++i) {
        const QString t = lines.at(i).trimmed();
        if (t.isEmpty() || t.startsWith(QChar(';')))
            continue;
        if (t.startsWith(QChar('['))) {
            if (!t.endsWith(QChar(']')) || t.size() < 3)
                return fail(i, QStringLiteral("bad key line"));
            const QString inner = t.mid(1, t.size() - 2);
            if (inner.startsWith(QChar('-')))
                return fail(i, QStringLiteral("key removal lines are not kept in a store"));
            const QStringList parts = inner.split(QChar('\\'));
            const int root = RootIndex(parts.first());
            if (root < 0)
                return fail(i, QStringLiteral("unknown root"));
            const QStringList path = parts.mid(1);
            for (const QString& p : path)
                if (p.isEmpty())
                    return fail(i, QStringLiteral("empty key name"));
            current = &doc.createKey(root, path);
            continue;
        }
        if (!t.startsWith(QChar('"')) && !t.startsWith(QChar('@')))
            return fail(i, QStringLiteral("unexpected text"));
        if (!current)
            return fail(i, QStringLiteral("value outside a key"));
        QString name;
        qsizetype pos = 0;
        if (t.startsWith(QChar('@')))
            pos = 1;
        else if (!readQuoted(t, pos, &name))
            return fail(i, QStringLiteral("unterminated name"));
        skipBlanks(t, pos);
        if (pos >= t.size() || t.at(pos) != QChar('='))
            return fail(i, QStringLiteral("no '=' after the name"));
        ++pos;
        skipBlanks(t, pos);
        const QString rest = t.mid(pos);
        if (rest.startsWith(QChar('"'))) {
            QString data;
            qsizetype p = 0;
            if (!readQuoted(rest, p, &data) || !rest.mid(p).trimmed().isEmpty())
                return fail(i, QStringLiteral("bad text value"));
            current->setValue(name, REG_SZ, data.toUtf8());
        } else if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            quint32 v = 0;
            if (!parseHexNumber(rest.mid(6).trimmed(), 8, &v))
                return fail(i, QStringLiteral("bad dword value"));
            QByteArray data(4, '\0');
            for (int b = 0; b < 4; ++b)
                data[b] = char((v >> (8 * b)) & 0xFF);
            current->setValue(name, REG_DWORD, data);
        } else if (rest.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            quint32 type = REG_BINARY;
            qsizetype p = 3;
            if (p < rest.size() && rest.at(p) == QChar('(')) {
                const qsizetype close = rest.indexOf(QChar(')'), p);
                if (close < 0 || !parseHexNumber(rest.mid(p + 1, close - p - 1), 8, &type))
                    return fail(i, QStringLiteral("bad hex type"));
                p = close + 1;
            }
            if (p >= rest.size() || rest.at(p) != QChar(':'))
                return fail(i, QStringLiteral("bad hex value"));
            QString list = rest.mid(p + 1).trimmed();
            while (list.endsWith(QChar('\\'))) {
                list.chop(1);
                if (++i >= lines.size())
                    return fail(i - 1, QStringLiteral("hex value continues past the end"));
                list += lines.at(i).trimmed();
            }
            QByteArray data;
            if (!parseHexBytes(list, &data))
                return fail(i, QStringLiteral("bad hex bytes"));
            current->setValue(name, type, data);
        } else if (rest == QLatin1String("-")) {
            current->removeValue(name);
        } else {
            return fail(i, QStringLiteral("unknown value form"));
        }
    }
    return doc;
}

QByteArray RegDocument::Serialize() const
{
    QString out = QStringLiteral("REGEDIT4\n");
    for (const auto& [sort, key] : m_keys) {
        Q_UNUSED(sort);
        out += QChar('\n');
        out += QChar('[') + RootName(key.root);
        for (const QString& p : key.path)
            out += QChar('\\') + p;
        out += QStringLiteral("]\n");
        for (const RegValue& v : key.values) {
            const QString name = v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name);
            if (v.type == REG_SZ) {
                bool utf8 = false;
                const QString s = io::DecodeText(v.data, &utf8);
                // Text that cannot stand between quotes on one line keeps its bytes as hex.
                if (utf8 && fitsOnLine(s) && s.toUtf8() == v.data) {
                    out += name + "=" + quoted(s) + "\n";
                    continue;
                }
            }
            if (v.type == REG_DWORD && v.data.size() == 4) {
                quint32 d = 0;
                for (int b = 3; b >= 0; --b)
                    d = (d << 8) | static_cast<unsigned char>(v.data.at(b));
                out += name + QStringLiteral("=dword:%1\n").arg(d, 8, 16, QChar('0'));
                continue;
            }
            const QString prefix = v.type == REG_BINARY ? name + "=hex:"
                                                        : name + QStringLiteral("=hex(%1):").arg(v.type, 0, 16);
            appendHex(out, prefix, v.data);
        }
    }
    out += QChar('\n');
    return out.toUtf8();
}

// ---------------------------------------------------------------------------------------------
// The file.

namespace {

struct Identity {
    QString path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    qint64 mtimeNs = 0;
    bool operator==(const Identity&) const = default;
    QString text() const
    {
        return QStringLiteral("%1|%2|%3|%4|%5").arg(path).arg(dev).arg(ino).arg(size).arg(mtimeNs);
    }
};

struct Cache {
    QMutex mutex;
    bool valid = false;
    Identity id;
    std::shared_ptr<const RegDocument> doc; // nullptr: the file is broken
    QSet<QString> reported;                 // broken files already told to the host
    QString lastWriteFailure;
};

Cache& cache()
{
    static Cache c;
    return c;
}

bool identityOf(const QString& path, Identity* id, int* err)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        *err = errno;
        return false;
    }
    id->path = path;
    id->dev = st.st_dev;
    id->ino = st.st_ino;
    id->size = st.st_size;
    id->mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

// Parses the bytes of the file at path; nullptr and *why when they are not a store.
std::shared_ptr<const RegDocument> readDocument(const QString& path, bool* missing, bool* broken, QString* why)
{
    QByteArray bytes;
    bool tooBig = false;
    int err = 0;
    *broken = false;
    if (!io::ReadSmallFile(path, kMaxStoreBytes, &bytes, missing, &tooBig, &err)) {
        if (*missing)
            return std::make_shared<const RegDocument>();
        *broken = tooBig;
        *why = tooBig ? QStringLiteral("larger than a settings file can be") : errnoText(err);
        return nullptr;
    }
    auto doc = RegDocument::Parse(bytes, why);
    if (!doc) {
        *broken = true;
        return nullptr;
    }
    return std::make_shared<const RegDocument>(std::move(*doc));
}

StoreNoticeHandler& noticeHandler()
{
    static StoreNoticeHandler h = [](const StoreNotice& n) {
        const char* what = n.kind == StoreNotice::Unreadable ? "cannot be read, settings are at their defaults"
                           : n.kind == StoreNotice::MovedAside ? "could not be read and was moved aside to"
                                                               : "could not be written:";
        std::fprintf(stderr, "Settings file %s %s %s\n", qPrintable(n.path), what, qPrintable(n.detail));
    };
    return h;
}

QString brokenName(const QString& target)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return target + ".broken-" + stamp;
}

// Renames a broken store out of the way without replacing anything; answers the new name.
QString moveAside(const QString& target, QString* why)
{
    const QString base = brokenName(target);
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? base : base + "-" + QString::number(n);
        if (io::RenameNoReplace(target, candidate, why))
            return candidate;
        const QFileInfo taken(candidate);
        if (taken.exists() || taken.isSymLink())
            continue;
        return QString();
    }
    *why = QStringLiteral("no free name beside it");
    return QString();
}

// Temporary files left by a writer that died: only a lock holder writes one, so any present
// while we hold the lock are orphans.
void removeOrphans(const QString& target)
{
    const QFileInfo info(target);
    QDir dir(info.absolutePath());
    const QStringList names = dir.entryList({"." + info.fileName() + ".tmp-??????", info.fileName() + ".tmp-??????"},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& n : names)
        dir.remove(n);
}

std::atomic<int> g_lockWaitMs {10000};

class LockFile {
public:
    // Waits for the lock at most lockWaitMs: a writer that hangs while holding it must not
    // freeze this program for good. The wait itself blocks in the kernel (on a helper
    // thread), so that two programs writing in turn each get the lock as soon as it is free.
    explicit LockFile(const QString& target)
    {
        m_fd = ::open(QFile::encodeName(target + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_err = errno;
            return;
        }
        int r;
        while ((r = ::flock(m_fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (r == 0)
            return;
        if (errno != EWOULDBLOCK) {
            fail(errno);
            return;
        }
        struct Wait {
            std::mutex m;
            std::condition_variable cv;
            bool done = false, abandoned = false;
            int err = 0;
        };
        auto wait = std::make_shared<Wait>();
        const int fd = m_fd;
        std::thread([wait, fd] {
            int got;
            while ((got = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
            const int err = got == 0 ? 0 : errno;
            std::lock_guard<std::mutex> g(wait->m);
            if (wait->abandoned) {
                ::close(fd); // the writer gave up: the lock, once had, goes at once
                return;
            }
            wait->done = true;
            wait->err = err;
            wait->cv.notify_all();
        }).detach();
        std::unique_lock<std::mutex> g(wait->m);
        if (!wait->cv.wait_for(g, std::chrono::milliseconds(g_lockWaitMs.load()), [&] { return wait->done; })) {
            wait->abandoned = true; // the helper thread now owns the descriptor
            m_fd = -1;
            m_err = EWOULDBLOCK;
            return;
        }
        if (wait->err != 0)
            fail(wait->err);
    }
    ~LockFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool held() const { return m_fd >= 0; }
    int error() const { return m_err; }

private:
    void fail(int err)
    {
        m_err = err;
        ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
    int m_err = 0;
};

} // namespace

void Notify(StoreNotice::Kind kind, const QString& path, const QString& detail)
{
    const StoreNoticeHandler h = noticeHandler();
    if (h)
        h(StoreNotice{kind, path, detail});
}

int SetLockWaitMs(int ms)
{
    return g_lockWaitMs.exchange(ms);
}

StoreNoticeHandler SetNoticeHandler(StoreNoticeHandler h)
{
    StoreNoticeHandler old = std::move(noticeHandler());
    noticeHandler() = std::move(h);
    return old;
}

QString StorePath()
{
    const QString env = qEnvironmentVariable("TUNORA_REGISTRY");
    if (!env.isEmpty())
        return env;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.config";
    return base + "/tunora/registry.reg";
}

std::shared_ptr<const RegDocument> Load()
{
    Cache& c = cache();
    const QString path = StorePath();
    Identity id;
    int err = 0;
    QString report;
    QString reportKey;
    std::shared_ptr<const RegDocument> doc;
    if (!identityOf(path, &id, &err)) {
        if (err == ENOENT || err == ENOTDIR)
            return std::make_shared<const RegDocument>();
        report = errnoText(err);
        reportKey = path + "|errno " + QString::number(err);
    } else {
        QMutexLocker lock(&c.mutex);
        if (c.valid && c.id == id)
            return c.doc;
        bool missing = false;
        bool broken = false;
        doc = readDocument(path, &missing, &broken, &report);
        if (missing)
            return doc; // removed since the stat
        c.valid = true;
        c.id = id;
        c.doc = doc;
        reportKey = id.text();
    }
    if (doc)
        return doc;
    {
        QMutexLocker lock(&c.mutex);
        if (c.reported.contains(reportKey))
            return nullptr;
        c.reported.insert(reportKey);
    }
    Notify(StoreNotice::Unreadable, path, report);
    return nullptr;
}

bool Unreadable()
{
    return Load() == nullptr;
}

bool Modify(const std::function<void(RegDocument&)>& change)
{
    Cache& c = cache();
    const QString path = StorePath();
    const QString target = io::ResolveLinks(path);
    auto failed = [&](const QString& why) {
        {
            QMutexLocker lock(&c.mutex);
            const QString key = target + "|" + why;
            if (c.lastWriteFailure == key)
                return false;
            c.lastWriteFailure = key;
        }
        Notify(StoreNotice::WriteFailed, target, why);
        return false;
    };

    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return failed(QStringLiteral("cannot create the folder %1").arg(folder));
    LockFile lock(target);
    if (!lock.held())
        return failed(lock.error() == EWOULDBLOCK ? QStringLiteral("another program holds the settings file's lock")
                                                  : errnoText(lock.error()));
    removeOrphans(target);

    bool missing = false;
    bool broken = false;
    QString why;
    std::shared_ptr<const RegDocument> current = readDocument(target, &missing, &broken, &why);
    RegDocument doc;
    if (current) {
        doc = *current;
    } else if (broken) {
        // Keep the user's bytes; a fresh store takes the new value.
        QString moveWhy;
        const QString aside = moveAside(target, &moveWhy);
        if (aside.isEmpty())
            return failed(moveWhy);
        Notify(StoreNotice::MovedAside, target, aside);
        missing = true;
    } else {
        return failed(why); // exists but cannot be read: never replaced blindly
    }

    const QByteArray before = doc.Serialize();
    change(doc);
    const QByteArray after = doc.Serialize();
    if (after == before)
        return true;
    if (after.size() > kMaxStoreBytes)
        return failed(QStringLiteral("the settings would grow past %1 bytes").arg(kMaxStoreBytes));
    QString err;
    if (!io::WriteFileAtomically(target, after, &err, true, 0600))
        return failed(err);

    Identity id;
    int e = 0;
    QMutexLocker cl(&c.mutex);
    c.lastWriteFailure.clear();
    // Still under the store's lock: nobody else can have replaced the file since.
    if (path == target && identityOf(path, &id, &e)) {
        c.valid = true;
        c.id = id;
        c.doc = std::make_shared<const RegDocument>(std::move(doc));
    } else {
        c.valid = false;
    }
    return true;
}

} // namespace dorvane::store
