// MP3 through Tunora's own ID3 code: the same seven frames, the same ID3v1 bytes and the
// same kept frames as the album page writes, worked out as a plan instead of written.
#include "tags/FormatTags.h"

#include "audio/Id3.h"
#include "audio/Id3Frames.h"
#include "audio/Mp3Length.h"
#include "dorvane/FileIo.h"
#include "shell/core/Genres.h"

#include <QFile>
#include <cerrno>
#include <cstring>

namespace tunora::tags::detail {

namespace {

constexpr qint64 kV1Size = 128;
constexpr qint64 kMaxTag = 64 * 1024 * 1024 + 20;

bool fail(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

// The text of an ID3v2 text: up to its first terminator.
QString decodeId3(char encoding, const QByteArray& data, qsizetype* used = nullptr)
{
    qsizetype end = 0;
    QString s;
    if (encoding == 1 || encoding == 2) {
        bool big = encoding == 2;
        qsizetype at = 0;
        if (encoding == 1 && data.size() >= 2) {
            const auto b0 = static_cast<quint8>(data[0]), b1 = static_cast<quint8>(data[1]);
            if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
                big = b0 == 0xFE;
                at = 2;
            }
        }
        end = at;
        while (end + 1 < data.size() && (data[end] != '\0' || data[end + 1] != '\0'))
            end += 2;
        for (qsizetype i = at; i + 1 < end + 1 && i + 1 < data.size(); i += 2) {
            const auto hi = static_cast<quint8>(data[big ? i : i + 1]);
            const auto lo = static_cast<quint8>(data[big ? i + 1 : i]);
            s.append(QChar(static_cast<char16_t>(hi << 8 | lo)));
        }
        if (used)
            *used = std::min(data.size(), end + 2);
        return s;
    }
    end = data.indexOf('\0');
    if (end < 0)
        end = data.size();
    if (used)
        *used = std::min(data.size(), end + 1);
    const QByteArray text = data.left(end);
    return encoding == 3 ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

// A v2.3 frame's data, unpacked; empty for an encrypted frame.
QByteArray frameData(const QByteArray& frame)
{
    const auto flags = static_cast<quint8>(frame[9]);
    QByteArray data = frame.mid(10);
    if (flags & 0x40)
        return {};
    qsizetype skip = (flags & 0x80 ? 4 : 0) + (flags & 0x20 ? 1 : 0);
    if (data.size() < skip)
        return {};
    if (flags & 0x80)
        return qUncompress(data.left(4) + data.mid(skip));
    return data.mid(skip);
}

// "(17)", "17", "(17)Rock" and "Rock" as the genre's name.
QString genreText(const QString& tcon)
{
    QString t = tcon;
    if (t.startsWith(u'(')) {
        const qsizetype close = t.indexOf(u')');
        if (close > 0 && close + 1 < t.size())
            return t.mid(close + 1);
        if (close > 0)
            t = t.mid(1, close - 1);
    }
    bool number = false;
    const int n = t.toInt(&number);
    if (number && n >= 0 && n < GenreTable().size())
        return GenreTable().at(n);
    return tcon;
}

struct Mp3State {
    qint64 size = 0;
    QByteArray v2; // the first ID3v2 tag, footer included
    QByteArray v1; // the last 128 bytes when they are an ID3v1 tag
    TrackTag texts; // the seven texts as found (ID3v2, else ID3v1)
    bool hasComment = false;
    TagFields fields;
};

QString v1Text(const QByteArray& b)
{
    QByteArray t = b;
    const qsizetype zero = t.indexOf('\0');
    if (zero >= 0)
        t.truncate(zero);
    return QString::fromLatin1(t).trimmed();
}

bool readState(const QString& path, Mp3State* st, QString* why)
{
    QFile f;
    if (!dorvane::io::OpenForReading(f, path))
        return fail(why, errno == ENOENT ? QStringLiteral("no such file")
                                         : QString::fromLocal8Bit(std::strerror(errno)));
    st->size = f.size();
    const QByteArray head = f.read(10);
    const qint64 total = ID3v2TotalSize(head, st->size);
    if (total > kMaxTag)
        return fail(why, QStringLiteral("its ID3v2 tag is too large"));
    if (total > 0) {
        f.seek(0);
        st->v2 = f.read(total);
        if (st->v2.size() != total)
            return fail(why, QStringLiteral("the file changed while it was being read"));
    }
    if (st->size > 130 && f.seek(st->size - kV1Size)) {
        const QByteArray tail = f.read(kV1Size);
        if (tail.size() == kV1Size && tail.startsWith("TAG"))
            st->v1 = tail;
    }

    TagFields& v = st->fields;
    TrackTag& t = st->texts;
    int commentRank = 0;
    for (const QByteArray& frame : ID3v2FramesAsV23(st->v2)) {
        const QByteArray id = frame.left(4);
        const QByteArray data = frameData(frame);
        if (data.isEmpty())
            continue;
        const char enc = data[0];
        const QByteArray rest = data.mid(1);
        auto textFrame = [&](const char* want, QString* into) {
            if (id == want && into->isEmpty())
                *into = decodeId3(enc, rest);
        };
        textFrame("TIT2", &t.title);
        textFrame("TPE1", &t.artist);
        textFrame("TALB", &t.album);
        textFrame("TYER", &t.year);
        textFrame("TCON", &t.genre);
        textFrame("TRCK", &t.track);
        textFrame("TPE2", &v.albumArtist);
        if (id == "TPOS")
            ParseNumberPair(decodeId3(enc, rest), &v.disc, &v.discTotal);
        if (id == "COMM" && rest.size() >= 3) {
            qsizetype used = 0;
            const QString desc = decodeId3(enc, rest.mid(3), &used);
            const QString text = decodeId3(enc, rest.mid(3 + used));
            // The main comment: one without description, else Tunora's own, else any but the
            // copy some programs keep of the ID3v1 comment.
            const int rank = desc.isEmpty() ? 3 : desc == QLatin1String("Comments") ? 2
                             : desc.startsWith(QLatin1String("ID3v1")) ? 0 : 1;
            if (rank > commentRank) {
                t.comment = text;
                st->hasComment = true;
                commentRank = rank;
            }
        }
        if (id == "APIC" && v.cover.isEmpty()) {
            qsizetype used = 0;
            const QString mime = decodeId3('\0', rest, &used);
            if (used < rest.size() && static_cast<quint8>(rest[used]) == 3) {
                qsizetype descUsed = 0;
                decodeId3(enc, rest.mid(used + 1), &descUsed);
                v.cover = {rest.mid(used + 1 + descUsed), mime};
            }
        }
    }
    if (st->v2.isEmpty() && !st->v1.isEmpty()) {
        const QByteArray& b = st->v1;
        t.title = v1Text(b.mid(3, 30));
        t.artist = v1Text(b.mid(33, 30));
        t.album = v1Text(b.mid(63, 30));
        t.year = v1Text(b.mid(93, 4));
        const bool v11 = b[125] == '\0' && b[126] != '\0';
        t.comment = v1Text(b.mid(97, v11 ? 28 : 30));
        st->hasComment = !t.comment.isEmpty();
        if (v11)
            t.track = QString::number(static_cast<quint8>(b[126]));
        const int g = static_cast<quint8>(b[127]);
        if (g < GenreTable().size())
            t.genre = GenreTable().at(g);
    }
    v.title = t.title;
    v.artist = t.artist;
    v.album = t.album;
    v.year = t.year;
    v.comment = t.comment;
    v.genre = genreText(t.genre);
    ParseNumberPair(t.track, &v.track, &v.trackTotal);
    return true;
}

// A text frame's data as Tunora writes it: Latin-1, or UTF-16 with a byte-order mark.
QByteArray textFrameData(const QString& text)
{
    bool latin = true;
    for (const QChar c : text)
        latin = latin && c.unicode() <= 0xFF;
    if (latin)
        return '\0' + text.toLatin1();
    QByteArray out("\1\xFF\xFE", 3);
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

QByteArray syncsafe(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 3; i >= 0; --i, v >>= 7)
        b[i] = static_cast<char>(v & 0x7F);
    return b;
}

bool isMainComment(const QByteArray& frame)
{
    if (frame.left(4) != "COMM")
        return false;
    const QByteArray data = frameData(frame);
    if (data.size() < 4)
        return false;
    return decodeId3(data[0], data.mid(4)).isEmpty();
}

bool isFrontCover(const QByteArray& frame)
{
    if (frame.left(4) != "APIC")
        return false;
    const QByteArray data = frameData(frame);
    const qsizetype zero = data.indexOf('\0', 1);
    return zero > 0 && zero + 1 < data.size() && static_cast<quint8>(data[zero + 1]) == 3;
}

} // namespace

bool ReadMp3File(const QString& path, FileTags* out, QString* why)
{
    Mp3State st;
    if (!readState(path, &st, why))
        return false;
    double ms = 0;
    if (!GetMp3Length(path, ms, why))
        return false;
    out->format = AudioFormat::Mp3;
    out->lengthMs = static_cast<qint64>(ms);
    out->fields = st.fields;
    return true;
}

bool PlanMp3Write(const QString& path, const TagFields& values, Fields fields, const WriteOptions& options,
                  WritePlan* plan, QString* why)
{
    if (!options.id3v1 && !options.id3v2)
        return fail(why, QStringLiteral("no tag requested"));
    Mp3State st;
    if (!readState(path, &st, why))
        return false;
    TrackTag tag = st.texts;
    if (fields & Field::Title)
        tag.title = values.title;
    if (fields & Field::Artist)
        tag.artist = values.artist;
    if (fields & Field::Album)
        tag.album = values.album;
    if (fields & Field::Year)
        tag.year = values.year;
    if (fields & Field::Genre)
        tag.genre = values.genre;
    if (fields & Field::Track)
        tag.track = NumberPairText(values.track, values.trackTotal);
    if (fields & Field::Comment)
        tag.comment = values.comment;
    else if (!st.hasComment)
        tag.comment = options.defaultComment;

    plan->path = path;
    plan->format = AudioFormat::Mp3;
    plan->oldSize = st.size;
    plan->changes.clear();
    const qint64 v1At = st.v1.isEmpty() ? st.size : st.size - kV1Size;
    if (options.id3v2) {
        // What the new tag replaces beyond the seven frames it always writes.
        QList<QByteArray> extra;
        if ((fields & Field::Disc) && values.disc > 0)
            extra << ID3v23Frame("TPOS", '\0' + NumberPairText(values.disc, values.discTotal).toLatin1());
        if ((fields & Field::AlbumArtist) && !values.albumArtist.isEmpty())
            extra << ID3v23Frame("TPE2", textFrameData(values.albumArtist));
        if ((fields & Field::Cover) && !values.cover.isEmpty())
            extra << ID3v2FrontCoverFrame(values.cover.bytes);
        QByteArray old = st.v2;
        const QList<QByteArray> oldFrames = ID3v2FramesAsV23(st.v2);
        QByteArray keptFrames;
        bool dropped = false;
        for (const QByteArray& f : oldFrames) {
            const QByteArray id = f.left(4);
            const bool drop = ((fields & Field::Disc) && id == "TPOS") ||
                              ((fields & Field::AlbumArtist) && id == "TPE2") ||
                              ((fields & Field::Cover) && isFrontCover(f)) ||
                              ((fields & Field::Comment) && isMainComment(f));
            if (drop)
                dropped = true;
            else
                keptFrames += f;
        }
        if (dropped)
            old = QByteArray("ID3\x03\x00\x00", 6) + syncsafe(static_cast<quint32>(keptFrames.size())) + keptFrames;
        QByteArray v2 = BuildID3v2(tag, old, extra);
        if (v2.isEmpty())
            return fail(why, QStringLiteral("the new tag is too large for an ID3v2 tag"));
        // A tag reaching into the ID3v1 tag that is rewritten gives way to it.
        const qint64 v2End = options.id3v1 ? std::min<qint64>(st.v2.size(), v1At) : st.v2.size();
        // The tag fills the old one's room when it fits (the file keeps its size and is written
        // in place); else it gets room for later edits: 1 KiB and 0.1 % of the audio, at most 64 KiB.
        const qint64 frames = v2.size() - 1; // less the one byte of padding BuildID3v2 gives
        const qint64 audio = std::max<qint64>(0, v1At - v2End);
        const qint64 room = v2End == st.v2.size() && frames <= v2End
                                ? v2End
                                : frames + std::min<qint64>(64 * 1024, 1024 + audio / 1000);
        if (options.padding && room - 10 <= 0x0FFFFFFF) {
            v2.resize(room, '\0');
            v2.replace(6, 4, syncsafe(static_cast<quint32>(room - 10)));
        }
        plan->changes.append({0, st.v2.left(v2End), v2});
    }
    if (options.id3v1)
        plan->changes.append({v1At, st.v1, QByteArray("TAG") + BuildID3v1(tag)});
    return true;
}

} // namespace tunora::tags::detail
