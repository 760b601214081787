// Playing times: the arithmetic on hand-made headers, and lame-made files against ffprobe.
#include "audio/Id3.h"
#include "audio/Mp3Length.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QByteArray B(const char* s, qsizetype n)
{
    return QByteArray(s, n);
}

// A Layer III frame header: sync, MPEG-1 Layer III (0xFB, or 0xFA with CRC), bit-rate and
// sampling-rate indexes, channel mode (3 = single channel).
QByteArray Header(int bitRateIndex, int rateIndex = 0, bool mono = false, bool crc = false)
{
    QByteArray h("\xFF", 1);
    h.append(crc ? '\xFA' : '\xFB');
    h.append(static_cast<char>((bitRateIndex << 4) | (rateIndex << 2)));
    h.append(static_cast<char>(mono ? 0xC0 : 0x40));
    return h;
}

// A first frame carrying a Xing tag at xingAt and the frame count 8 bytes further on.
QByteArray XingFrame(quint32 frames, bool mono, int xingAt)
{
    QByteArray f = Header(9, 0, mono);
    f.append(QByteArray(xingAt - 4, '\0'));
    f.append("Xing");
    f.append(B("\0\0\0\x0F", 4)); // flags
    f.append(static_cast<char>(frames >> 24)).append(static_cast<char>(frames >> 16));
    f.append(static_cast<char>(frames >> 8)).append(static_cast<char>(frames));
    return f;
}

// Pads with bytes that hold no 0xFF to exactly size bytes.
QByteArray Sized(QByteArray head, qsizetype size)
{
    head.append(QByteArray(size - head.size(), '\x11'));
    return head;
}

class Mp3Length : public ::testing::Test {
protected:
    void SetUp() override { dir = ScratchDir(); }
    // The time of a file with these bytes; -1 when there is none.
    double timeOf(const QByteArray& bytes, QString* why = nullptr)
    {
        const QString p = dir + "/f" + QString::number(++n) + ".mp3";
        EXPECT_TRUE(WriteAll(p, bytes));
        double ms = -1;
        return GetMp3Length(p, ms, why) ? ms : -1;
    }
    QString dir;
    int n = 0;
};

TEST_F(Mp3Length, ConstantBitRateFromTheHeaderTable)
{
    EXPECT_EQ(timeOf(Sized(Header(9), 4000000)), 250000);            // 4,000,000 * 8 / 128
    EXPECT_EQ(timeOf(Sized(Header(9, 0, false, true), 4000000)), 250000); // with CRC
    EXPECT_EQ(timeOf(Sized(Header(1, 2), 1001)), 250);                // 8008 / 32, rounded down
    EXPECT_EQ(timeOf(Sized(Header(14, 1), 4000)), 100);               // 320 kbit/s
    EXPECT_EQ(timeOf(Sized(Header(9), 256)), 16);                     // the smallest file measured
    EXPECT_EQ(timeOf(Sized(Header(9), 255)), -1);
}

TEST_F(Mp3Length, VariableBitRateFromTheXingFrameCount)
{
    // 44100 * 5,000,000 / 10,000 / 1000 / 144 = 153.125 -> 153 kbit/s; 40,000,000 / 153 = 261437.9
    EXPECT_EQ(timeOf(Sized(XingFrame(10000, false, 36), 5000000)), 261437);
    // A single-channel frame carries its Xing tag at 21.
    EXPECT_EQ(timeOf(Sized(XingFrame(10000, true, 21), 5000000)), 261437);
    // A tag at the other channel mode's offset is no Xing tag: the header's 128 kbit/s count.
    EXPECT_EQ(timeOf(Sized(XingFrame(10000, true, 36), 5000000)), 312500);
    EXPECT_EQ(timeOf(Sized(XingFrame(10000, false, 21), 5000000)), 312500);
    // 32 kHz: 32000 * 1,000,000 / 2,000 / 144000 = 111.1 -> 111 kbit/s; 8,000,000 / 111 = 72072.07
    QByteArray f = XingFrame(2000, false, 36);
    f[2] = static_cast<char>(0x98); // bit-rate index 9, sampling-rate index 2
    EXPECT_EQ(timeOf(Sized(f, 1000000)), 72072);
}

