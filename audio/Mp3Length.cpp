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
constexpr qint64 kScanChunk = 64 * 1024;

// MPEG-1 tables: sampling rates by index 0..2, Layer III bit rates (kbit/s) by index 0..14.
constexpr int kSampleRates[3] = {44100, 48000, 32000};
constexpr int kBitRates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// Position of the first 0xFF followed by 0xFA or 0xFB at or after from; -1 when none
// (or a read error, reported through err).
qint64 findFrameSync(int fd, qint64 from, qint64 size, int& err)
{
    std::vector<unsigned char> buf(static_cast<size_t>(kScanChunk) + 1);
    qint64 pos = from;
    bool carryFF = false; // the last byte of the previous chunk was 0xFF
    while (pos < size) {
        const qint64 want = std::min(kScanChunk, size - pos);
        const qint64 got = PreadFully(fd, buf.data(), want, pos);
        if (got < 0) {
            err = errno;
            return -1;
        }
        if (got == 0)
            break;
        if (carryFF && (buf[0] == 0xFA || buf[0] == 0xFB))
            return pos - 1;
        const unsigned char* p = buf.data();
        const unsigned char* end = p + got;
        while (p + 1 < end) {
            p = static_cast<const unsigned char*>(std::memchr(p, 0xFF, static_cast<size_t>(end - p - 1)));
            if (!p)
                break;
            if (p[1] == 0xFA || p[1] == 0xFB)
                return pos + (p - buf.data());
            ++p;
        }
        carryFF = buf[static_cast<size_t>(got - 1)] == 0xFF;
        pos += got;
    }
    return -1;
}

quint32 bigEndian32(const unsigned char* b)
{
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

} // namespace

bool GetMp3Length(const QString& path, double& milliseconds, QString* why)
{
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    // Non-blocking, so that a pipe carrying an audio name cannot hang the caller.
    PosixFile file;
    if (!file.open(path, O_RDONLY | O_NONBLOCK))
        return fail(file.error());
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("not a regular file"));
    const qint64 size = st.st_size;
    if (size < kMinFileSize)
        return fail(QStringLiteral("shorter than 256 bytes"));

    // Audio starts behind a valid ID3v2 tag: a picture in the tag may hold 0xFF 0xFB.
    unsigned char head[10] = {};
    if (PreadFully(file.fd(), head, sizeof head, 0) != qint64(sizeof head))
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    qint64 start = ID3v2TotalSize(QByteArray(reinterpret_cast<const char*>(head), sizeof head), size);

    int err = 0;
    const qint64 frame = findFrameSync(file.fd(), start, size, err);
    if (frame < 0)
        return fail(err ? QString::fromLocal8Bit(std::strerror(err))
                        : QStringLiteral("no MPEG-1 Layer III frame header"));

    // The header and the Xing fields up to the frame count (offset 44 for two channels).
    unsigned char fr[48] = {};
    const qint64 got = PreadFully(file.fd(), fr, sizeof fr, frame);
    if (got < 4)
        return fail(got < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                            : QStringLiteral("no MPEG-1 Layer III frame header"));

    const int rateIndex = (fr[2] >> 2) & 0x03;
    const int bitRateIndex = (fr[2] >> 4) & 0x0F;
    const bool mono = ((fr[3] >> 6) & 0x03) == 3;
    if (rateIndex == 3)
        return fail(QStringLiteral("reserved sampling rate in the frame header"));
    const qint64 sampleRate = kSampleRates[rateIndex];

    // The Xing tag follows the side information, whose length depends on the channel mode.
    const int xing = mono ? 21 : 36;
    qint64 kbps = 0;
    if (got >= xing + 12 && std::memcmp(fr + xing, "Xing", 4) == 0) {
        const qint64 frames = bigEndian32(fr + xing + 8);
        if (frames == 0)
            return fail(QStringLiteral("the Xing header counts no frames"));
        // Integer division truncates the average the same way as dropping the fraction.
        kbps = sampleRate * size / (frames * 1000 * 144);
        if (kbps == 0)
            return fail(QStringLiteral("the Xing frame count is too large for the file"));
    } else {
        if (bitRateIndex == 0 || bitRateIndex == 15)
            return fail(QStringLiteral("free-format or invalid bit rate in the frame header"));
        kbps = kBitRates[bitRateIndex];
    }
    milliseconds = static_cast<double>(size * 8 / kbps);
    return true;
}

bool GetMp3Length(const QString& path, double& milliseconds)
{
    return GetMp3Length(path, milliseconds, nullptr);
}

} // namespace tunora
