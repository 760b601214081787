#include "audio/Mp3Length.h"

#include "audio/Id3.h"
#include "audio/PosixFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace tunora {

namespace {

constexpr qint64 kMinFileSize = 256;
constexpr qint64 kWindow = 64 * 1024;
// Free-format frames run up to 640 kbit/s: the next one lies within this distance.
constexpr qint64 kFreeFormatReach = 4096;

// Bit rates (kbit/s) by index 1..14: MPEG-1 layers I, II, III; MPEG-2/2.5 layer I; layers II and III.
constexpr int kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Sampling rates by version field (0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1) and index 0..2.
constexpr int kSampleRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

struct Frame {
    bool mpeg1 = false;
    int layer = 0;       // 1, 2 or 3
    int kbps = 0;        // 0: free format
    int sampleRate = 0;
    bool mono = false;
    qint64 length = 0;   // bytes, padding included; 0 for free format
    qint64 samples = 0;  // per frame
};

// The fields a stream keeps from frame to frame: sync, version, layer, sampling rate.
bool sameStream(const unsigned char* a, const unsigned char* b)
{
    return a[0] == b[0] && (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

bool decodeHeader(const unsigned char* h, Frame& f)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return false;
    const int version = (h[1] >> 3) & 3;
    const int layerBits = (h[1] >> 1) & 3;
    const int bitRateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layerBits == 0 || bitRateIndex == 15 || rateIndex == 3)
        return false;
    f.mpeg1 = version == 3;
    f.layer = 4 - layerBits;
    f.kbps = kBitRates[f.mpeg1 ? f.layer - 1 : (f.layer == 1 ? 3 : 4)][bitRateIndex];
    f.sampleRate = kSampleRates[version][rateIndex];
    f.mono = (h[3] >> 6) == 3;
    f.samples = f.layer == 1 ? 384 : (f.layer == 3 && !f.mpeg1) ? 576 : 1152;
    const qint64 pad = (h[2] >> 1) & 1;
    const qint64 bits = qint64(f.kbps) * 1000;
    if (f.layer == 1)
        f.length = (12 * bits / f.sampleRate + pad) * 4;
    else
        f.length = f.samples / 8 * bits / f.sampleRate + pad;
    return true;
}

quint32 bigEndian32(const unsigned char* b)
{
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

quint32 littleEndian32(const unsigned char* b)
{
    return (quint32(b[3]) << 24) | (quint32(b[2]) << 16) | (quint32(b[1]) << 8) | quint32(b[0]);
}

// A part of the file held in memory; reads go through it so that the scan and the checks
// beside it cost one read per 64 KiB.
class Window {
public:
    Window(int fd, qint64 end) : m_fd(fd), m_end(end), m_buf(static_cast<size_t>(kWindow)) {}
    // Pointer to the bytes from at on, at least need of them unless the audio ends first;
    // available says how many the window holds. nullptr on a read error (errno set).
    const unsigned char* at(qint64 at, qint64 need, qint64& available)
    {
        const bool inside = at >= m_base && at <= m_base + m_len;
        if (!inside || (m_base + m_len - at < need && m_base + m_len < m_end)) {
            const qint64 want = std::min(kWindow, m_end - at);
            const qint64 got = want > 0 ? PreadFully(m_fd, m_buf.data(), want, at) : 0;
            if (got < 0)
                return nullptr;
            m_base = at;
            m_len = got;
            if (got < want)
                m_end = at + got; // the file shrank under us
        }
        available = m_base + m_len - at;
        return m_buf.data() + (at - m_base);
    }
    qint64 end() const { return m_end; }

private:
    int m_fd;
    qint64 m_end;
    std::vector<unsigned char> m_buf;
    qint64 m_base = 0, m_len = 0;
};

// Where the audio ends: in front of any ID3v1, APEv2 and Lyrics3v2 tags at the end, in
// whatever order they follow each other. -1 on a read error.
qint64 audioEnd(int fd, qint64 start, qint64 end)
{
    unsigned char b[32];
    for (int round = 0; round < 8; ++round) {
        const qint64 room = end - start;
        if (room >= 128 && PreadFully(fd, b, 3, end - 128) == 3 && std::memcmp(b, "TAG", 3) == 0) {
            end -= 128;
            continue;
        }
        if (room >= 32) {
            if (PreadFully(fd, b, 32, end - 32) != 32)
                return -1;
            if (std::memcmp(b, "APETAGEX", 8) == 0) {
                // The size counts the items and the footer; a header, when flagged, comes on top.
                const qint64 total = qint64(littleEndian32(b + 12)) + ((b[23] & 0x80) ? 32 : 0);
                if (littleEndian32(b + 12) >= 32 && total <= room) {
                    end -= total;
                    continue;
                }
            }
            if (std::memcmp(b + 23, "LYRICS200", 9) == 0) {
                qint64 n = 0;
                bool digits = true;
                for (int i = 17; i < 23; ++i) {
                    digits = digits && b[i] >= '0' && b[i] <= '9';
                    n = n * 10 + (b[i] - '0');
                }
                char begin[11];
                if (digits && n + 15 <= room && n >= 11 && PreadFully(fd, begin, 11, end - 15 - n) == 11 &&
                    std::memcmp(begin, "LYRICSBEGIN", 11) == 0) {
                    end -= n + 15;
                    continue;
                }
            }
        }
        break;
    }
    return end;
}

} // namespace

bool GetMp3Length(const QString& path, double& milliseconds, QString* why)
{
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    auto failErrno = [&] { return fail(QString::fromLocal8Bit(std::strerror(errno))); };
    // Non-blocking, so that a pipe carrying an audio name cannot hang the caller.
    PosixFile file;
    if (!file.open(path, O_RDONLY | O_NONBLOCK))
        return fail(file.error());
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        return failErrno();
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("not a regular file"));
    const qint64 size = st.st_size;
    if (size < kMinFileSize)
        return fail(QStringLiteral("shorter than 256 bytes"));