TEST_F(Mp3Length, HeadersThatGiveNoTime)
{
    struct Row {
        QByteArray bytes;
        const char* what;
    } rows[] = {
        {Sized(XingFrame(0, false, 36), 5000), "Xing frame count 0"},
        {Sized(XingFrame(0xFFFFFFFF, false, 36), 5000), "average below 1 kbit/s"},
        {Sized(Header(9, 3), 5000), "reserved sampling rate"},
        {Sized(Header(0), 5000), "free format"},
        {Sized(Header(15), 5000), "bit-rate index 15"},
        {Sized(B("\xFF\xF3\x90\x40", 4), 5000), "MPEG-2 Layer III only"},
        {Sized(B("\xFF\xFD\x90\x40", 4), 5000), "MPEG-1 Layer II only"},
        {Sized(QByteArray(), 5000), "no sync at all"},
    };
    for (const Row& r : rows) {
        QString why;
        EXPECT_EQ(timeOf(r.bytes, &why), -1) << r.what;
        EXPECT_FALSE(why.isEmpty()) << r.what;
    }
    QString why;
    double ms = 7;
    const QString fifo = dir + "/pipe.mp3";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(GetMp3Length(fifo, ms, &why)); // answers at once, without a writer
    EXPECT_FALSE(GetMp3Length(dir, ms, &why));
    EXPECT_FALSE(GetMp3Length(dir + "/missing.mp3", ms, &why));
    EXPECT_EQ(ms, 7); // left as the caller had it
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(Mp3Length, TheFirstPairOfTheAcceptedFormIsTheHeader)
{
    // Other bytes in front (a Layer II header among them) are passed over.
    EXPECT_EQ(timeOf(Sized(B("\xFF\xFD\x90\x40" "\x00\xFF", 6) + Header(9), 4000)), 250);
    // A pair split across the reader's 64 KiB blocks.
    for (qsizetype at : {65535, 65536, 65534, 131071}) {
        QByteArray bytes(at, '\x11');
        bytes += Header(5); // 64 kbit/s
        EXPECT_EQ(timeOf(Sized(bytes, 200000)), 25000) << at; // 1,600,000 / 64
    }
}

TEST_F(Mp3Length, TheScanStartsBehindAValidId3v2Tag)
{
    // The picture holds 0xFF 0xFB pairs saying 128 kbit/s; the real first frame says 64.
    const QByteArray tag = PictureTag();
    const QByteArray file = Sized(tag + Header(5), 100000);
    EXPECT_EQ(timeOf(file), 100000 * 8 / 64);
    // A v2.4 footer is passed over as well: here it holds a free-format header look-alike.
    const QByteArray footered = V2Header(4, 0x10, 20) + QByteArray(20, '\0') + B("\xFF\xFA\x00\x00" "3DI\x04\0\x10", 10);
    EXPECT_EQ(timeOf(Sized(footered + Header(5), 8000)), 1000);
    // A damaged header is no tag: the pair inside the would-be tag counts.
    const QByteArray damaged = V2Header(3, 0, 9000) + Header(9);
    EXPECT_EQ(timeOf(Sized(damaged + QByteArray(100, '\0') + Header(5), 8000)), 500);
}

TEST_F(Mp3Length, LengthsOfFourGibibytesAndMore)
{
    const QString p = dir + "/big.mp3";
    const qint64 size = (qint64(5) << 30) + 17; // 5 GiB + 17, sparse
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Header(9));
        ASSERT_TRUE(f.resize(size));
    }
    double ms = 0;
    ASSERT_TRUE(GetMp3Length(p, ms));
    EXPECT_EQ(ms, static_cast<double>(size * 8 / 128)); // 335544321 ms
    // Xing average: 44100 * size / 10,000,000 frames / 144000 = 164.4 -> 164 kbit/s.
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(XingFrame(10000000, false, 36));
    }
    ASSERT_TRUE(GetMp3Length(p, ms));
    EXPECT_EQ(ms, static_cast<double>(size * 8 / 164));
    QFile::remove(p);
}

