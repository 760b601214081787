// What a tag rewrite must leave, computed from the source bytes by a frame walker of the test's
// own (the tag reader under test is not asked): shared by the rewrite's fuzz target and the
// replay of its findings.
#pragma once

#include "audio/Id3.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringDecoder>
#include <algorithm>

namespace tunora::fuzz {

// The tag written for an input whose first byte is flags: bit 0 gives texts beyond Latin-1.
inline TrackTag RetagTag(unsigned char flags)
{
    TrackTag tag;
    tag.title = (flags & 1) ? QStringLiteral("Titre \u00e9t\u00e9 \u4e2d") : QStringLiteral("Title");
    tag.track = QStringLiteral("3");
    tag.artist = QStringLiteral("Artist");
    tag.album = QStringLiteral("Album");
    tag.year = QStringLiteral("2001");
    tag.comment = QStringLiteral("Tagged By Tunora");
    tag.genre = QStringLiteral("Rock");
    return tag;
}

namespace oracle {

inline quint32 number(const QByteArray& b, qsizetype at, int n)
{
    quint32 v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 256 + quint8(b.at(at + i));
    return v;
}

// The low seven bits of each byte, the first byte highest.
inline quint32 sevenBits(quint32 v)
{
    return (v & 0x7F) | ((v >> 8) & 0x7F) << 7 | ((v >> 16) & 0x7F) << 14 | ((v >> 24) & 0x7F) << 21;
}

// 0xFF 0x00 read as 0xFF; data holding a 0xFF that unsynchronisation would never leave (before
// 0xE0 and up, or last) was not unsynchronised and stays as it is.
inline QByteArray resync(const QByteArray& d)
{
    QByteArray out;
    for (qsizetype i = 0; i < d.size(); ++i) {
        out += d.at(i);
        if (quint8(d.at(i)) != 0xFF)
            continue;
        if (i + 1 == d.size() || quint8(d.at(i + 1)) >= 0xE0)
            return d;
        if (d.at(i + 1) == 0)
            ++i;
    }
    return out;
}

inline bool frameId(const QByteArray& id)
{
    return std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// The frame IDs of ID3v2.3 and v2.4.
inline bool known(const QByteArray& id)
{
    static const QSet<QByteArray> ids = [] {
        const QList<QByteArray> l = QByteArray(
            "AENC APIC ASPI CHAP COMM COMR CTOC ENCR EQU2 ETCO GEOB GRID GRP1 IPLS LINK MCDI MLLT MVIN MVNM OWNE PCNT "
            "PCST POPM POSS PRIV RBUF RVA2 RVAD RVRB SEEK SIGN SYLT SYTC TALB TBPM TCAT TCMP TCOM TCON TCOP TDAT TDEN "
            "TDES TDLY TDOR TDRC TDRL TDTG TENC TEXT TFLT TGID TIME TIPL TIT1 TIT2 TIT3 TKEY TKWD TLAN TLEN TMCL TMED "
            "TMOO TOAL TOFN TOLY TOPE TORY TOWN TPE1 TPE2 TPE3 TPE4 TPOS TPRO TPUB TRCK TRDA TRSN TRSO TSIZ TSO2 TSOA "
            "TSOC TSOP TSOT TSRC TSSE TSST TXXX TYER UFID USER USLT WCOM WCOP WFED WOAF WOAR WOAS WORS WPAY WPUB WXXX")
                                       .split(' ');
        return QSet<QByteArray>(l.begin(), l.end());
    }();
    return ids.contains(id);
}

// v2.2 IDs whose frames v2.3 holds byte for byte under another ID.
inline QByteArray plainV22(const QByteArray& id)
{
    static const QHash<QByteArray, QByteArray> m {
        {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"MCI", "MCDI"}, {"MLL", "MLLT"},
        {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"STC", "SYTC"}, {"UFI", "UFID"}, {"WAF", "WOAF"},
        {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"}, {"WPB", "WPUB"}};
    return m.value(id);
}

// v2.2 IDs that become v2.3 frames only through a conversion of their fields.
inline bool convertedV22(const QByteArray& id)
{
    static const QSet<QByteArray> ids = [] {
        const QList<QByteArray> l = QByteArray(
            "COM GEO GP1 IPL MVI MVN PIC SLT TXX ULT WXX TAL TBP TCM TCO TCP TCR TDA TDY TEN TFT TIM TKE TLA TLE TMT "
            "TOA TOF TOL TOR TOT TP1 TP2 TP3 TP4 TPA TPB TRC TRD TRK TS2 TSA TSC TSI TSP TSS TST TT1 TT2 TT3 TXT TYE")
                                       .split(' ');
        return QSet<QByteArray>(l.begin(), l.end());
    }();
    return ids.contains(id);
}

// The frames the seven replace whatever their form.
inline bool replacedById(const QByteArray& id)
{
    static const QSet<QByteArray> ids {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TRCK",
                                       "TT2",  "TP1",  "TAL",  "TYE",  "TCO",  "TRK"};
    return ids.contains(id);
}

// A v2.3 frame's COMM in English described "Comments" (the seven's comment), read as the tag's
// readers decode texts.
inline bool theSevensComment(const QByteArray& frame)
{
    const QByteArray d = frame.mid(10);
    if (frame.left(4) != "COMM" || (quint8(frame.at(9)) & 0xE0) || d.size() < 5 || d.mid(1, 3) != "eng")
        return false;
    const char e = d.at(0);
    QByteArray raw = d.mid(4);
    auto decoding = QStringConverter::Utf8;
    if (e == 1 || e == 2) {
        qsizetype end = 0;
        while (end + 1 < raw.size() && !(raw.at(end) == 0 && raw.at(end + 1) == 0))
            end += 2;
        raw.truncate(end + 1 < raw.size() ? end : raw.size());
        decoding = e == 2 || raw.startsWith("\xFE\xFF") ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
        if (e == 1 && (raw.startsWith("\xFE\xFF") || raw.startsWith("\xFF\xFE")))
            raw.remove(0, 2);
    } else {
        raw.truncate(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0'));
        if (e == 0)
            return QString::fromLatin1(raw) == QLatin1String("Comments");
    }
    QStringDecoder decode(decoding, QStringConverter::Flag::Stateless);
    return QString(decode(raw)) == QLatin1String("Comments");
}

// A v2.4 tag's frame sizes are plain numbers when reading them so finds more known frames (or
// as many, ending closer to the tag's end); syncsafe otherwise.
inline bool plainV24Sizes(const QByteArray& b)
{
    auto walk = [&](bool safe, int& found) -> qint64 {
        qint64 o = 0;
        while (o < b.size() - 10) {
            if (b.mid(o, 10).count('\0') == 10)
                return -((b.size() - o) % 10);
            const quint32 n = number(b, o + 4, 4);
            found += known(b.mid(o, 4));
            o += 10 + qint64(safe ? sevenBits(n) : n);
        }
        return std::min<qint64>(o - b.size(), 1 << 30);
    };
    int safeFound = 0, plainFound = 0;
    const qint64 safeEnd = walk(true, safeFound), plainEnd = walk(false, plainFound);
    return plainFound > safeFound || (plainFound == safeFound && safeEnd >= 1 && plainEnd <= 1);
}

// What the old tag leaves in the new one: every frame when all of them are known here
// (complete), else those v2.3 takes byte for byte.
struct Kept {
    QList<QByteArray> frames;
    bool complete = true;
};

inline QByteArray v23Frame(const QByteArray& id, const QByteArray& data)
{
    const quint32 n = quint32(data.size());
    return id + char(n >> 24) + char(n >> 16) + char(n >> 8) + char(n) + QByteArray(2, '\0') + data;
}

inline Kept keptOf(const QByteArray& tag)
{
    Kept k;
    const int major = quint8(tag.at(3));
    const quint8 flags = quint8(tag.at(5));
    if (major < 2 || major > 4 || (major == 2 && (flags & 0x40)))
        return k; // nothing of a tag of an unknown version, or of a compressed v2.2 one
    QByteArray body = tag.mid(10, sevenBits(number(tag, 6, 4)));
    if (major < 4 && (flags & 0x80))
        body = resync(body);
    if (major > 2 && (flags & 0x40) && body.size() >= 4 && !known(body.left(4))) {
        const quint32 n = number(body, 0, 4);
        body = body.mid(major == 4 ? qint64(sevenBits(n)) : 4 + qint64(n));
    }
    const int head = major == 2 ? 6 : 10, idSize = major == 2 ? 3 : 4;
    const bool plain = major == 4 && plainV24Sizes(body);
    for (qint64 at = 0; at + head <= body.size();) {
        const QByteArray id = body.mid(at, idSize);
        if (id.count('\0') == idSize)
            break;
        quint32 size = number(body, at + idSize, idSize);
        if (major == 4 && !plain)
            size = sevenBits(size);
        if (at + head + qint64(size) > body.size())
            break;
        const QByteArray frame = body.mid(at, head + size), data = frame.mid(head);
        at += head + qint64(size);
        if (size == 0 || !frameId(id))
            continue;
        if (major == 3) {
            if (!replacedById(id) && !theSevensComment(frame))
                k.frames << frame;
            continue;
        }
        if (major == 2) {
            if (!plainV22(id).isEmpty())
                k.frames << v23Frame(plainV22(id), data);
            else if (convertedV22(id) && !replacedById(id))
                k.complete = false;
            continue;
        }
        const quint8 format = quint8(frame.at(9));
        if (!known(id) || (format & 0x04) || replacedById(id))
            continue;
        static const QSet<QByteArray> gone {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN", "TDRL",
                                            "TDTG", "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};
        static const QSet<QByteArray> fielded {"WXXX", "COMM", "USLT", "APIC", "GEOB", "USER", "OWNE",
                                               "COMR", "SYLT", "IPLS", "GRP1", "MVIN", "MVNM", "CHAP", "CTOC"};
        if (gone.contains(id))
            continue;
        if ((format & 0x49) || id.startsWith('T') || fielded.contains(id)) {
            k.complete = false; // grouped, compressed, behind a length, or fields to convert
            continue;
        }
        k.frames << v23Frame(id, (format & 0x02) || (flags & 0x80) ? resync(data) : data);
    }
    return k;
}

} // namespace oracle

// The rewrite of a source: the new tag (the seven frames, then what the old first tag keeps),
// then the source behind that tag (a valid header, the bytes its size field counts and an
// ID3v2.4 footer), then with withV1 the new ID3v1 tag in place of any old one.
struct RetagExpectation {
    QByteArray whole;               // the whole file, when every kept frame is known
    QByteArray seven;               // the seven frames
    QList<QByteArray> keptInOrder;  // frames the new tag must keep, in this order, among others
    QByteArray behind;              // what follows the new tag
};

inline RetagExpectation ExpectRetag(const QByteArray& source, const TrackTag& tag, bool withV1)
{
    RetagExpectation e;
    qint64 from = 0;
    if (source.size() > 10 && source.startsWith("ID3") &&
        std::none_of(source.begin() + 6, source.begin() + 10, [](char c) { return quint8(c) & 0x80; })) {
        from = 10 + qint64(oracle::sevenBits(oracle::number(source, 6, 4)));
        if (from > source.size())
            from = 0;
        else if (quint8(source.at(3)) == 4 && (quint8(source.at(5)) & 0x10))
            from = std::min<qint64>(from + 10, source.size());
    }
    qint64 to = source.size();
    if (withV1 && to > 130 && source.mid(to - 128, 3) == "TAG")
        to -= 128;
    const oracle::Kept kept = from ? oracle::keptOf(source.left(from)) : oracle::Kept {};
    from = std::min(from, to);
    e.behind = source.mid(from, to - from);
    if (withV1)
        e.behind += QByteArray("TAG") + BuildID3v1(tag);
    const QByteArray built = BuildID3v2(tag); // the seven, checked against mutagen elsewhere
    e.seven = built.mid(10, built.size() - 11);
    e.keptInOrder = kept.frames;
    if (kept.complete) {
        const QByteArray frames = e.seven + kept.frames.join() + '\0';
        const quint32 n = quint32(frames.size());
        e.whole = QByteArray("ID3\x03\0\0", 6) + char(n >> 21 & 0x7F) + char(n >> 14 & 0x7F) + char(n >> 7 & 0x7F) +
                  char(n & 0x7F) + frames + e.behind;
    }
    return e;
}

// Empty when out is what e expects, else what differs.
inline QString RetagMismatch(const QByteArray& out, const RetagExpectation& e)
{
    if (!e.whole.isEmpty())
        return out == e.whole ? QString() : QStringLiteral("not the expected file");
    if (out.size() < 10 || !out.startsWith(QByteArray("ID3\x03\0\0", 6)))
        return QStringLiteral("no v2.3 tag in front");
    const qint64 end = 10 + qint64(oracle::sevenBits(oracle::number(out, 6, 4)));
    if (out.mid(end) != e.behind)
        return QStringLiteral("the bytes behind the tag differ");
    if (out.mid(10, e.seven.size()) != e.seven)
        return QStringLiteral("the seven frames are not first");
    qsizetype want = 0;
    qint64 at = 10 + e.seven.size();
    while (at + 10 <= end - 1) {
        const qint64 size = oracle::number(out, at + 4, 4);
        if (at + 10 + size > end - 1 || !oracle::frameId(out.mid(at, 4)))
            return QStringLiteral("a damaged frame at %1").arg(at);
        if (want < e.keptInOrder.size() && out.mid(at, 10 + size) == e.keptInOrder.at(want))
            ++want;
        at += 10 + size;
    }
    if (at != end - 1 || out.at(at) != 0)
        return QStringLiteral("not one byte of padding behind the frames");
    return want == e.keptInOrder.size() ? QString() : QStringLiteral("a frame of the old tag went missing");
}

} // namespace tunora::fuzz
