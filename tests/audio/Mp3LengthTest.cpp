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

// n frames of frameLength bytes behind the header, padded with bytes that hold no 0xFF.
QByteArray Stream(const QByteArray& header, qsizetype frameLength, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += header + QByteArray(frameLength - header.size(), '\x11');
    return out;
}

// A first frame of 417 bytes (128 kbit/s, 44.1 kHz) carrying a "Xing" (or other) tag at
// xingAt: flags, then the frame count.
QByteArray XingFrame(quint32 frames, bool mono, int xingAt, quint32 flags = 0x0F, const char* id = "Xing")
{
    QByteArray f = Header(9, 0, mono);
    f.append(QByteArray(xingAt - 4, '\0'));
    f.append(id, 4);
    for (quint32 v : {flags, frames})
        f.append(static_cast<char>(v >> 24)).append(static_cast<char>(v >> 16)).append(static_cast<char>(v >> 8))
            .append(static_cast<char>(v));
    return f + QByteArray(417 - f.size(), '\0');
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

TEST_F(Mp3Length, EachVersionAndLayerByItsOwnTables)
{
    struct Row {
        const char* what;
        QByteArray header;
        qsizetype frameLength;
        int frames;
        double ms;
    } rows[] = {
        {"MPEG-1 III 128k 44.1k", Header(9), 417, 100, 2606},                 // 41,700 * 8 / 128
        {"with CRC", Header(9, 0, false, true), 417, 100, 2606},
        {"MPEG-1 III 32k 32k", Header(1, 2), 144, 10, 360},                    // 144 * 32000 / 32000
        {"MPEG-1 III 320k 48k", Header(14, 1), 960, 2, 48},
        {"MPEG-2 III 64k 22.05k", B("\xFF\xF3\x80\x40", 4), 208, 50, 1300},    // 72 * 64000 / 22050
        {"MPEG-2.5 III 8k 8k", B("\xFF\xE3\x18\x40", 4), 72, 10, 720},         // 72 * 8000 / 8000
        {"MPEG-1 II 192k 48k", B("\xFF\xFD\xA4\x40", 4), 576, 5, 120},         // 144 * 192000 / 48000
        {"MPEG-1 I 128k 44.1k", B("\xFF\xFF\x40\x40", 4), 136, 10, 85},        // (12 * 128000 / 44100) * 4
        {"MPEG-2 I 256k 16k", B("\xFF\xF7\xE8\x40", 4), 768, 3, 72},           // (12 * 256000 / 16000) * 4
        {"MPEG-2 II 64k 24k", B("\xFF\xF5\x84\x40", 4), 384, 10, 480},          // 144 * 64000 / 24000
    };
    for (const Row& r : rows)
        EXPECT_EQ(timeOf(Stream(r.header, r.frameLength, r.frames)), r.ms) << r.what;
    // A padded frame is one byte longer.
    QByteArray padded = Header(9);
    padded[2] = static_cast<char>(padded[2] | 0x02);
    EXPECT_EQ(timeOf(Stream(padded, 418, 10) + Stream(Header(9), 417, 10)), 521); // 8350 * 8 / 128
}

TEST_F(Mp3Length, VbrHeadersCountTheFrames)
{
    // Behind the first frame: 20 frames of 64 kbit/s. 10,000 frames of 1152 samples at 44.1 kHz
    // play 261,224 ms; without a usable count the bytes at the first frame's 128 kbit/s count:
    // (417 + 4160) * 8 / 128 = 286 ms.
    const QByteArray audio = Stream(Header(5), 208, 20);
    QByteArray vbri = Header(9) + QByteArray(32, '\0') + B("VBRI" "\0\x01" "\0\0" "\0\x50" "\0\0\x10\0" "\0\0\x27\x10"
                                                          "\0\0" "\0\x01" "\0\x02" "\0\x01", 26);
    vbri += QByteArray(417 - vbri.size(), '\0');
    struct Row {
        const char* what;
        QByteArray first;
        double ms;
    } rows[] = {
        {"Xing, two channels", XingFrame(10000, false, 36), 261224},
        {"Info", XingFrame(10000, false, 36, 0x0F, "Info"), 261224},
        {"Xing, one channel", XingFrame(10000, true, 21), 261224},
        {"VBRI", vbri, 261224},
        {"Xing at the other mode's offset", XingFrame(10000, true, 36), 286},
        {"Xing at the other mode's offset", XingFrame(10000, false, 21), 286},
        {"Xing without the frame-count flag", XingFrame(10000, false, 36, 0x0E), 286},
        {"Xing counting no frames", XingFrame(0, false, 36), -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(timeOf(r.first + audio), r.ms) << r.what;
}

TEST_F(Mp3Length, HeadersThatGiveNoTime)
{
    struct Row {
        QByteArray bytes;
        const char* what;
    } rows[] = {
        {Stream(Header(9, 3), 417, 10), "reserved sampling rate"},
        {Stream(Header(0), 300, 10), "free format"},
        {Stream(Header(15), 417, 10), "bit-rate index 15"},
        {Stream(B("\xFF\xF9\x90\x40", 4), 417, 10), "reserved layer"},
        {Stream(B("\xFF\xEB\x90\x40", 4), 417, 10), "reserved version"},
        {Header(9) + QByteArray(5000, '\x11'), "a header with no frame behind it"},
        {Stream(Header(9), 400, 10), "headers at the wrong distance"},
        {QByteArray(5000, '\x11'), "no sync at all"},
    };
    for (const Row& r : rows) {
        QString why;
        EXPECT_EQ(timeOf(r.bytes, &why), -1) << r.what;
        EXPECT_FALSE(why.isEmpty()) << r.what;
    }
    QString why;
    timeOf(Stream(Header(0), 300, 10), &why);
    EXPECT_TRUE(why.contains("free-format")) << why.toStdString();
    EXPECT_EQ(timeOf(Stream(Header(9), 128, 2)), -1); // 256 bytes measure, 255 do not
    EXPECT_EQ(timeOf(Stream(Header(9), 128, 2).left(255)), -1);
    double ms = 7;
    const QString fifo = dir + "/pipe.mp3";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(GetMp3Length(fifo, ms, &why)); // answers at once, without a writer
    EXPECT_FALSE(GetMp3Length(dir, ms, &why));
    EXPECT_FALSE(GetMp3Length(dir + "/missing.mp3", ms, &why));
    EXPECT_EQ(ms, 7); // left as the caller had it
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(Mp3Length, AStraySyncIsNotTheFirstFrame)
{
    // 20 frames of 64 kbit/s: 4160 * 8 / 64 = 520 ms. A look-alike in front is passed over.
    const QByteArray audio = Stream(Header(5), 208, 20);
    EXPECT_EQ(timeOf(B("\xFF\xFB\x90\x40" "\x00\xFF", 6) + audio), 520);
    // A header split across the reader's 64 KiB blocks.
    for (qsizetype at : {65535, 65536, 65534, 131071})
        EXPECT_EQ(timeOf(QByteArray(at, '\x11') + audio), 520) << at;
}

TEST_F(Mp3Length, TagsAroundTheAudioAreNotAudio)
{
    // 50 frames of 64 kbit/s: 10,400 * 8 / 64 = 1300 ms, whatever tags surround them.
    const QByteArray audio = Stream(Header(5), 208, 50);
    // The picture holds 0xFF 0xFB pairs saying 128 kbit/s; a v2.4 tag with a footer follows it,
    // the footer holding a free-format look-alike.
    const QByteArray v24 = V2Header(4, 0x10, 20) + QByteArray(20, '\0') + B("\xFF\xFA\x00\x00" "3DI\x04\0\x10", 10);
    const QByteArray v1 = B("TAG", 3) + QByteArray(125, '\xFF');
    auto ape = [](bool withHeader) {
        const QByteArray items(100, '\xFB');
        auto part = [&](char flag) {
            // version 2000, size 132 (items + footer), one item, flags (header present, is header)
            return B("APETAGEX" "\xD0\x07\0\0" "\x84\0\0\0" "\x01\0\0\0" "\0\0\0", 23) + QByteArray(1, flag) +
                   QByteArray(8, '\0');
        };
        return (withHeader ? part('\xA0') : QByteArray()) + items + part(withHeader ? '\x80' : '\0');
    };
    // Lyrics3v2: "LYRICSBEGIN", one field (id, 5-digit size, data), 6-digit size, "LYRICS200".
    const QByteArray lyrics = B("LYRICSBEGIN" "LYR00011" "\xFF\xFB\x90\x64 lyrics" "000030" "LYRICS200", 45);
    struct Row {
        const char* what;
        QByteArray bytes;
    } rows[] = {
        {"a picture tag", PictureTag() + audio},
        {"stacked tags and a footer", PictureTag() + v24 + audio},
        {"ID3v1", audio + v1},
        {"APEv2 with header, ID3v1", audio + ape(true) + v1},
        {"Lyrics3v2, APEv2, ID3v1", audio + lyrics + ape(false) + v1},
        {"APEv2, Lyrics3v2", audio + ape(true) + lyrics},
    };
    for (const Row& r : rows)
        EXPECT_EQ(timeOf(r.bytes), 1300) << r.what;
}

TEST_F(Mp3Length, LengthsOfFourGibibytesAndMore)
{
    const QString p = dir + "/big.mp3";
    const qint64 size = (qint64(5) << 30) + 17; // 5 GiB + 17, sparse
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Stream(Header(9), 417, 2));
        ASSERT_TRUE(f.resize(size));
    }
    double ms = 0;
    ASSERT_TRUE(GetMp3Length(p, ms));
    EXPECT_EQ(ms, static_cast<double>(size * 8 / 128)); // 335544321 ms
    QFile::remove(p);
}

// --- Encoder output measured against mutagen and ffprobe ---------------------------------

// Adds a 300 KB picture (full of frame-header look-alikes) in front and an APEv2 tag behind.
const char kPictureAndApe[] = R"PY(
import sys
from mutagen.id3 import ID3, APIC
from mutagen.apev2 import APEv2
t = ID3()
t.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=b"\xff\xfb\x90\x64" * 75000))
t.save(sys.argv[1])
a = APEv2()
a["Lyrics"] = "la " * 200  # small: ffprobe distrusts a Xing byte count far off the file size
a.save(sys.argv[1])
)PY";