// --- Files made by lame --------------------------------------------------------------

quint32 FrameCountAt(const QByteArray& bytes, qsizetype xingAt)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData() + xingAt + 8);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3];
}

double Measure(const QString& path)
{
    double ms = -1;
    QString why;
    EXPECT_TRUE(GetMp3Length(path, ms, &why)) << path.toStdString() << ": " << why.toStdString();
    return ms;
}

TEST(Mp3LengthLame, ConstantBitRateStereo)
{
    const QString p = LameFile(Lame::Cbr128);
    const QByteArray bytes = ReadAll(p);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFB\x90")) << "lame wrote no 128 kbit/s header first";
    const double ms = Measure(p);
    EXPECT_EQ(ms, static_cast<double>(bytes.size() * 8 / 128));
    const double probe = FfprobeDuration(p);
    ASSERT_GT(probe, 0);
    EXPECT_NEAR(ms / 1000, probe, probe * 0.01);
}

TEST(Mp3LengthLame, VariableBitRateStereoAndMono)
{
    struct Row {
        Lame kind;
        int xingAt;
    } rows[] = {{Lame::Vbr, 36}, {Lame::MonoVbr, 21}};
    for (const Row& r : rows) {
        const QString p = LameFile(r.kind);
        const QByteArray bytes = ReadAll(p);
        ASSERT_EQ(bytes.mid(r.xingAt, 4), "Xing") << "the fixture has no Xing tag at " << r.xingAt;
        const qint64 frames = FrameCountAt(bytes, r.xingAt);
        const qint64 kbps = 44100 * qint64(bytes.size()) / frames / 1000 / 144;
        const double ms = Measure(p);
        EXPECT_EQ(ms, static_cast<double>(qint64(bytes.size()) * 8 / kbps)) << r.xingAt;
        const double probe = FfprobeDuration(p);
        ASSERT_GT(probe, 0);
        EXPECT_NEAR(ms / 1000, probe, probe * 0.02) << r.xingAt;
        EXPECT_NEAR(ms / 1000, LameSeconds(), LameSeconds() * 0.02) << r.xingAt;
    }
}

TEST(Mp3LengthLame, Mpeg2FileTakesTheFirstMpeg1LookAlikeOrFails)
{
    const QString p = LameFile(Lame::Mpeg2);
    const QByteArray bytes = ReadAll(p);
    ASSERT_TRUE(bytes.startsWith("\xFF\xF3")) << "lame wrote no MPEG-2 Layer III header";
    qsizetype at = -1;
    for (qsizetype i = 0; i + 1 < bytes.size() && at < 0; ++i)
        if (static_cast<quint8>(bytes[i]) == 0xFF && (static_cast<quint8>(bytes[i + 1]) | 1) == 0xFB)
            at = i;
    double ms = -1;
    const bool ok = GetMp3Length(p, ms);
    if (at < 0) {
        EXPECT_FALSE(ok);
        return;
    }
    // Whatever the look-alike's own fields say, without a Xing tag.
    const int rateIndex = (static_cast<quint8>(bytes[at + 2]) >> 2) & 3;
    const int bitRateIndex = static_cast<quint8>(bytes[at + 2]) >> 4;
    const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    if (rateIndex == 3 || kbps[bitRateIndex] == 0) {
        EXPECT_FALSE(ok);
        return;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(ms, static_cast<double>(qint64(bytes.size()) * 8 / kbps[bitRateIndex]));
}

TEST(Mp3LengthLame, APictureTagAddsOnlyItsBytes)
{
    const QString plain = LameFile(Lame::Cbr128);
    const QString tagged = ScratchDir() + "/picture.mp3";
    const QByteArray tag = PictureTag();
    ASSERT_TRUE(WriteAll(tagged, tag + ReadAll(plain)));
    const double withTag = Measure(tagged);
    EXPECT_EQ(withTag, std::floor((QFileInfo(plain).size() + tag.size()) * 8.0 / 128));
    EXPECT_NEAR(withTag, Measure(plain) + tag.size() * 8.0 / 128, 1.0);
}

} // namespace
