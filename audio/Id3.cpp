#include "audio/Id3.h"

#include "audio/Id3Frames.h"
#include "audio/PosixFile.h"
#include "dorvane/FileIo.h"
#include "shell/core/Genres.h"
#include "shell/core/Shared.h"

#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tunora {

namespace {

constexpr qint64 kV1Size = 128;
constexpr qint64 kCopyChunk = 3 * 1024 * 1024;
constexpr qint64 kWriteBehind = 8 * 1024 * 1024;
constexpr quint32 kMaxSyncsafe = 0x0FFFFFFF;

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

// Only spaces are trimmed from tag texts, as in the album's own fields.
QString trimSpaces(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b) == u' ')
        ++b;
    while (e > b && s.at(e - 1) == u' ')
        --e;
    return s.mid(b, e - b);
}

bool fitsLatin1(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// The first width characters in Latin-1 ("?" for any other character), padded with spaces.
QByteArray v1Field(const QString& text, int width)
{
    QByteArray out;
    out.reserve(width);
    for (const char32_t cp : text.toUcs4()) {
        if (out.size() == width)
            break;
        out.append(cp <= 0xFF ? static_cast<char>(cp) : '?');
    }
    while (out.size() < width)
        out.append(' ');
    return out;
}

// The track text read as a whole number from its leading digits; 0 (no track) outside 1..255.
quint8 trackByte(const QString& text)
{
    const QString t = trimSpaces(text);
    int value = 0;
    qsizetype i = 0;
    for (; i < t.size() && t.at(i).isDigit() && t.at(i).unicode() < 0x80; ++i) {
        value = value * 10 + (t.at(i).unicode() - '0');
        if (value > 255)
            return 0;
    }
    return static_cast<quint8>(value);
}

void appendBigEndian32(QByteArray& out, quint32 v)
{
    out.append(static_cast<char>((v >> 24) & 0xFF));
    out.append(static_cast<char>((v >> 16) & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
    out.append(static_cast<char>(v & 0xFF));
}

QByteArray utf16WithBom(const QString& s)
{
    QByteArray out("\xFF\xFE", 2);
    for (const QChar c : s) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

// A text frame's data: encoding byte, then the text (Latin-1, or UTF-16 when it does not fit).
QByteArray textData(const QString& text)
{
    if (fitsLatin1(text))
        return QByteArray(1, '\0') + text.toLatin1();
    return QByteArray(1, '\1') + utf16WithBom(text);
}

QByteArray commentData(const QString& text)
{
    if (fitsLatin1(text))
        return QByteArray("\0engComments\0", 13) + text.toLatin1();
    return QByteArray("\1eng", 4) + utf16WithBom(QStringLiteral("Comments")) + QByteArray(2, '\0') + utf16WithBom(text);
}

void appendFrame(QByteArray& out, const char* id, const QByteArray& data)
{
    out.append(id, 4);
    appendBigEndian32(out, static_cast<quint32>(data.size()));
    out.append(2, '\0');
    out.append(data);
}

QByteArray syncsafe(quint32 v)
{
    QByteArray out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>(v & 0x7F);
        v >>= 7;
    }
    return out;
}

bool validV2Header(const QByteArray& head, qint64 fileSize, qint64& size)
{
    if (fileSize <= 10 || head.size() < 10 || !head.startsWith("ID3"))
        return false;
    qint64 n = 0;
    for (int i = 6; i < 10; ++i) {
        const auto b = static_cast<quint8>(head.at(i));
        if (b & 0x80)
            return false;
        n = n * 128 + b;
    }
    if (10 + n > fileSize)
        return false;
    size = n;
    return true;
}

bool fdHasV1(int fd, qint64 size)
{
    if (size <= 130)
        return false;
    char m[3];
    return PreadFully(fd, m, 3, size - kV1Size) == 3 && std::memcmp(m, "TAG", 3) == 0;
}

QString statusPath(const QString& path)
{
    QString p = path.trimmed();
    p.replace(QStringLiteral("&"), QStringLiteral("&&"));
    return p;
}

bool failWith(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

// ID3v1 alone: the 128 bytes at the end change in place. A failed write puts the old
// bytes back (or cuts an append back to the old length), so the file stays as it was.
bool writeV1InPlace(const QString& path, const QByteArray& v1, QString* why, TagUndo* undo)
{
    PosixFile f;
    if (!f.open(path, O_RDWR | O_NONBLOCK))
        return failWith(why, f.error());
    const qint64 size = f.size();
    if (size < 0)
        return failWith(why, f.error());
    QByteArray old;
    if (fdHasV1(f.fd(), size)) {
        const qint64 at = size - 125;
        old = QByteArray(125, '\0');
        if (PreadFully(f.fd(), old.data(), 125, at) != 125)
            return failWith(why, errnoText(errno));
        if (!PwriteFully(f.fd(), v1.constData() + 3, 125, at) || ::fsync(f.fd()) != 0) {
            const int e = errno;
            PwriteFully(f.fd(), old.constData(), 125, at);
            ::fsync(f.fd());
            return failWith(why, errnoText(e));
        }
    } else {
        if (!PwriteFully(f.fd(), v1.constData(), kV1Size, size) || ::fsync(f.fd()) != 0) {
            const int e = errno;
            if (::ftruncate(f.fd(), static_cast<off_t>(size)) == 0)
                ::fsync(f.fd());
            return failWith(why, errnoText(e));
        }
    }
    if (!f.close())
        return failWith(why, f.error());
    if (undo) {
        *undo = TagUndo {};
        undo->v1Written = true;
        undo->oldV1 = old.isEmpty() ? old : "TAG" + old;
        undo->newV1 = v1;
    }
    return true;
}

// Copies [from, to) of src to dst at dstAt; in-kernel where the file system allows it.
bool copyRange(int src, qint64 from, qint64 to, int dst, qint64 dstAt, int& err, const TagWriteProgress& progress)
{
    bool kernelCopy = true;
    std::vector<char> buf;
    qint64 pos = from;
    qint64 out = dstAt;
    qint64 flushed = 0;
    // Starts the disk writes of what is copied so far, so that the final fsync has little
    // left to wait for.
    auto writeBehind = [&] {
        if (out - flushed >= kWriteBehind) {
            ::sync_file_range(dst, flushed, out - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = out;
        }
        progress.step();
    };
    while (pos < to) {
        const qint64 n = std::min(kCopyChunk, to - pos);
        if (kernelCopy) {
            loff_t inOff = pos, outOff = out;
            const ssize_t c = ::copy_file_range(src, &inOff, dst, &outOff, static_cast<size_t>(n), 0);
            if (c > 0) {
                pos += c;
                out += c;
                writeBehind();
                continue;
            }
            if (c == 0) {
                err = EIO; // the source shrank under us
                return false;
            }
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM) {
                err = errno;
                return false;
            }
            kernelCopy = false;
        }
        if (buf.empty())
            buf.resize(static_cast<size_t>(kCopyChunk));
        const qint64 r = PreadFully(src, buf.data(), n, pos);
        if (r != n) {
            err = r < 0 ? errno : EIO;
            return false;
        }
        if (!PwriteFully(dst, buf.data(), n, out)) {
            err = errno;
            return false;
        }
        pos += n;
        out += n;
        writeBehind();
    }
    return true;
}

// A rewrite makes the new file of head, the source's bytes [from, to) and tail.
struct Rewrite {
    QByteArray head;
    qint64 from = 0, to = 0;
    QByteArray tail;
};
// Given the open source and its size, fills the rewrite, or answers why the file is left alone.
using RewritePlan = std::function<QString(int fd, qint64 size, Rewrite&)>;

// The new file is written completely to a uniquely named file in the same folder, synced, and
// renamed over the source in one step (the folder synced after).
bool rewriteFile(const QString& path, const RewritePlan& plan, QString* why, const TagWriteProgress& progress)
{
    PosixFile src;
    if (!src.open(path, O_RDONLY | O_NONBLOCK))
        return failWith(why, src.error());
    struct stat st {};
    if (::fstat(src.fd(), &st) != 0)
        return failWith(why, errnoText(errno));
    Rewrite r;
    const QString refusal = plan(src.fd(), st.st_size, r);
    if (!refusal.isEmpty())
        return failWith(why, refusal);

    // The temporary file goes with the writer on every early return.
    dorvane::io::AtomicWriter tmp;
    if (!tmp.open(path))
        return failWith(why, QStringLiteral("cannot create a temporary file in the folder: ") + tmp.errorString());
    const int tfd = tmp.fd();
    if (!PwriteFully(tfd, r.head.constData(), r.head.size(), 0))
        return failWith(why, errnoText(errno));
    int err = 0;
    if (!copyRange(src.fd(), r.from, r.to, tfd, r.head.size(), err, progress))
        return failWith(why, errnoText(err));
    if (!PwriteFully(tfd, r.tail.constData(), r.tail.size(), r.head.size() + (r.to - r.from)))
        return failWith(why, errnoText(errno));
    if (::fsync(tfd) != 0)
        return failWith(why, errnoText(errno));
    progress.step();
    // Another program writing the file meanwhile (a download still arriving, an editor
    // saving) would lose its bytes to the rename: leave the file to it instead.
    struct stat now {};
    if (::fstat(src.fd(), &now) != 0)
        return failWith(why, errnoText(errno));
    if (now.st_size != st.st_size || now.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return failWith(why, QStringLiteral("the file changed while it was being tagged"));
    src.close();
    if (!tmp.commit())
        return failWith(why, tmp.errorString());
    return true;
}

// The file a path names, links followed so that a link stays a link; empty (and why) when
// it is missing or no regular file.
QString regularFile(const QString& path, QString* why)
{
    const QString real = dorvane::io::RealPath(path);
    struct stat st {};
    if (real.isEmpty() || ::stat(dorvane::io::EncodeName(real).constData(), &st) != 0) {
        failWith(why, QStringLiteral("no such file"));
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        failWith(why, QStringLiteral("not a regular file"));
        return {};
    }
    return real;
}

// n bytes of the file at offset, or why they cannot be read.
QString readAt(int fd, qint64 offset, qint64 n, QByteArray& out)
{
    out = QByteArray(n, '\0');
    const qint64 got = PreadFully(fd, out.data(), n, offset);
    if (got < 0)
        return errnoText(errno);
    if (got != n)
        return QStringLiteral("the file changed while it was being read");
    return {};
}

// The new file is the new ID3v2 tag (the seven frames, the extras and what it keeps of the
// old first tag), the source's bytes behind that old tag and, when v1 is given, the new ID3v1
// tag in place of the old one.
bool rewriteWithV2(const QString& path, const TrackTag& tag, const QByteArray& v1, const TagWriteExtras& extras,
                   QString* why)
{
    TagUndo undo;
    const bool ok = rewriteFile(path, [&](int fd, qint64 size, Rewrite& r) {
        QByteArray head;
        const QString error = readAt(fd, 0, std::min<qint64>(size, 10), head);
        if (!error.isEmpty())
            return error;
        r.from = ID3v2TotalSize(head, size);
        if (r.from > 0) {
            const QString e = readAt(fd, 0, r.from, undo.oldV2);
            if (!e.isEmpty())
                return e;
        }
        QList<QByteArray> extraFrames;
        if (!extras.partOfSet.isEmpty())
            extraFrames << ID3v23Frame("TPOS", '\0' + extras.partOfSet); // Latin-1
        if (!trimSpaces(extras.albumArtist).isEmpty())
            extraFrames << ID3v23Frame("TPE2", textData(trimSpaces(extras.albumArtist)));
        if (!extras.frontCover.isEmpty())
            extraFrames << ID3v2FrontCoverFrame(extras.frontCover);
        r.head = BuildID3v2(tag, undo.oldV2, extraFrames, extras.genreOptional);
        undo.newV2 = r.head;
        if (r.head.isEmpty())
            return QStringLiteral("the new tag is too large for an ID3v2 tag");
        r.to = size;
        if (!v1.isEmpty() && fdHasV1(fd, size)) {
            r.to = size - kV1Size;
            const QString e = readAt(fd, r.to, kV1Size, undo.oldV1);
            if (!e.isEmpty())
                return e;
        }
        // A tag reaching into the ID3v1 tag: what goes back on undo is what goes now.
        r.from = std::min(r.from, r.to);
        undo.oldV2.truncate(r.from);
        r.tail = v1;
        return QString();
    }, why, extras.progress);
    if (ok && extras.undo) {
        undo.v2Written = true;
        undo.v1Written = !v1.isEmpty();
        undo.newV1 = v1;
        *extras.undo = undo;
    }
    return ok;
}

} // namespace

bool RestoreID3Tags(const QString& path, const TagUndo& undo, QString* why, const TagWriteProgress& progress)
{
    if (!undo.v2Written && !undo.v1Written)
        return true;
    const QString real = regularFile(path, why);
    if (real.isEmpty())
        return false;
    return rewriteFile(real, [&](int fd, qint64 size, Rewrite& r) {
        const QString changed = QStringLiteral("its tags changed since they were written");
        r.from = undo.v2Written ? undo.newV2.size() : 0;
        r.to = size - (undo.v1Written ? kV1Size : 0);
        if (r.to < r.from)
            return changed;
        QByteArray now;
        QString error = readAt(fd, 0, r.from, now);
        if (error.isEmpty() && now != (undo.v2Written ? undo.newV2 : QByteArray()))
            return changed;
        if (error.isEmpty() && undo.v1Written) {
            error = readAt(fd, r.to, kV1Size, now);
            if (error.isEmpty() && now != undo.newV1)
                return changed;
        }
        r.head = undo.oldV2;
        r.tail = undo.oldV1;
        if (!undo.v2Written)
            r.head.clear();
        if (!undo.v1Written)
            r.tail.clear();
        return error;
    }, why, progress);
}

QByteArray BuildID3v1(const TrackTag& tag)
{
    QByteArray out;
    out.reserve(125);
    out += v1Field(tag.title, 30);
    out += v1Field(tag.artist, 30);
    out += v1Field(tag.album, 30);
    out += v1Field(tag.year, 4);
    out += v1Field(tag.comment, 28);
    out.append('\0');
    out.append(static_cast<char>(trackByte(tag.track)));
    out.append(static_cast<char>(GenreByteForName(tag.genre)));
    return out;
}

namespace {

QByteArray sevenFrames(const TrackTag& tag, bool genreOptional = false)
{
    QByteArray frames;
    appendFrame(frames, "TIT2", textData(trimSpaces(tag.title)));
    appendFrame(frames, "TPE1", textData(trimSpaces(tag.artist)));
    appendFrame(frames, "TALB", textData(trimSpaces(tag.album)));
    appendFrame(frames, "TYER", textData(trimSpaces(tag.year)));
    if (!genreOptional || !trimSpaces(tag.genre).isEmpty())
        appendFrame(frames, "TCON", textData(trimSpaces(tag.genre)));
    appendFrame(frames, "TRCK", textData(trimSpaces(tag.track)));
    appendFrame(frames, "COMM", commentData(trimSpaces(tag.comment)));
    return frames;
}

QByteArray tagOf(QByteArray frames)
{
    frames.append('\0'); // one byte of padding
    if (static_cast<quint64>(frames.size()) > kMaxSyncsafe)
        return {}; // the size field cannot express it
    return QByteArray("ID3\x03\x00\x00", 6) + syncsafe(static_cast<quint32>(frames.size())) + frames;
}

} // namespace

QByteArray BuildID3v2(const TrackTag& tag)
{
    return tagOf(sevenFrames(tag));
}

QByteArray BuildID3v2(const TrackTag& tag, const QByteArray& oldTag, const QList<QByteArray>& extraFrames,
                      bool genreOptional)
{
    const bool noGenre = genreOptional && trimSpaces(tag.genre).isEmpty();
    QByteArray frames = sevenFrames(tag, genreOptional);
    QSet<QByteArray> replaced;
    for (const char* id : {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TRCK"})
        if (!noGenre || qstrcmp(id, "TCON") != 0)
            replaced.insert(id);
    replaced.insert(ID3v2FrameKey(ID3v23Frame("COMM", commentData(QString()))));
    for (const QByteArray& f : extraFrames) {
        replaced.insert(ID3v2FrameKey(f));
        frames += f;
    }
    for (const QByteArray& f : ID3v2FramesAsV23(oldTag))
        if (!replaced.contains(ID3v2FrameKey(f)))
            frames += f;
    return tagOf(frames);
}

qint64 ID3v2SizeFromHeader(const QByteArray& head, qint64 fileSize)
{
    qint64 n = 0;
    return validV2Header(head, fileSize, n) ? n : 0;
}

qint64 ID3v2TotalSize(const QByteArray& head, qint64 fileSize)
{
    qint64 n = 0;
    if (!validV2Header(head, fileSize, n))
        return 0;
    qint64 total = 10 + n;
    // An ID3v2.4 footer (flag 0x10) repeats the header behind the tag.
    if (static_cast<quint8>(head.at(3)) == 4 && (static_cast<quint8>(head.at(5)) & 0x10))
        total = std::min(total + 10, fileSize);
    return total;
}

qint64 GetID3v2Size(const QString& path)
{
    PosixFile f;
    if (!f.open(path, O_RDONLY))
        return 0;
    const qint64 size = f.size();
    QByteArray head(10, '\0');
    if (size <= 10 || PreadFully(f.fd(), head.data(), 10, 0) != 10)
        return 0;
    return ID3v2SizeFromHeader(head, size);
}

bool HasID3v1(const QString& path)
{
    PosixFile f;
    if (!f.open(path, O_RDONLY))
        return false;
    const qint64 size = f.size();
    return size > 0 && fdHasV1(f.fd(), size);
}

bool WriteID3Tags(const TrackTag& tag, const QString& path, bool writeV1, bool writeV2, QString* why,
                  const TagWriteExtras& extras)
{
    if (!writeV1 && !writeV2)
        return failWith(why, QStringLiteral("no tag requested"));
    if (path.size() < 3)
        return failWith(why, QStringLiteral("no such file"));
    const QString real = regularFile(path, why);
    if (real.isEmpty())
        return false;
    struct stat st {};
    if (::stat(dorvane::io::EncodeName(real).constData(), &st) != 0)
        return failWith(why, errnoText(errno));
    // Read-only: no write permission bit at all (as the read-only attribute), or none for us.
    if ((st.st_mode & 0222) == 0 || ::access(dorvane::io::EncodeName(real).constData(), W_OK) != 0)
        return failWith(why, QStringLiteral("the file is read-only"));

    QByteArray v1, v2;
    if (writeV1)
        v1 = QByteArray("TAG") + BuildID3v1(tag);
    if (writeV2) {
        v2 = BuildID3v2(tag);
        if (v2.isEmpty())
            return failWith(why, QStringLiteral("the tag texts are too long for an ID3v2 tag"));
    }

    const TagWriteProgress& progress = extras.progress;
    if (writeV1) {
        progress.tell(QStringLiteral("Updating ID3v1 : ") + statusPath(path));
        progress.step();
    }
    bool ok;
    if (writeV2) {
        progress.tell(QStringLiteral("Updating ID3v2 : ") + statusPath(path));
        progress.step();
        ok = rewriteWithV2(real, tag, v1, extras, why);
    } else {
        ok = writeV1InPlace(real, v1, why, extras.undo);
    }
    progress.step();
    progress.tell(QString());
    return ok;
}

bool WriteID3Tags(const TrackTag& tag, const QString& path, bool writeV1, bool writeV2)
{
    return WriteID3Tags(tag, path, writeV1, writeV2, nullptr);
}

} // namespace tunora
