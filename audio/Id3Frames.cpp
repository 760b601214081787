#include "audio/Id3Frames.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QtEndian>
#include <zlib.h>

namespace tunora {

namespace {

quint32 bigEndian(const QByteArray& b, qsizetype at, int n)
{
    quint32 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | static_cast<quint8>(b.at(at + i));
    return v;
}

// Seven bits of each of the four bytes.
quint32 syncsafe(quint32 v)
{
    return ((v >> 3) & 0x0FE00000) | ((v >> 2) & 0x001FC000) | ((v >> 1) & 0x00003F80) | (v & 0x7F);
}

QByteArray syncsafeBytes(quint32 v)
{
    const char b[4] = {char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
    return QByteArray(b, 4);
}

bool validId(const QByteArray& id)
{
    for (const char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

// Undoes unsynchronisation (0xFF 0x00 -> 0xFF); data that was never unsynchronised comes back
// unchanged, as mutagen reads it.
QByteArray deunsync(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto c = static_cast<quint8>(data.at(i));
        out.append(static_cast<char>(c));
        if (c != 0xFF)
            continue;
        if (i + 1 >= data.size() || static_cast<quint8>(data.at(i + 1)) >= 0xE0 ||
            static_cast<quint8>(data.at(i + 1)) == 0xFF)
            return data;
        if (data.at(i + 1) == '\0')
            ++i;
    }
    return out;
}

const QSet<QByteArray>& knownIds()
{
    static const QSet<QByteArray> ids = [] {
        QSet<QByteArray> s;
        for (const QByteArray& id : QByteArray(
                 "AENC APIC ASPI CHAP COMM COMR CTOC ENCR EQU2 ETCO GEOB GRID GRP1 IPLS LINK MCDI MLLT MVIN MVNM OWNE "
                 "PCNT PCST POPM POSS PRIV RBUF RVA2 RVAD RVRB SEEK SIGN SYLT SYTC TALB TBPM TCAT TCMP TCOM TCON TCOP "
                 "TDAT TDEN TDES TDLY TDOR TDRC TDRL TDTG TENC TEXT TFLT TGID TIME TIPL TIT1 TIT2 TIT3 TKEY TKWD TLAN "
                 "TLEN TMCL TMED TMOO TOAL TOFN TOLY TOPE TORY TOWN TPE1 TPE2 TPE3 TPE4 TPOS TPRO TPUB TRCK TRDA TRSN "
                 "TRSO TSIZ TSO2 TSOA TSOC TSOP TSOT TSRC TSSE TSST TXXX TYER UFID USER USLT WCOM WCOP WFED WOAF WOAR "
                 "WOAS WORS WPAY WPUB WXXX")
                 .split(' '))
            s.insert(id);
        return s;
    }();
    return ids;
}

// v2.2 frame IDs and the v2.3 frames they become (CRM and LNK have none that v2.3 can hold).
QByteArray v22To23(const QByteArray& id)
{
    static const QHash<QByteArray, QByteArray> map = [] {
        QHash<QByteArray, QByteArray> m;
        for (const QByteArray& pair : QByteArray(
                 "BUF:RBUF CNT:PCNT COM:COMM CRA:AENC ETC:ETCO GEO:GEOB GP1:GRP1 IPL:IPLS MCI:MCDI MLL:MLLT MVI:MVIN "
                 "MVN:MVNM PIC:APIC POP:POPM REV:RVRB RVA:RVAD SLT:SYLT STC:SYTC TAL:TALB TBP:TBPM TCM:TCOM TCO:TCON "
                 "TCP:TCMP TCR:TCOP TDA:TDAT TDY:TDLY TEN:TENC TFT:TFLT TIM:TIME TKE:TKEY TLA:TLAN TLE:TLEN TMT:TMED "
                 "TOA:TOPE TOF:TOFN TOL:TOLY TOR:TORY TOT:TOAL TP1:TPE1 TP2:TPE2 TP3:TPE3 TP4:TPE4 TPA:TPOS TPB:TPUB "
                 "TRC:TSRC TRD:TRDA TRK:TRCK TS2:TSO2 TSA:TSOA TSC:TSOC TSI:TSIZ TSP:TSOP TSS:TSSE TST:TSOT TT1:TIT1 "
                 "TT2:TIT2 TT3:TIT3 TXT:TEXT TXX:TXXX TYE:TYER UFI:UFID ULT:USLT WAF:WOAF WAR:WOAR WAS:WOAS WCM:WCOM "
                 "WCP:WCOP WPB:WPUB WXX:WXXX")
                 .split(' '))
            m.insert(pair.left(3), pair.mid(4));
        return m;
    }();
    return map.value(id);
}

// Frames of ID3v2.4 that v2.3 has no place for.
bool v24Only(const QByteArray& id)
{
    static const QSet<QByteArray> ids {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN", "TDRL", "TDTG", "TMOO",
                                       "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};
    return ids.contains(id);
}

// Reads the encoded texts of a frame: 0 Latin-1, 1 UTF-16 with byte-order mark, 2 UTF-16BE,
// 3 UTF-8. A text that cannot be decoded makes the frame unreadable.
struct TextReader {
    const QByteArray& data;
    qsizetype pos;
    int encoding;
    bool ok = true;

    bool atEnd() const { return pos >= data.size(); }
    // One text up to its terminator (or the end).
    QString text()
    {
        const bool wide = encoding == 1 || encoding == 2;
        qsizetype end = pos;
        if (wide) {
            while (end + 1 < data.size() && !(data.at(end) == '\0' && data.at(end + 1) == '\0'))
                end += 2;
            if (end + 1 >= data.size())
                end = data.size();
        } else {
            end = data.indexOf('\0', pos);
            if (end < 0)
                end = data.size();
        }
        QByteArray raw = data.mid(pos, end - pos);
        pos = std::min(end + (wide ? 2 : 1), data.size());
        if (encoding == 0)
            return QString::fromLatin1(raw);
        auto e = QStringConverter::Utf8;
        if (encoding == 1) {
            e = QStringConverter::Utf16LE;
            if (raw.startsWith("\xFE\xFF"))
                e = QStringConverter::Utf16BE;
            if (raw.startsWith("\xFE\xFF") || raw.startsWith("\xFF\xFE"))
                raw.remove(0, 2);
        } else if (encoding == 2) {
            e = QStringConverter::Utf16BE;
        }
        QStringDecoder decode(e, QStringConverter::Flag::Stateless);
        const QString s = decode(raw);
        if (decode.hasError() || (wide && raw.size() % 2))
            ok = false;
        return s;
    }
    // Texts up to the end of the frame; zero padding of an old tag is no text.
    QStringList texts(bool oldTag)
    {
        QStringList out;
        while (!atEnd() && ok) {
            out << text();
            if (oldTag && data.mid(pos).count('\0') == data.size() - pos)
                break;
        }
        return out;
    }
};

// A text in a v2.3 encoding: Latin-1 stays, anything else becomes UTF-16 with byte-order mark.
QByteArray encoded(const QString& s, int encoding, bool terminated)
{
    QByteArray out;
    if (encoding == 0) {
        out = s.toLatin1();
    } else {
        out = QByteArray("\xFF\xFE", 2);
        for (const QChar c : s)
            out.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    }
    if (terminated)
        out.append(encoding == 0 ? 1 : 2, '\0');
    return out;
}

int v23Encoding(int encoding)
{
    return encoding == 0 ? 0 : 1;
}

// The data of a v2.2 or v2.4 frame in v2.3 form, read and written field by field after its
// layout: E encoding, l language, 8 eight bytes, B a byte, L Latin-1 text, I picture MIME type,
// 3 a v2.2 picture format, T text, M texts joined by "/", P texts (pairs), S synchronised texts,
// D the rest as it is. False when the frame cannot be read or holds no text.
bool convertFields(const char* layout, const QByteArray& data, bool oldTag, QByteArray& out)
{
    if (data.isEmpty() || static_cast<quint8>(data.at(0)) > 3)
        return false;
    TextReader r {data, 1, data.at(0)};
    const int enc = v23Encoding(r.encoding);
    out = QByteArray(1, static_cast<char>(enc));
    auto raw = [&](qsizetype n) {
        if (r.pos + n > data.size())
            return false;
        out += data.mid(r.pos, n);
        r.pos += n;
        return true;
    };
    auto latin1 = [&] {
        const qsizetype end = data.indexOf('\0', r.pos);
        const QByteArray s = data.mid(r.pos, end < 0 ? -1 : end - r.pos);
        r.pos = end < 0 ? data.size() : end + 1;
        return s;
    };
    for (const char* f = layout + 1; *f; ++f) {
        switch (*f) {
        case 'l':
        case '8':
        case 'B':
            if (!raw(*f == 'l' ? 3 : *f == '8' ? 8 : 1))
                return false;
            break;
        case 'L':
            out += latin1() + '\0';
            break;
        case 'I':
        case '3': {
            QByteArray mime = *f == 'I' ? latin1() : data.mid(r.pos, 3);
            if (*f == '3')
                r.pos += 3;
            if (mime == "JPG" || mime == "PNG")
                mime = "image/" + QByteArray(mime == "JPG" ? "jpeg" : "png");
            out += mime + '\0';
            break;
        }
        case 'T':
            if (r.atEnd())
                return false;
            out += encoded(r.text(), enc, true);
            break;
        case 'M': {
            const QStringList values = r.texts(oldTag);
            // As a text frame: one holding no text is not written.
            if (values.join(QChar(0)).isEmpty())
                return false;
            out += encoded(values.join('/'), enc, false);
            break;
        }
        case 'P':
            for (const QString& s : r.texts(oldTag))
                out += encoded(s, enc, true);
            break;
        case 'S':
            while (!r.atEnd() && r.ok) {
                out += encoded(r.text(), enc, true);
                if (!raw(4))
                    return false;
            }
            break;
        case 'D':
            out += data.mid(r.pos);
            r.pos = data.size();
            break;
        }
    }
    return r.ok;
}

// The texts of a frame that holds an encoding byte and texts.
bool readTexts(const QByteArray& data, bool oldTag, QStringList& values)
{
    if (data.isEmpty() || static_cast<quint8>(data.at(0)) > 3)
        return false;
    TextReader r {data, 1, data.at(0)};
    values = r.texts(oldTag);
    return r.ok;
}

const char* layoutOf(const QByteArray& id)
{
    static const QHash<QByteArray, const char*> layouts {
        {"TXXX", "ETM"},    {"WXXX", "ETD"},   {"COMM", "ElTM"},  {"USLT", "ElTT"},     {"APIC", "EIBTD"},
        {"GEOB", "ELTTD"},  {"USER", "ElT"},   {"OWNE", "EL8T"},  {"COMR", "EL8LBTTD"}, {"SYLT", "ElBBTS"},
        {"IPLS", "EP"},     {"GRP1", "EM"},    {"MVIN", "EM"},
        {"MVNM", "EM"},    {"PIC", "E3BTD"},
    };
    if (const char* l = layouts.value(id))
        return l;
    return id.startsWith('T') ? "EM" : nullptr;
}

// Frames a v2.3 tag takes byte for byte from a v2.4 one.
bool keptAsIs(const QByteArray& id)
{
    return !v24Only(id) && !layoutOf(id) && id != "CHAP" && id != "CTOC";
}

// The year, month, day, hour and minute of an ID3v2.4 time stamp (0 where missing).
QList<int> timeStamp(const QString& text)
{
    static const QRegularExpression split(QStringLiteral("[-T:/.]|\\s+"));
    QList<int> parts;
    const QStringList fields = (text + QStringLiteral(":::::")).split(split);
    for (int i = 0; i < 5; ++i)
        parts << fields.value(i).toInt();
    return parts;
}

struct Source {
    QByteArray id;   // v2.3 ID (v2.2 IDs already mapped)
    QByteArray data; // decoded: no unsynchronisation, compression or group byte
    bool packed = false; // data is still compressed, its inflated size in front (v2.3 form)
};

// A few bytes of zlib data can claim gigabytes: one frame inflates to this at most, and all
// frames of a tag (chapters' included) together to kTagInflateBudget.
constexpr qsizetype kMaxInflated = 16 << 20;
constexpr qsizetype kTagInflateBudget = 64 << 20;

enum class Inflated { Done, Damaged, TooLarge };

// Inflates zlib data into out, stopping once it would pass limit bytes.
Inflated inflateAtMost(const QByteArray& packed, qsizetype limit, QByteArray& out)
{
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        return Inflated::Damaged;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = static_cast<uInt>(packed.size());
    out.clear();
    char chunk[16384];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        const qsizetype got = qsizetype(sizeof chunk) - z.avail_out;
        if (out.size() + got > limit) {
            inflateEnd(&z);
            out.clear();
            return Inflated::TooLarge;
        }
        out.append(chunk, got);
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END ? Inflated::Done : Inflated::Damaged;
}

QList<QByteArray> framesAsV23(const QByteArray& tag, int depth, qsizetype& budget);

// The fields of a chapter (CHAP) or table of contents (CTOC) in front of its own frames;
// -1 when they do not fit.
qsizetype chapterFields(const QByteArray& id, const QByteArray& data)
{
    qsizetype at = data.indexOf('\0') + 1;
    if (at == 0)
        return -1;
    if (id == "CHAP")
        return at + 16 <= data.size() ? at + 16 : -1; // start and end times and offsets
    if (at + 2 > data.size())
        return -1;
    int children = static_cast<quint8>(data.at(at + 1)); // after the flags byte
    at += 2;
    while (children-- > 0) {
        at = data.indexOf('\0', at) + 1;
        if (at == 0)
            return -1;
    }
    return at;
}

// v2.4 and v2.2 frames in v2.3 form, with the tag-wide conversions of update_to_v23().
QList<QByteArray> convert(const QList<Source>& frames, bool oldTag, int depth, qsizetype& budget)
{
    QSet<QByteArray> present;
    for (const Source& f : frames)
        present.insert(f.id);
    QList<QByteArray> out;
    bool peopleDone = false;
    for (const Source& f : frames) {
        if (f.packed) {
            QByteArray frame = ID3v23Frame(f.id.constData(), f.data);
            frame[9] = char(0x80); // compressed
            out << frame;
            continue;
        }
        QByteArray data;
        const int enc = v23Encoding(f.data.isEmpty() ? 0 : f.data.at(0));
        auto add = [&](const char* id, const QString& text) {
            if (!present.contains(id))
                out << ID3v23Frame(id, QByteArray(1, char(enc)) + encoded(text, enc, false));
        };
        if (f.id == "TDRC" || f.id == "TDOR") {
            // The year (and for TDRC day, month, hour and minute) in the v2.3 frames.
            QStringList values;
            if (!readTexts(f.data, oldTag, values) || values.isEmpty())
                continue;
            const QList<int> t = timeStamp(values.first());
            auto two = [](int v) { return QString::number(v).rightJustified(2, '0'); };
            if (t[0])
                add(f.id == "TDOR" ? "TORY" : "TYER", QString::number(t[0]).rightJustified(4, '0'));
            if (f.id == "TDRC" && t[1] && t[2])
                add("TDAT", two(t[2]) + two(t[1]));
            if (f.id == "TDRC" && t[3] && t[4])
                add("TIME", two(t[3]) + two(t[4]));
            continue;
        }
        if (f.id == "TIPL" || f.id == "TMCL") {
            // Both lists of people become one IPLS, in the encoding of the last, unless the
            // tag has one.
            if (peopleDone || present.contains("IPLS"))
                continue;
            peopleDone = true;
            QStringList people;
            int last = 0;
            for (const char* id : {"TIPL", "TMCL"})
                for (const Source& g : frames) {
                    QStringList values;
                    if (g.id == id && readTexts(g.data, oldTag, values)) {
                        people << values;
                        last = v23Encoding(g.data.at(0));
                    }
                }
            QByteArray ipls(1, char(last));
            for (const QString& p : people)
                ipls += encoded(p, last, true);
            out << ID3v23Frame("IPLS", ipls);
            continue;
        }
        if (f.id == "CHAP" || f.id == "CTOC") {
            // A chapter's own frames are converted as the tag's; chapters nest a few deep at most.
            const qsizetype at = chapterFields(f.id, f.data);
            if (at < 0 || depth >= 4)
                continue;
            const QByteArray inner = f.data.mid(at);
            QByteArray chapter = f.data.left(at);
            for (const QByteArray& g : framesAsV23(QByteArray("ID3\x04\0\0", 6) + syncsafeBytes(inner.size()) + inner,
                                                   depth + 1, budget))
                chapter += g;
            out << ID3v23Frame(f.id.constData(), chapter);
            continue;
        }
        if (v24Only(f.id))
            continue;
        const char* layout = layoutOf(f.id);
        if (!layout) {
            out << ID3v23Frame(f.id.constData(), f.data);
            continue;
        }
        if (convertFields(layout, f.data, oldTag, data))
            out << ID3v23Frame(f.id == "PIC" ? "APIC" : f.id.constData(), data);
    }
    return out;
}

// mutagen's choice for v2.4 frame sizes: syncsafe, unless plain numbers find more frames.
bool plainSizes(const QByteArray& data)
{
    auto walk = [&](bool safe, int& found) -> int {
        qsizetype o = 0;
        while (o < data.size() - 10) {
            if (data.mid(o, 10).count('\0') == 10)
                return static_cast<int>(-((data.size() - o) % 10));
            quint32 size = bigEndian(data, o + 4, 4);
            if (safe)
                size = syncsafe(size);
            const QByteArray id = data.mid(o, 4);
            // Widened: a size near 4 GiB must not wrap the sum and hold the walk in place.
            o += 10 + qsizetype(size);
            if (knownIds().contains(id))
                ++found;
        }
        return static_cast<int>(std::min<qsizetype>(o - data.size(), 1 << 30));
    };
    int asSafe = 0, asPlain = 0;
    const int safeOff = walk(true, asSafe);
    const int plainOff = walk(false, asPlain);
    return asPlain > asSafe || (asPlain == asSafe && safeOff >= 1 && plainOff <= 1);
}

} // namespace

QByteArray ID3v23Frame(const char* id, const QByteArray& data)
{
    QByteArray out(id, 4);
    char size[4];
    qToBigEndian(static_cast<quint32>(data.size()), size);
    return out + QByteArray(size, 4) + QByteArray(2, '\0') + data;
}

QByteArray ID3v2FrontCoverFrame(const QByteArray& image)
{
    QByteArray mime("image/");
    if (image.startsWith("\xFF\xD8\xFF"))
        mime += "jpeg";
    else if (image.startsWith("\x89PNG\r\n\x1A\n"))
        mime += "png";
    else if (image.startsWith("GIF87a") || image.startsWith("GIF89a"))
        mime += "gif";
    else if (image.startsWith("BM"))
        mime += "bmp";
    else if (image.startsWith("RIFF") && image.mid(8, 4) == "WEBP")
        mime += "webp";
    return ID3v23Frame("APIC", '\0' + mime + QByteArray("\0\x03\0", 3) + image);
}

QList<QByteArray> ID3v2FramesAsV23(const QByteArray& tag)
{
    qsizetype budget = kTagInflateBudget;
    return framesAsV23(tag, 0, budget);
}

namespace {

QList<QByteArray> framesAsV23(const QByteArray& tag, int depth, qsizetype& budget)
{
    if (tag.size() < 10 || !tag.startsWith("ID3"))
        return {};
    const int major = static_cast<quint8>(tag.at(3));
    const auto flags = static_cast<quint8>(tag.at(5));
    const bool unsync = flags & 0x80;
    QByteArray body = tag.mid(10, syncsafe(bigEndian(tag, 6, 4)));
    if (major < 2 || major > 4 || (major == 2 && (flags & 0x40)))
        return {}; // unknown versions and compressed v2.2 tags are not read
    if (major < 4 && unsync)
        body = deunsync(body);
    qsizetype pos = 0;
    if (major > 2 && (flags & 0x40) && body.size() >= 4 && !knownIds().contains(body.left(4))) {
        const quint32 ext = bigEndian(body, 0, 4);
        pos = major == 4 ? syncsafe(ext) : 4 + qsizetype(ext);
    }
    body = body.mid(pos);

    QList<QByteArray> copied;
    QList<Source> sources;
    const int headerSize = major == 2 ? 6 : 10;
    const bool plain = major == 4 && plainSizes(body);
    for (pos = 0; pos + headerSize <= body.size();) {
        QByteArray id = body.mid(pos, major == 2 ? 3 : 4);
        if (id.count('\0') == id.size())
            break; // padding
        quint32 size = bigEndian(body, pos + (major == 2 ? 3 : 4), major == 2 ? 3 : 4);
        if (major == 4 && !plain)
            size = syncsafe(size);
        const qsizetype at = pos;
        pos += headerSize + qsizetype(size);
        if (pos > body.size())
            break; // cut short: nothing of it is kept
        if (size == 0 || !validId(id))
            continue;
        QByteArray data = body.mid(at + headerSize, size);
        if (major == 3) {
            copied << body.mid(at, headerSize + size);
            continue;
        }
        if (major == 2) {
            id = id == "PIC" ? id : v22To23(id);
            if (id.isEmpty())
                continue;
        } else {
            const auto format = static_cast<quint8>(body.at(at + 9));
            if (!knownIds().contains(id) || (format & 0x04))
                continue; // unknown to v2.3 readers, or encrypted
            if (format & 0x40)
                data.remove(0, 1); // group
            quint32 length = 0;
            if ((format & 0x09) && data.size() >= 4) {
                length = syncsafe(bigEndian(data, 0, 4));
                data.remove(0, 4); // data length
            }
            if ((format & 0x02) || unsync)
                data = deunsync(data);
            if (format & 0x08) {
                // No more than the data-length indicator announces, nor than the limits allow.
                const qsizetype limit = std::min({qsizetype(length), kMaxInflated, budget});
                QByteArray inflated;
                const Inflated result = inflateAtMost(data, limit, inflated);
                if (result == Inflated::TooLarge && length > 0 && keptAsIs(id)) {
                    // v2.3 holds it compressed as it is, behind its inflated size.
                    char size4[4];
                    qToBigEndian(length, size4);
                    sources << Source {id, QByteArray(size4, 4) + data, true};
                    continue;
                }
                if (result != Inflated::Done || inflated.isEmpty())
                    continue; // damaged, or too large for v2.3 to take in another form
                budget -= inflated.size();
                data = inflated;
            }
        }
        sources << Source {id, data};
    }
    return major == 3 ? copied : convert(sources, major == 2, depth, budget);
}

} // namespace

QByteArray ID3v2FrameKey(const QByteArray& frame)
{
    const QByteArray id = frame.left(4);
    const QByteArray data = frame.mid(10);
    const bool packed = frame.size() >= 10 && (frame.at(9) & 0xE0); // compressed, encrypted, grouped
    const bool lang = id == "COMM" || id == "USLT";
    if (!packed && !data.isEmpty() && (lang || id == "TXXX" || id == "WXXX")) {
        TextReader r {data, lang ? 4 : 1, data.at(0)};
        const QString desc = r.atEnd() ? QString() : r.text();
        return id + (lang ? data.mid(1, 3) : QByteArray()) + ':' + desc.toUtf8();
    }
    if (!packed && id == "APIC") {
        const qsizetype end = data.indexOf('\0', 1);
        return id + ':' + (end > 0 ? data.mid(end + 1, 1) : QByteArray());
    }
    return packed && (lang || id == "TXXX" || id == "WXXX" || id == "APIC") ? id + ":?" : id;
}

} // namespace tunora
