#include "tags/Tags.h"

#include "audio/Id3.h"
#include "audio/Mp3Length.h"
#include "audio/PosixFile.h"
#include "dorvane/FileIo.h"
#include "tags/FormatTags.h"
#include "tags/Journal.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <functional>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tunora::tags {

namespace detail {

void ParseNumberPair(const QString& text, int* number, int* total)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,9})?\\s*(?:/\\s*(\\d{1,9}))?"));
    const QRegularExpressionMatch m = re.match(text);
    *number = m.captured(1).toInt();
    *total = m.captured(2).toInt();
}

QString NumberPairText(int number, int total)
{
    if (number <= 0)
        return {};
    return total > 0 ? QStringLiteral("%1/%2").arg(number).arg(total) : QString::number(number);
}

QString ImageMime(const QByteArray& image)
{
    if (image.startsWith("\x89PNG"))
        return QStringLiteral("image/png");
    if (image.startsWith("GIF8"))
        return QStringLiteral("image/gif");
    if (image.startsWith("BM"))
        return QStringLiteral("image/bmp");
    return QStringLiteral("image/jpeg");
}

} // namespace detail

namespace {

constexpr qint64 kMaxRewrite = qint64(1) << 30; // TagLib's streams count in 32 bits
constexpr qint64 kCopyChunk = 1 << 20;
constexpr int kSniffBytes = 64;

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

bool isMpegFrame(const QByteArray& b)
{
    if (b.size() < 4)
        return false;
    const auto b0 = static_cast<quint8>(b[0]), b1 = static_cast<quint8>(b[1]), b2 = static_cast<quint8>(b[2]);
    return b0 == 0xFF && (b1 & 0xE0) == 0xE0 && ((b1 >> 3) & 3) != 1 && ((b1 >> 1) & 3) != 0 && (b2 >> 4) != 15 &&
           ((b2 >> 2) & 3) != 3;
}

// The bytes in front of the audio taken by an ID3v2 tag (some FLAC, APE, WavPack and
// Musepack files carry one too).
qint64 id3Skip(const QByteArray& head)
{
    return ID3v2TotalSize(head, std::numeric_limits<qint64>::max());
}

// The first bytes behind any ID3v2 tag, and whether there was one.
// The first bytes of the file behind any ID3v2 tag, and whether there was one; plain system
// calls, as this runs once for every file measured. Only a regular file is read: a FIFO or a
// device would block or never end.
bool sniffBytes(const QString& path, QByteArray* head, bool* hadId3, QString* why)
{
    const int fd = ::open(dorvane::io::EncodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(why, errno == ENOENT ? QStringLiteral("no such file") : errnoText(errno));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[kSniffBytes];
    qint64 n = regular ? PreadFully(fd, buf, kSniffBytes, 0) : 0;
    *head = QByteArray(buf, static_cast<qsizetype>(std::max<qint64>(n, 0)));
    *hadId3 = false;
    if (const qint64 skip = id3Skip(*head); regular && n >= 0 && skip > 0) {
        n = PreadFully(fd, buf, kSniffBytes, skip);
        *head = QByteArray(buf, static_cast<qsizetype>(std::max<qint64>(n, 0)));
        *hadId3 = true;
    }
    const int e = errno;
    ::close(fd);
    if (!regular)
        return fail(why, QStringLiteral("not a regular file"));
    if (n < 0)
        return fail(why, errnoText(e));
    return true;
}

// What the first bytes, an ID3v2 tag in front and the extension say together.
AudioFormat decideFormat(const QString& path, const QByteArray& head, bool hadId3, QString* why)
{
    const AudioFormat byExtension = FormatOfPath(path);
    const AudioFormat byBytes = SniffFormat(head, byExtension);
    if (byBytes != AudioFormat::Unknown)
        return byBytes;
    // MPEG audio may begin anywhere: the MP3 reader looks for it and says what it found.
    if (hadId3 || byExtension == AudioFormat::Unknown)
        return AudioFormat::Mp3;
    fail(why, QStringLiteral("no %1 audio (nor any other format Tunora reads)").arg(FormatInfo(byExtension).name));
    return AudioFormat::Unknown;
}

bool regularWritable(const QString& path, QString* real, QString* why)
{
    *real = dorvane::io::RealPath(path);
    struct stat st {};
    if (real->isEmpty() || ::stat(dorvane::io::EncodeName(*real).constData(), &st) != 0)
        return fail(why, QStringLiteral("no such file"));
    if (!S_ISREG(st.st_mode))
        return fail(why, QStringLiteral("not a regular file"));
    // Read-only: no write permission bit at all (as the read-only attribute), or none for us.
    if ((st.st_mode & 0222) == 0 || ::access(dorvane::io::EncodeName(*real).constData(), W_OK) != 0)
        return fail(why, QStringLiteral("the file is read-only"));
    return true;
}

// The one change that makes before into after: what lies between their common start and end.
ByteChange difference(const QByteArray& before, const QByteArray& after)
{
    const qsizetype n = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < n && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < n - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return {prefix, before.mid(prefix, before.size() - prefix - suffix),
            after.mid(prefix, after.size() - prefix - suffix)};
}

// Copies [from, to) of src to dst at dstAt; in-kernel where the file system allows it.
// beat comes after each chunk: a window lets its events run while a large file is copied.
bool copyRange(int src, qint64 from, qint64 to, int dst, qint64 dstAt, int* err,
               const std::function<void()>& beat = {})
{
    bool kernel = true;
    std::vector<char> buf;
    while (from < to) {
        const qint64 n = std::min(kCopyChunk, to - from);
        if (kernel) {
            loff_t in = from, out = dstAt;
            const ssize_t c = ::copy_file_range(src, &in, dst, &out, static_cast<size_t>(n), 0);
            if (c > 0) {
                from += c;
                dstAt += c;
                if (beat)
                    beat();
                continue;
            }
            if (c == 0) {
                *err = EIO; // the source shrank
                return false;
            }
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM) {
                *err = errno;
                return false;
            }
            kernel = false;
        }
        buf.resize(static_cast<size_t>(kCopyChunk));
        const qint64 r = PreadFully(src, buf.data(), n, from);
        if (r != n) {
            *err = r < 0 ? errno : EIO;
            return false;
        }
        if (!PwriteFully(dst, buf.data(), n, dstAt)) {
            *err = errno;
            return false;
        }
        from += n;
        dstAt += n;
        if (beat)
            beat();
    }
    return true;
}


quint64 bigEndian(const QByteArray& b, qsizetype at, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | static_cast<quint8>(b[at + i]);
    return v;
}

qint64 roundedMs(quint64 units, quint64 perSecond)
{
    return static_cast<qint64>((static_cast<long double>(units) * 1000 + perSecond / 2.0L) / perSecond);
}

// FLAC: the STREAMINFO block, which comes first, holds the sample rate and the sample count.
bool flacLength(const QByteArray& head, qint64* ms)
{
    if (head.size() < 8 + 18 || (static_cast<quint8>(head[4]) & 0x7F) != 0)
        return false;
    const quint64 bits = bigEndian(head, 8 + 10, 8); // rate 20, channels 3, depth 5, samples 36
    const quint64 rate = bits >> 44, samples = bits & ((quint64(1) << 36) - 1);
    if (rate == 0 || samples == 0)
        return false;
    *ms = roundedMs(samples, rate);
    return true;
}

// MP4: the media header (mdhd) of the first sound track, found by walking the atoms without
// reading the tags, the sample tables or the audio.
bool mp4Length(QFile& f, qint64* ms)
{
    const qint64 fileSize = f.size();
    // Each level: [begin, end) of the atoms inside the container.
    std::function<bool(qint64, qint64, int, quint64*, quint64*, bool*)> walk =
        [&](qint64 at, qint64 end, int depth, quint64* scale, quint64* duration, bool* sound) -> bool {
        while (at + 8 <= end) {
            if (!f.seek(at))
                return false;
            QByteArray h = f.read(16);
            if (h.size() < 8)
                return false;
            qint64 size = static_cast<qint64>(bigEndian(h, 0, 4));
            qint64 headerSize = 8;
            if (size == 1) {
                if (h.size() < 16)
                    return false;
                size = static_cast<qint64>(bigEndian(h, 8, 8));
                headerSize = 16;
            } else if (size == 0) {
                size = end - at;
            }
            if (size < headerSize || at + size > end)
                return false;
            const QByteArray type = h.mid(4, 4);
            if (depth == 0 && type == "moov")
                return walk(at + headerSize, at + size, 1, scale, duration, sound);
            if (depth == 1 && type == "trak") {
                quint64 s = 0, d = 0;
                bool isSound = false;
                if (walk(at + headerSize, at + size, 2, &s, &d, &isSound) && isSound && s > 0) {
                    *scale = s;
                    *duration = d;
                    return true;
                }
            } else if (depth == 2 && type == "mdia") {
                walk(at + headerSize, at + size, 3, scale, duration, sound);
                return true;
            } else if (depth == 3 && type == "hdlr") {
                f.seek(at + 16);
                *sound = f.read(4) == "soun";
            } else if (depth == 3 && type == "mdhd") {
                f.seek(at + 8);
                const QByteArray m = f.read(36);
                if (m.size() >= 24 && m[0] == 0) {
                    *scale = bigEndian(m, 12, 4);
                    *duration = bigEndian(m, 16, 4);
                } else if (m.size() >= 36 && m[0] == 1) {
                    *scale = bigEndian(m, 20, 4);
                    *duration = bigEndian(m, 24, 8);
                }
            }
            at += size;
        }
        return depth == 3;
    };
    quint64 scale = 0, duration = 0;
    bool sound = false;
    if (!walk(0, fileSize, 0, &scale, &duration, &sound) || scale == 0 || duration == 0)
        return false;
    *ms = roundedMs(duration, scale);
    return true;
}
} // namespace

