// Byte layouts of the ID3v1.1 and ID3v2.3 tags and of the headers the writer detects.
#include "audio/Id3.h"
#include "shell/core/Genres.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QByteArray B(const char* s, qsizetype n)
{
    return QByteArray(s, n);
}

QByteArray Spaces(int n)
{
    return QByteArray(n, ' ');
}

// A text frame as the writer lays it out: id, 32-bit size, two flag bytes, data.
QByteArray Frame(const char* id, const QByteArray& data)
{
    const auto n = static_cast<quint32>(data.size());
    return QByteArray(id, 4) + QByteArray(1, char(n >> 24)) + QByteArray(1, char(n >> 16)) +
           QByteArray(1, char(n >> 8)) + QByteArray(1, char(n)) + B("\0\0", 2) + data;
}

class Id3Layout : public ::testing::Test {
protected:
    void SetUp() override { LoadShippedGenres(); }
};

TEST_F(Id3Layout, EmptyRecordGivesTheHundredByteTag)
{
    const QByteArray expected =
        B("ID3" "\x03\x00" "\x00" "\x00\x00\x00\x5A", 10) +          // header, size 90
        B("TIT2" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +          // 10 + encoding byte
        B("TPE1" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +
        B("TALB" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +
        B("TYER" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +
        B("TCON" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +
        B("TRCK" "\x00\x00\x00\x01" "\x00\x00" "\x00", 11) +
        B("COMM" "\x00\x00\x00\x0D" "\x00\x00" "\x00" "eng" "Comments" "\x00", 23) + // 1+3+8+1
        B("\x00", 1);                                                  // padding
    const QByteArray tag = BuildID3v2(TrackTag {});
    EXPECT_EQ(tag.size(), 10 + 6 * 11 + 23 + 1);
    EXPECT_EQ(tag, expected);
}

TEST_F(Id3Layout, FramesCarryTrimmedTextsInOrder)
{
    TrackTag t;
    t.title = "  Hello  ";
    t.track = "7";
    t.artist = "Art";
    t.album = "Alb";
    t.year = "1999";
    t.comment = " Nice ";
    t.genre = "Rock";
    const QByteArray frames = Frame("TIT2", B("\0Hello", 6)) + Frame("TPE1", B("\0Art", 4)) +
                              Frame("TALB", B("\0Alb", 4)) + Frame("TYER", B("\0" "1999", 5)) +
                              Frame("TCON", B("\0Rock", 5)) + Frame("TRCK", B("\0" "7", 2)) +
                              Frame("COMM", B("\0engComments\0Nice", 17)) + B("\0", 1);
    // 16 + 14 + 14 + 15 + 15 + 12 + 27 + 1 = 114 = 0x72
    ASSERT_EQ(frames.size(), 114);
    EXPECT_EQ(BuildID3v2(t), B("ID3\x03\x00\x00\x00\x00\x00\x72", 10) + frames);
    // The title frame spelled out: five characters give a size of 6.
    EXPECT_TRUE(BuildID3v2(t).mid(10, 16) == B("TIT2" "\x00\x00\x00\x06" "\x00\x00" "\x00" "Hello", 16));
}

TEST_F(Id3Layout, LongTextsSetPlainFrameSizesAndASyncsafeTagSize)
{
    TrackTag t;
    t.title = QString(200, 'x');
    QByteArray tag = BuildID3v2(t);
    EXPECT_EQ(tag.mid(10, 10), B("TIT2" "\x00\x00\x00\xC9" "\x00\x00", 10)); // 200 + 1
    // Frames: 10+201, five empty text frames of 11, COMM of 23, padding: 211+55+23+1 = 290.
    EXPECT_EQ(tag.mid(6, 4), B("\x00\x00\x02\x22", 4)); // 290 = 2*128 + 34
    EXPECT_EQ(tag.size(), 300);

    t.title = QString(20000, 'y'); // size field 20001 = 0x4E21 as a plain number
    tag = BuildID3v2(t);
    EXPECT_EQ(tag.mid(14, 4), B("\x00\x00\x4E\x21", 4));
    // Tag size 20000+11 + 55 + 23 + 1 = 20090 = 1*16384 + 28*128 + 122.
    EXPECT_EQ(tag.mid(6, 4), B("\x00\x01\x1C\x7A", 4));
}

TEST_F(Id3Layout, TextsOutsideLatin1BecomeUtf16Frames)
{
    TrackTag t;
    t.title = QString::fromUtf8("Café");            // fits Latin-1: one byte per character
    t.artist = QString::fromUtf8("Ωmega");          // does not fit
    t.comment = QString::fromUtf8("Über 東京");
    const QByteArray tag = BuildID3v2(t);
    const QByteArray tit2 = Frame("TIT2", B("\0Caf\xE9", 5));
    const QByteArray tpe1 = Frame("TPE1", B("\x01" "\xFF\xFE" "\xA9\x03" "m\0e\0g\0a\0", 13)); // 1+2+5*2
    const QByteArray comm = Frame("COMM", B("\x01" "eng"
                                            "\xFF\xFE" "C\0o\0m\0m\0e\0n\0t\0s\0" "\0\0"
                                            "\xFF\xFE" "\xDC\0b\0e\0r\0 \0" "\x71\x67\xAC\x4E",
                                            4 + 2 + 16 + 2 + 2 + 14));
    EXPECT_EQ(tag.mid(10, tit2.size()), tit2);
    EXPECT_EQ(tag.mid(10 + tit2.size(), tpe1.size()), tpe1);
    EXPECT_TRUE(tag.endsWith(comm + B("\0", 1)));
}

TEST_F(Id3Layout, Id3v1FieldsArePaddedWithSpacesAndCut)
{
    TrackTag t;
    t.title = QString(35, 'T');
    t.artist = "Ten chars!";
    t.album = QString::fromUtf8("Ωmega Öl");
    t.year = "99";
    t.comment = "Hello";
    t.track = "7";
    t.genre = "rock"; // "Rock" on line 131 of styles.dat: 147 - 130 = 17
    const QByteArray expected = QByteArray(30, 'T') +                      // title cut to 30
                                B("Ten chars!", 10) + Spaces(20) +         // artist padded
                                B("?mega \xD6l", 8) + Spaces(22) +         // "?" outside Latin-1
                                B("99", 2) + Spaces(2) +                   // year
                                B("Hello", 5) + Spaces(23) +               // comment of 28
                                B("\x00" "\x07" "\x11", 3);                // zero, track, genre
    EXPECT_EQ(BuildID3v1(t), expected);
    EXPECT_EQ(expected.size(), 125);
}

TEST_F(Id3Layout, Id3v1KeepsSpacesAndWritesOneMarkPerCharacter)
{
    TrackTag t;
    t.title = QString::fromUtf8("  a\U0001F3B5b"); // untrimmed; one "?" for the surrogate pair
    const QByteArray v1 = BuildID3v1(t);
    EXPECT_EQ(v1.left(30), B("  a?b", 5) + Spaces(25));
}

TEST_F(Id3Layout, TrackAndGenreBytes)
{
    struct Row {
        const char* track;
        quint8 byte;
    } rows[] = {{"1", 1}, {"12", 12}, {"255", 255}, {" 9 ", 9}, {"3/12", 3}, {"256", 0}, {"x", 0}, {"", 0}};
    for (const Row& r : rows) {
        TrackTag t;
        t.track = r.track;
        EXPECT_EQ(static_cast<quint8>(BuildID3v1(t).at(123)), r.byte) << r.track;
    }
    struct GenreRow {
        const char* name;
        quint8 byte;
    } genres[] = {{"Blues", 0}, {"BLUES", 0}, {"Other", 12}, {"No Such Style", 12}, {"Synthpop", 147}};
    for (const GenreRow& g : genres) {
        TrackTag t;
        t.genre = g.name;
        EXPECT_EQ(static_cast<quint8>(BuildID3v1(t).at(124)), g.byte) << g.name;
    }
}

TEST(Id3Headers, SizeFieldOfAnId3v2Header)
{
    const QByteArray audio(4000, 'a');
    struct Row {
        QByteArray head;
        qint64 fileSize;
        qint64 size;
        const char* what;
    } rows[] = {
        {V2Header(3, 0, 1990), 4000, 1990, "2,000-byte tag"},
        {V2Header(3, 0, 0x200000), 0x200000 + 10, 0x200000, "2 MiB: byte 6 non-zero"},
        {B("id3\x03\0\0\0\0\x0F\x46", 10), 4000, 0, "lower case"},
        {B("ID3\x03\0\0\0\0\x8F\x46", 10), 4000, 0, "size byte not syncsafe"},
        {V2Header(3, 0, 3991), 4000, 0, "tag past the end of the file"},
        {V2Header(3, 0, 3990), 4000, 3990, "tag up to the end of the file"},
        {V2Header(3, 0, 0), 10, 0, "ten bytes"},
        {B("ID3\x03", 4), 4000, 0, "header cut short"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ID3v2SizeFromHeader(r.head, r.fileSize), r.size) << r.what;

    // Room taken in front of the audio: a v2.4 footer counts, flag 0x10 on other versions not.
    EXPECT_EQ(ID3v2TotalSize(V2Header(4, 0x10, 100), 1000), 120);
    EXPECT_EQ(ID3v2TotalSize(V2Header(4, 0x00, 100), 1000), 110);
    EXPECT_EQ(ID3v2TotalSize(V2Header(3, 0x10, 100), 1000), 110);
    EXPECT_EQ(ID3v2TotalSize(V2Header(3, 0, 0), 1000), 10);
    EXPECT_EQ(ID3v2TotalSize(B("ID3\x03\0\0\0\0\x80\x00", 10), 1000), 0);
}

TEST(Id3Headers, FilesWithAndWithoutTags)
{
    const QString dir = ScratchDir();
    auto file = [&](const char* name, const QByteArray& bytes) {
        const QString p = dir + "/" + name;
        EXPECT_TRUE(WriteAll(p, bytes));
        return p;
    };
    const QByteArray v1 = B("TAG", 3) + QByteArray(125, 'x');
    EXPECT_TRUE(HasID3v1(file("v1.mp3", QByteArray(3, 'a') + v1)));            // 131 bytes
    EXPECT_FALSE(HasID3v1(file("130.mp3", QByteArray(2, 'a') + v1)));          // 130 bytes
    EXPECT_FALSE(HasID3v1(file("lower.mp3", QByteArray(100, 'a') + B("tag", 3) + QByteArray(125, 'x'))));
    EXPECT_FALSE(HasID3v1(dir + "/missing.mp3"));

    EXPECT_EQ(GetID3v2Size(file("v2.mp3", V2Header(3, 0, 1990) + QByteArray(3000, 'a'))), 1990);
    EXPECT_EQ(GetID3v2Size(file("short.mp3", V2Header(3, 0, 1990))), 0);      // exactly 10 bytes
    EXPECT_EQ(GetID3v2Size(file("past.mp3", V2Header(3, 0, 1990) + QByteArray(100, 'a'))), 0);
    EXPECT_EQ(GetID3v2Size(dir + "/missing.mp3"), 0);
}

} // namespace