    // The audio lies behind the leading ID3v2 tags (a picture in one may hold 0xFF 0xFB)
    // and in front of the tags at the end.
    qint64 start = 0;
    for (;;) {
        QByteArray head(10, '\0');
        const qint64 got = PreadFully(file.fd(), head.data(), 10, start);
        if (got < 0)
            return failErrno();
        head.truncate(got);
        const qint64 tag = ID3v2TotalSize(head, size - start);
        if (tag <= 0)
            break;
        start += tag;
    }
    const qint64 end = audioEnd(file.fd(), start, size);
    if (end < 0)
        return failErrno();

    Window w(file.fd(), end);
    qint64 avail = 0;
    Frame f;
    qint64 at = start;
    for (;; ++at) {
        // Next 0xFF of the window; the window moves on when it holds none.
        const unsigned char* p = w.at(at, 4, avail);
        if (!p)
            return failErrno();
        if (avail < 4)
            return fail(QStringLiteral("no MPEG audio frame header"));
        const auto* ff = static_cast<const unsigned char*>(std::memchr(p, 0xFF, static_cast<size_t>(avail - 3)));
        if (!ff) {
            at += avail - 4;
            continue;
        }
        at += ff - p;
        if (!decodeHeader(ff, f))
            continue;
        unsigned char first[4];
        std::memcpy(first, ff, 4);
        if (f.kbps == 0) {
            // A free-format header is believed once another one of the stream follows it.
            const unsigned char* q = w.at(at, kFreeFormatReach, avail);
            if (!q)
                return failErrno();
            for (qint64 i = 5; i + 4 <= std::min(avail, kFreeFormatReach); ++i)
                if (sameStream(q, q + i) && (q[i + 2] >> 4) == 0)
                    return fail(QStringLiteral("free-format stream: its frame headers carry no bit rate"));
            continue;
        }
        // The next frame must start where this one ends, or the audio end there.
        if (at + f.length == w.end())
            break;
        // Read from this frame on, so that the window stays where the scan is.
        const unsigned char* q = w.at(at, f.length + 4, avail);
        if (!q)
            return failErrno();
        Frame g;
        if (avail >= f.length + 4 && decodeHeader(q + f.length, g) && sameStream(first, q + f.length))
            break;
    }

    const unsigned char* p = w.at(at, 64, avail);
    if (!p)
        return failErrno();
    // The Xing (or Info) header follows the side information; VBRI lies 32 bytes behind the
    // frame header. Either counts the frames of the stream.
    const int xing = 4 + (f.mpeg1 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17));
    qint64 frames = -1;
    if (f.layer == 3 && avail >= xing + 12 &&
        (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0) &&
        (bigEndian32(p + xing + 4) & 1))
        frames = bigEndian32(p + xing + 8);
    else if (f.layer == 3 && avail >= 36 + 18 && std::memcmp(p + 36, "VBRI", 4) == 0)
        frames = bigEndian32(p + 36 + 14);
    if (frames == 0)
        return fail(QStringLiteral("the VBR header counts no frames"));
    qint64 ms = 0;
    if (frames > 0)
        ms = frames * f.samples * 1000 / f.sampleRate;
    else
        ms = (w.end() - at) * 8 / f.kbps;
    milliseconds = static_cast<double>(ms);
    return true;
}

bool GetMp3Length(const QString& path, double& milliseconds)
{
    return GetMp3Length(path, milliseconds, nullptr);
}

} // namespace tunora