AudioFormat SniffFormat(const QByteArray& head, AudioFormat byExtension)
{
    auto at = [&](qsizetype offset, const char* magic) {
        return head.mid(offset, static_cast<qsizetype>(std::strlen(magic))) == magic;
    };
    if (at(0, "fLaC"))
        return AudioFormat::Flac;
    if (at(0, "OggS")) {
        if (at(28, "\x01vorbis"))
            return AudioFormat::OggVorbis;
        if (at(28, "OpusHead"))
            return AudioFormat::Opus;
        return AudioFormat::Unknown; // Ogg FLAC, Speex, Theora: not Tunora's
    }
    if (at(4, "ftyp"))
        return AudioFormat::Mp4;
    if (at(0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11"))
        return AudioFormat::Wma;
    if (at(0, "MAC "))
        return AudioFormat::Ape;
    if (at(0, "wvpk"))
        return AudioFormat::WavPack;
    if (at(0, "MPCK") || at(0, "MP+"))
        return AudioFormat::Musepack;
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC")))
        return AudioFormat::Aiff;
    if (at(0, "RIFF") && at(8, "WAVE"))
        return AudioFormat::Wav;
    if (at(0, "TWIN"))
        return AudioFormat::Vqf;
    if (isMpegFrame(head))
        return AudioFormat::Mp3;
    return byExtension == AudioFormat::Mp3 ? AudioFormat::Mp3 : AudioFormat::Unknown;
}

AudioFormat FormatOfFile(const QString& path, QString* why)
{
    QByteArray head;
    bool hadId3 = false;
    if (!sniffBytes(path, &head, &hadId3, why))
        return AudioFormat::Unknown;
    return decideFormat(path, head, hadId3, why);
}

bool ReadFileTags(const QString& path, FileTags* out, QString* why)
{
    const AudioFormat format = FormatOfFile(path, why);
    switch (format) {
    case AudioFormat::Unknown: return false;
    case AudioFormat::Mp3: return detail::ReadMp3File(path, out, why);
    case AudioFormat::Vqf: return fail(why, QStringLiteral("VQF files are neither measured nor tagged"));
    default: return detail::ReadTaglibFile(path, format, out, why);
    }
}

bool ReadLength(const QString& path, qint64* ms, QString* why, AudioFormat* formatOut)
{
    QByteArray head;
    bool hadId3 = false;
    if (!sniffBytes(path, &head, &hadId3, why))
        return false;
    const AudioFormat format = decideFormat(path, head, hadId3, why);
    if (formatOut)
        *formatOut = format;
    // FLAC and MP4 are measured here from their headers, faster than TagLib's full read.
    if (format == AudioFormat::Flac && flacLength(head, ms))
        return true;
    if (QFile f; format == AudioFormat::Mp4 && dorvane::io::OpenForReading(f, path) &&
                       mp4Length(f, ms))
        return true;
    switch (format) {
    case AudioFormat::Unknown: return false;
    case AudioFormat::Mp3: {
        double d = 0;
        if (!GetMp3Length(path, d, why))
            return false;
        *ms = static_cast<qint64>(d);
        return true;
    }
    case AudioFormat::Vqf: return fail(why, QStringLiteral("VQF files are not measured"));
    default: return detail::ReadTaglibLength(path, format, ms, why);
    }
}

bool ReadTagsFromBytes(const QByteArray& bytes, AudioFormat format, FileTags* out, QString* why)
{
    if (format == AudioFormat::Mp3 || format == AudioFormat::Vqf || format == AudioFormat::Unknown)
        return fail(why, QStringLiteral("not a format read from memory"));
    return detail::ReadTaglibBytes(bytes, format, out, why);
}

bool PlanWrite(const QString& path, const TagFields& values, Fields fields, const WriteOptions& options,
               WritePlan* plan, QString* why)
{
    QString real;
    if (!regularWritable(path, &real, why))
        return false;
    const FileIdentity identity = IdentityOf(real); // before any byte is read
    const AudioFormat format = FormatOfFile(real, why);
    WritePlan p;
    switch (format) {
    case AudioFormat::Unknown: return false;
    case AudioFormat::Vqf: return fail(why, QStringLiteral("VQF files are not tagged"));
    case AudioFormat::Mp3: {
        // A file that merely ends in .mp3 (or names no format) is tagged only when it holds MPEG audio.
        double ms = 0;
        if (!GetMp3Length(real, ms, why) || !detail::PlanMp3Write(real, values, fields, options, &p, why))
            return false;
        break;
    }
    default: {
        QByteArray before, after;
        bool missing = false, tooBig = false;
        int err = 0;
        if (!dorvane::io::ReadSmallFile(real, kMaxRewrite, &before, &missing, &tooBig, &err))
            return fail(why, tooBig ? QStringLiteral("the file is too large to tag") : errnoText(err));
        if (!detail::WriteTaglibBytes(before, format, values, fields, &after, why))
            return false;
        p.oldSize = before.size();
        if (before != after)
            p.changes.append(difference(before, after));
    }
    }
    p.path = real;
    p.format = format;
    p.identity = identity;
    // Each region only where its bytes really change.
    QList<ByteChange> changes;
    for (const ByteChange& c : std::as_const(p.changes)) {
        ByteChange d = difference(c.oldBytes, c.newBytes);
        if (d.oldBytes.isEmpty() && d.newBytes.isEmpty())
            continue;
        d.offset += c.offset;
        changes.append(d);
    }
    p.changes = changes;
    p.newSize = p.oldSize;
    for (const ByteChange& c : std::as_const(p.changes))
        p.newSize += c.newBytes.size() - c.oldBytes.size();
    *plan = p;
    return true;
}

FileIdentity IdentityOf(const QString& path)
{
    FileIdentity id;
    struct stat st {};
    if (::stat(dorvane::io::EncodeName(path).constData(), &st) != 0)
        return id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

namespace {

FileIdentity identityOfStat(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Marks the journal entry failed on every early return after it was begun.
struct EntryGuard {
    qint64 entry = 0;
    bool open = false;
    ~EntryGuard()
    {
        if (open)
            detail::JournalDone(entry, {});
    }
    void done(const FileIdentity& id)
    {
        detail::JournalDone(entry, id);
        open = false;
    }
};

// The open file still holds what the plan was made from: its size and every region's old bytes.
bool stillAsPlanned(int fd, const WritePlan& plan, struct stat* st, QString* why)
{
    if (::fstat(fd, st) != 0)
        return fail(why, errnoText(errno));
    const QString changed = QStringLiteral("the file changed since its tags were read");
    if (st->st_size != plan.oldSize)
        return fail(why, changed);
    for (const ByteChange& c : plan.changes) {
        QByteArray now(c.oldBytes.size(), '\0');
        if (PreadFully(fd, now.data(), now.size(), c.offset) != now.size() || now != c.oldBytes)
            return fail(why, changed);
    }
    return true;
}

// Every region keeps its size: only those bytes are written, where they stand.
bool carryOutInPlace(const WritePlan& plan, const QString& real, QString* why, FileIdentity* written)
{
    dorvane::io::InPlaceWriter out;
    if (!out.open(real))
        return fail(why, out.errorString());
    struct stat st {};
    if (!stillAsPlanned(out.fd(), plan, &st, why))
        return false;
    EntryGuard guard;
    if (!detail::JournalBegin(plan, true, identityOfStat(st), &guard.entry, why))
        return false;
    guard.open = true;
    qsizetype wrote = 0;
    bool ok = true;
    for (const ByteChange& c : plan.changes) {
        bool torn = false;
        if (detail::KillPoint(&torn)) {
            out.writeAt(c.offset, c.newBytes.constData(), c.newBytes.size() / 2);
            ::raise(SIGKILL);
        }
        if (!(ok = out.writeAt(c.offset, c.newBytes.constData(), c.newBytes.size())))
            break;
        ++wrote;
    }
    detail::KillPoint();
    ok = ok && out.sync();
    detail::KillPoint();
    if (!ok) {
        const QString reason = out.errorString();
        // The old bytes back where the new ones may have gone; if even that fails the entry
        // stays begun and the next start finishes the write.
        bool back = true;
        for (qsizetype i = 0; i <= std::min(wrote, plan.changes.size() - 1); ++i)
            back = back && out.writeAt(plan.changes[i].offset, plan.changes[i].oldBytes.constData(),
                                       plan.changes[i].oldBytes.size());
        if (!back || !out.sync())
            guard.open = false;
        return fail(why, reason);
    }
    struct stat after {};
    ::fstat(out.fd(), &after);
    if (!out.close())
        return fail(why, out.errorString());
    guard.done(identityOfStat(after));
    if (written)
        *written = identityOfStat(after);
    return true;
}

} // namespace

bool KeepsSizes(const WritePlan& plan)
{
    bool same = plan.oldSize == plan.newSize;
    for (const ByteChange& c : plan.changes)
        same = same && c.oldBytes.size() == c.newBytes.size();
    return same;
}

bool CarryOut(const WritePlan& plan, QString* why, FileIdentity* written, const std::function<void()>& beat)
{
    if (plan.changes.isEmpty()) {
        if (written)
            *written = IdentityOf(plan.path);
        return true;
    }
    QString real;
    if (!regularWritable(plan.path, &real, why))
        return false;
    if (KeepsSizes(plan))
        return carryOutInPlace(plan, real, why, written);

    PosixFile src;
    if (!src.open(real, O_RDONLY | O_NONBLOCK))
        return fail(why, src.error());
    struct stat st {};
    if (!stillAsPlanned(src.fd(), plan, &st, why))
        return false;
    EntryGuard guard;
    WritePlan journalled = plan;
    journalled.path = real;
    if (!detail::JournalBegin(journalled, false, identityOfStat(st), &guard.entry, why))
        return false;
    guard.open = true;

    // The temporary file goes with the writer on every early return.
    dorvane::io::AtomicWriter out;
    if (!out.open(real))
        return fail(why, QStringLiteral("cannot create a temporary file in the folder: ") + out.errorString());
    qint64 from = 0, to = 0;
    int err = 0;
    for (const ByteChange& c : plan.changes) {
        if (!copyRange(src.fd(), from, c.offset, out.fd(), to, &err, beat))
            return fail(why, errnoText(err));
        to += c.offset - from;
        if (!PwriteFully(out.fd(), c.newBytes.constData(), c.newBytes.size(), to))
            return fail(why, errnoText(errno));
        to += c.newBytes.size();
        from = c.offset + c.oldBytes.size();
    }
    if (!copyRange(src.fd(), from, plan.oldSize, out.fd(), to, &err, beat))
        return fail(why, errnoText(err));
    // Another program writing the file meanwhile would lose its bytes to the rename.
    struct stat now {};
    if (::fstat(src.fd(), &now) != 0)
        return fail(why, errnoText(errno));
    if (now.st_size != st.st_size || now.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return fail(why, QStringLiteral("the file changed while it was being tagged"));
    src.close();
    detail::KillPoint();
    if (!out.commit())
        return fail(why, out.errorString());
    detail::KillPoint();
    const FileIdentity id = IdentityOf(real);
    guard.done(id);
    if (written)
        *written = id;
    return true;
}

QList<bool> CarryOutAll(const QList<WritePlan>& plans, QStringList* whys)
{
    constexpr qsizetype kBatch = 256; // open files at once
    QList<bool> ok(plans.size(), false);
    *whys = QStringList(plans.size(), QString());
    struct Item {
        qsizetype index = 0;
        std::unique_ptr<dorvane::io::InPlaceWriter> out;
        struct stat st {};
        qint64 entry = 0;
        bool begun = false;
    };
    qsizetype next = 0;
    while (next < plans.size()) {
        std::vector<Item> items;
        for (; next < plans.size() && qsizetype(items.size()) < kBatch; ++next) {
            const WritePlan& plan = plans[next];
            QString& why = (*whys)[next];
            const bool sameSizes = !plan.changes.isEmpty() && KeepsSizes(plan);
            QString real;
            if (!sameSizes || !regularWritable(plan.path, &real, &why)) {
                ok[next] = why.isEmpty() && CarryOut(plan, &why);
                continue;
            }
            Item it;
            it.index = next;
            it.out = std::make_unique<dorvane::io::InPlaceWriter>();
            if (!it.out->open(real)) {
                why = it.out->errorString();
                continue;
            }
            if (!stillAsPlanned(it.out->fd(), plan, &it.st, &why))
                continue;
            items.push_back(std::move(it));
        }
        // Every entry on disk before the first byte: the last one's sync takes them all.
        for (size_t i = 0; i < items.size(); ++i) {
            Item& it = items[i];
            const WritePlan& plan = plans[it.index];
            it.begun = detail::JournalBegin(plan, true, identityOfStat(it.st), &it.entry, &(*whys)[it.index],
                                            i + 1 == items.size());
        }
        if (!items.empty() && !items.back().begun) {
            for (Item& it : items) { // none of them is known to be on disk
                if (it.begun)
                    detail::JournalDone(it.entry, {});
                (*whys)[it.index] = QStringLiteral("the write journal cannot be written");
                it.begun = false;
            }
        }
        for (Item& it : items) {
            if (!it.begun)
                continue;
            const WritePlan& plan = plans[it.index];
            qsizetype wrote = 0;
            bool good = true;
            for (const ByteChange& c : plan.changes) {
                bool torn = false;
                if (detail::KillPoint(&torn)) {
                    it.out->writeAt(c.offset, c.newBytes.constData(), c.newBytes.size() / 2);
                    ::raise(SIGKILL);
                }
                if (!(good = it.out->writeAt(c.offset, c.newBytes.constData(), c.newBytes.size())))
                    break;
                ++wrote;
            }
            if (!good) {
                (*whys)[it.index] = it.out->errorString();
                bool back = true;
                for (qsizetype i = 0; i <= std::min(wrote, plan.changes.size() - 1); ++i)
                    back = back && it.out->writeAt(plan.changes[i].offset, plan.changes[i].oldBytes.constData(),
                                                   plan.changes[i].oldBytes.size());
                if (back && it.out->sync())
                    detail::JournalDone(it.entry, {});
                it.begun = false; // else left begun: the next start finishes it
                continue;
            }
        }
        detail::KillPoint();
        // Each file's data synced, many at once: the file system joins concurrent syncs into
        // few commits, and unlike syncfs none waits for other programs' unwritten data.
        std::vector<int> fds;
        for (const Item& it : items)
            if (it.begun)
                fds.push_back(it.out->fd());
        std::atomic<size_t> nextFd {0};
        std::atomic<bool> synced {true};
        std::atomic<int> syncErr {0};
        auto syncSome = [&] {
            for (size_t i; (i = nextFd++) < fds.size();)
                if (::fdatasync(fds[i]) != 0) {
                    syncErr = errno;
                    synced = false;
                }
        };
        std::vector<std::thread> workers;
        for (size_t w = 1; w < std::min<size_t>(fds.size(), 16); ++w)
            workers.emplace_back(syncSome);
        syncSome();
        for (std::thread& t : workers)
            t.join();
        detail::KillPoint();
        for (Item& it : items) {
            if (!it.begun)
                continue;
            struct stat after {};
            ::fstat(it.out->fd(), &after);
            if (!synced) {
                (*whys)[it.index] = QStringLiteral("the written bytes could not be synced: ") + errnoText(syncErr);
                continue; // left begun: the next start settles it
            }
            detail::JournalDone(it.entry, identityOfStat(after));
            ok[it.index] = true;
        }
    }
    return ok;
}

WritePlan Reversed(const WritePlan& plan, const FileIdentity& written)
{
    WritePlan r = plan;
    r.identity = written;
    r.oldSize = plan.newSize;
    r.newSize = plan.oldSize;
    qint64 shift = 0;
    for (ByteChange& c : r.changes) {
        c.offset += shift;
        shift += c.newBytes.size() - c.oldBytes.size();
        std::swap(c.oldBytes, c.newBytes);
    }
    return r;
}

QByteArray Applied(const QByteArray& before, const WritePlan& plan)
{
    QByteArray out;
    qint64 from = 0;
    for (const ByteChange& c : plan.changes) {
        out += before.mid(from, c.offset - from);
        out += c.newBytes;
        from = c.offset + c.oldBytes.size();
    }
    out += before.mid(from);
    return out;
}

QJsonObject PlanToJson(const WritePlan& plan)
{
    QJsonArray changes;
    for (const ByteChange& c : plan.changes)
        changes.append(QJsonObject {{"offset", double(c.offset)},
                                    {"old", QString::fromLatin1(c.oldBytes.toBase64())},
                                    {"new", QString::fromLatin1(c.newBytes.toBase64())}});
    const FileIdentity& id = plan.identity;
    QJsonObject o {{"format", FormatInfo(plan.format).name},
            {"oldSize", double(plan.oldSize)},
            {"newSize", double(plan.newSize)},
            {"identity", QJsonObject {{"device", QString::number(id.device)}, {"inode", QString::number(id.inode)},
                                      {"size", double(id.size)}, {"mtimeNs", QString::number(id.mtimeNs)}}},
            {"changes", changes}};
    PutName(o, QStringLiteral("path"), plan.path);
    return o;
}

void PutName(QJsonObject& o, const QString& key, const QString& name)
{
    o[key] = name;
    const QByteArray bytes = dorvane::io::EncodeName(name);
    if (bytes != name.toUtf8())
        o[key + QLatin1String("64")] = QString::fromLatin1(bytes.toBase64());
}

QString TakeName(const QJsonObject& o, const QString& key)
{
    const QJsonValue raw = o[key + QLatin1String("64")];
    if (raw.isString()) {
        const auto bytes = QByteArray::fromBase64Encoding(raw.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (bytes)
            return dorvane::io::DecodeName(*bytes);
    }
    return o[key].toString();
}

bool PlanFromJson(const QJsonObject& json, WritePlan* plan)
{
    WritePlan p;
    p.path = TakeName(json, QStringLiteral("path"));
    p.format = FormatNamed(json["format"].toString());
    p.oldSize = static_cast<qint64>(json["oldSize"].toDouble(-1));
    p.newSize = static_cast<qint64>(json["newSize"].toDouble(-1));
    const QJsonObject id = json["identity"].toObject();
    p.identity = {id["device"].toString().toULongLong(), id["inode"].toString().toULongLong(),
                  static_cast<qint64>(id["size"].toDouble(-1)), id["mtimeNs"].toString().toLongLong()};
    if (p.path.isEmpty() || p.format == AudioFormat::Unknown || p.oldSize < 0 || p.newSize < 0 ||
        !json["changes"].isArray())
        return false;
    qint64 end = 0, size = p.oldSize;
    for (const QJsonValue& v : json["changes"].toArray()) {
        const QJsonObject o = v.toObject();
        auto bytes = [](const QJsonValue& b, QByteArray* out) {
            const auto r = QByteArray::fromBase64Encoding(b.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            *out = *r;
            return b.isString() && r;
        };
        ByteChange c;
        c.offset = static_cast<qint64>(o["offset"].toDouble(-1));
        if (!bytes(o["old"], &c.oldBytes) || !bytes(o["new"], &c.newBytes) || c.offset < end ||
            c.offset + c.oldBytes.size() > p.oldSize)
            return false; // out of order, overlapping or beyond the file
        end = c.offset + c.oldBytes.size();
        size += c.newBytes.size() - c.oldBytes.size();
        p.changes.append(c);
    }
    if (size != p.newSize)
        return false;
    *plan = p;
    return true;
}

} // namespace tunora::tags