// mutagen's playing time of each file, one per line.
QList<double> MutagenLengths(const QStringList& paths)
{
    QByteArray out, err;
    const int rc = RunProgram(SystemPython(),
                              QStringList {"-c", "import sys\nfrom mutagen.mp3 import MP3\n"
                                                 "for p in sys.argv[1:]: print(MP3(p).info.length)"} + paths,
                              &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    QList<double> lengths;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            lengths << line.toDouble();
    return lengths;
}

enum class Then { Nothing, PictureAndApe, TrailingTags, Vbri, Mp2 };

TEST(Mp3LengthPeers, EncodedFilesAgreeWithMutagenAndFfprobe)
{
    struct Row {
        const char* what;
        QStringList lame;
        int channels;
        double seconds;
        Then then;
    } rows[] = {
        {"MPEG-1 CBR stereo", {"-b", "128"}, 2, 20, Then::Nothing},
        {"MPEG-1 VBR stereo", {"-V", "2"}, 2, 20, Then::Nothing},
        {"MPEG-1 VBR mono", {"-V", "4", "-m", "m"}, 1, 20, Then::Nothing},
        {"MPEG-1 ABR stereo", {"--abr", "96"}, 2, 20, Then::Nothing},
        {"MPEG-2 CBR mono", {"--resample", "22.05", "-b", "32", "-m", "m"}, 1, 20, Then::Nothing},
        {"MPEG-2 VBR stereo", {"--resample", "22.05", "-V", "5"}, 2, 20, Then::Nothing},
        {"MPEG-2.5 VBR mono", {"--resample", "11.025", "-V", "6", "-m", "m"}, 1, 40, Then::Nothing},
        {"MPEG-2.5 CBR stereo", {"--resample", "8", "-b", "16"}, 2, 40, Then::Nothing},
        {"MPEG-2.5 ABR mono", {"--resample", "8", "--abr", "24", "-m", "m"}, 1, 40, Then::Nothing},
        {"picture and APEv2", {"-V", "3"}, 2, 20, Then::PictureAndApe},
        {"no Xing; APEv2, Lyrics3v2, ID3v1", {"-t", "-b", "128"}, 2, 20, Then::TrailingTags},
        {"VBRI", {"-t", "-V", "2"}, 2, 20, Then::Vbri},
        {"Layer II", {}, 2, 20, Then::Mp2},
        {"MPEG-2 Layer II", {"-ar", "24000", "-b:a", "64k"}, 1, 20, Then::Mp2}, // ffmpeg's options
    };
    const QString dir = ScratchDir();
    QStringList measured, references;
    for (const Row& r : rows) {
        const QString p = dir + "/" + QString(r.what).replace(' ', '_').remove(';').remove(',') + ".mp3";
        // The peers measure the reference: the file itself, or the file before tags were added.
        QString reference = p;
        if (r.then == Then::Mp2) {
            ASSERT_TRUE(MakeWav(p + ".wav", r.seconds, r.channels));
            const QStringList options = r.lame.isEmpty() ? QStringList {"-b:a", "192k"} : r.lame;
            ASSERT_EQ(RunProgram("ffmpeg", QStringList {"-v", "error", "-y", "-i", p + ".wav", "-c:a", "mp2"} + options +
                                               QStringList {"-f", "mp2", p}),
                      0);
        } else {
            ASSERT_TRUE(MakeMp3(p, r.seconds, r.lame, r.channels)) << r.what;
        }
        if (r.then == Then::PictureAndApe) {
            QByteArray err;
            ASSERT_EQ(RunProgram(SystemPython(), {"-c", kPictureAndApe, p}, nullptr, &err), 0) << err.toStdString();
        } else if (r.then == Then::TrailingTags) {
            reference = p + ".plain.mp3";
            ASSERT_TRUE(QFile::copy(p, reference));
            QByteArray err;
            ASSERT_EQ(RunProgram(SystemPython(),
                                 {"-c", "import sys\nfrom mutagen.apev2 import APEv2\na = APEv2()\n"
                                        "a['Lyrics'] = 'la ' * 4000\na.save(sys.argv[1])",
                                  p},
                                 nullptr, &err),
                      0)
                << err.toStdString();
            const QByteArray lyrics = QByteArray("LYRICSBEGIN") + "LYR03000" + QByteArray(3000, 'l');
            ASSERT_TRUE(WriteAll(p, ReadAll(p) + lyrics + QByteArray::number(lyrics.size()).rightJustified(6, '0') +
                                        "LYRICS200" + "TAG" + QByteArray(125, 't')));
        } else if (r.then == Then::Vbri) {
            // A first frame of 32 kbit/s (104 bytes) carrying the frame count of the stream
            // behind it: version 1, delay, quality, bytes, frames, an empty table.
            QByteArray packets;
            ASSERT_EQ(RunProgram("ffprobe", {"-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets",
                                             "-of", "csv=p=0", p},
                                 &packets),
                      0);
            const quint32 frames = packets.trimmed().toUInt();
            ASSERT_GT(frames, 100u);
            const QByteArray audio = ReadAll(p);
            const quint32 bytes = static_cast<quint32>(audio.size() + 104);
            QByteArray f = QByteArray("\xFF\xFB\x10\x40", 4) + QByteArray(32, '\0') + QByteArray("VBRI\0\x01\0\0\0\x4B", 10);
            for (quint32 v : {bytes, frames})
                f.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
            f += QByteArray("\0\0\0\x01\0\x02\0\x01", 8);
            ASSERT_TRUE(WriteAll(p, f + QByteArray(104 - f.size(), '\0') + audio));
        }
        measured << p;
        references << reference;
    }
    const QList<double> byMutagen = MutagenLengths(references);
    ASSERT_EQ(byMutagen.size(), references.size());
    for (qsizetype i = 0; i < measured.size(); ++i) {
        const char* what = rows[i].what;
        double ms = -1;
        QString why;
        ASSERT_TRUE(GetMp3Length(measured[i], ms, &why)) << what << ": " << why.toStdString();
        const double probe = FfprobeDuration(references[i]);
        EXPECT_NEAR(ms / 1000, byMutagen[i], byMutagen[i] * 0.01) << what;
        EXPECT_NEAR(ms / 1000, probe, probe * 0.01) << what;
        EXPECT_NEAR(ms / 1000, rows[i].seconds, rows[i].seconds * 0.01) << what;
    }
}

} // namespace
