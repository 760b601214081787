// Parsing of xmcd entries and of whole "cddb read" answers.
#include "freedb/Cddb.h"

#include "tests/common/TestSupport.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace tunora;

namespace {

// Lines joined with CR LF, each line ending in CR LF.
QString Lines(std::initializer_list<const char*> lines)
{
    QString out;
    for (const char* l : lines)
        out += QString::fromUtf8(l) + "\r\n";
    return out;
}

QString ThreeTrackEntry()
{
    return Lines({"210 rock 19033503 CD database entry follows (until terminating `.')",
                  "# xmcd",
                  "#",
                  "# Track frame offsets:",
                  "#\t150",
                  "#\t21052",
                  "#\t40170",
                  "#",
                  "# Disc length: 823 seconds",
                  "#",
                  "DISCID=19033503",
                  "DTITLE=Some Artist / Some Album",
                  "DYEAR=1999",
                  "DGENRE=Rock",
                  "TTITLE0=One",
                  "TTITLE1=Two",
                  "TTITLE2=Three",
                  "EXTD=",
                  "PLAYORDER=",
                  "."});
}

QList<qint64> Frames(const DiscRecord& r)
{
    QList<qint64> out;
    for (const CddbTrack& t : r.tracks)
        out << t.frames;
    return out;
}

QStringList Titles(const DiscRecord& r)
{
    QStringList out;
    for (const CddbTrack& t : r.tracks)
        out << t.title;
    return out;
}

QString HttpOk(const QString& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

} // namespace

TEST(CddbParse, ThreeTrackDiscGivesArtistAlbumYearAndFrameLengths)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(ThreeTrackEntry(), r));
    EXPECT_EQ(r.artist, "Some Artist");
    EXPECT_EQ(r.album, "Some Album");
    EXPECT_EQ(r.year, "1999");
    EXPECT_EQ(Titles(r), QStringList({"One", "Two", "Three"}));
    EXPECT_EQ(Frames(r), QList<qint64>({20902, 19118, 823 * 75 - 40170}));
    EXPECT_EQ(Frames(r).last(), 21555);
}

TEST(CddbParse, TitleSplitsAtTheFirstSpacedSlash)
{
    struct Row {
        const char* dtitle;
        const char* artist;
        const char* album;
    } rows[] = {
        {"No Slash Here", "No Slash Here", "No Slash Here"},
        {"A/B", "A/B", "A/B"},
        {"AC/DC / Back in Black", "AC/DC", "Back in Black"},
        {"A / B / C", "A", "B / C"},
        {"Artist /Album", "Artist /Album", "Artist /Album"},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        DiscRecord r;
        ASSERT_TRUE(ParseXmcd(Lines({"# xmcd", (std::string("DTITLE=") + row.dtitle).c_str(), "DYEAR=2001"}), r))
            << row.dtitle;
        EXPECT_EQ(r.artist, QString::fromUtf8(row.artist)) << row.dtitle;
        EXPECT_EQ(r.album, QString::fromUtf8(row.album)) << row.dtitle;
    }
}

TEST(CddbParse, KeysAreFoundWithoutRegardToCase)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(Lines({"dtitle=Low / Case", "dyear=1977", "ttitle0=first", "TTitle1=second"}), r));
    EXPECT_EQ(r.artist, "Low");
    EXPECT_EQ(r.album, "Case");
    EXPECT_EQ(r.year, "1977");
    EXPECT_EQ(Titles(r), QStringList({"first", "second"}));
}

TEST(CddbParse, MissingYearIsThisYearAndMissingTitleFailsLeavingFieldsAlone)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(Lines({"DTITLE=X / Y", "TTITLE0=a"}), r));
    EXPECT_EQ(r.year, QDate::currentDate().toString("yyyy"));

    r.artist = "kept";
    r.album = "kept too";
    r.year = "1990";
    r.tracks = {{"old", 5}};
    QString error;
    EXPECT_FALSE(ParseXmcd(Lines({"DYEAR=2000", "TTITLE0=a"}), r, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(r.artist, "kept");
    EXPECT_EQ(r.album, "kept too");
    EXPECT_EQ(r.year, "1990");
    EXPECT_TRUE(r.tracks.isEmpty());

    // A DTITLE whose line never ends is no title either; a last track title without its
    // line end is one.
    EXPECT_FALSE(ParseXmcd("DTITLE=Unfinished", r));
    ASSERT_TRUE(ParseXmcd("DTITLE=A / B\nDYEAR=1990\nTTITLE0=a\nTTITLE0=b", r));
    EXPECT_EQ(Titles(r), QStringList({"ab"}));
    ASSERT_TRUE(ParseXmcd("DTITLE=A / B\nDYEAR=1990", r));
    EXPECT_EQ(r.year, QDate::currentDate().toString("yyyy"));
}

TEST(CddbParse, TitlesStopAtTheFirstMissingNumber)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(Lines({"DTITLE=A / B", "TTITLE0=zero", "TTITLE1=one", "TTITLE3=three", "TTITLE4=four"}), r));
    EXPECT_EQ(Titles(r), QStringList({"zero", "one"}));

    // TTITLE10 is not TTITLE1, nor TTITLE01.
    ASSERT_TRUE(ParseXmcd(Lines({"DTITLE=A / B", "TTITLE10=ten", "TTITLE0=zero", "TTITLE1=one", "TTITLE01=padded"}), r));
    EXPECT_EQ(Titles(r), QStringList({"zero", "one"}));
}

TEST(CddbParse, ContinuedLinesAndEscapes)
{
    struct Row {
        QStringList lines;
        const char* artist;
        const char* album;
        QStringList titles;
    } rows[] = {
        {{"DTITLE=Long Artist / Long Al", "DTITLE=bum", "TTITLE0=zero", "TTITLE1=on", "TTITLE0= and more", "TTITLE1=e"},
         "Long Artist", "Long Album", {"zero and more", "one"}},
        // The " / " may come only on the continued line.
        {{"DTITLE=Artist ", "DTITLE=/ Album", "TTITLE0=x"}, "Artist", "Album", {"x"}},
        {{"DTITLE=Two\\nLines / Tab\\there", "TTITLE0=back\\\\slash\\n", "TTITLE1=\\x stays \\"},
         "Two Lines", "Tab\there", {"back\\slash ", "\\x stays \\"}},
        // "\\n" is a backslash and an "n", not a line break.
        {{"DTITLE=A / B", "TTITLE0=C:\\\\new"}, "A", "B", {"C:\\new"}},
    };
    for (const Row& row : rows) {
        DiscRecord r;
        const QString entry = row.lines.join("\r\n") + "\r\n";
        ASSERT_TRUE(ParseXmcd(entry, r)) << entry.toStdString();
        EXPECT_EQ(r.artist, row.artist) << entry.toStdString();
        EXPECT_EQ(r.album, row.album) << entry.toStdString();
        EXPECT_EQ(Titles(r), row.titles) << entry.toStdString();
    }
}

TEST(CddbParse, MoreOffsetsThanTitlesUsesTheFirstOnesAndTheDiscLength)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(Lines({"# Track frame offsets:", "#    150", "#  10150", "#  20150", "#  30150", "#",
                                 "# Disc length: 600 seconds", "DTITLE=A / B", "TTITLE0=a", "TTITLE1=b"}),
                          r));
    EXPECT_EQ(Frames(r), QList<qint64>({10000, 600 * 75 - 10150}));
}

TEST(CddbParse, NoTitlesOrNoOffsetsLeaveLengthsAtZero)
{
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(Lines({"# Track frame offsets:", "# 150", "# 300", "# Disc length: 60 seconds", "DTITLE=A / B"}), r));
    EXPECT_TRUE(r.tracks.isEmpty());

    ASSERT_TRUE(ParseXmcd(Lines({"# Disc length: 60 seconds", "DTITLE=A / B", "TTITLE0=a", "TTITLE1=b"}), r));
    EXPECT_EQ(Frames(r), QList<qint64>({0, 0}));
}

TEST(CddbParse, ShortOrBrokenOffsetBlocks)
{
    DiscRecord r;
    // Fewer offsets than titles: the "#" lines after them are taken as offset lines, the
    // disc-length line reads as 0, and no length may come out negative.
    ASSERT_TRUE(ParseXmcd(Lines({"# Track frame offsets:", "# 150", "# 1150", "#", "# Disc length: 60 seconds",
                                 "DTITLE=A / B", "TTITLE0=a", "TTITLE1=b", "TTITLE2=c", "TTITLE3=d"}),
                          r));
    EXPECT_EQ(Frames(r), QList<qint64>({1000, 0, 0, 0}));

    // Offsets out of order give no negative length; the disc line without its unit is ignored.
    ASSERT_TRUE(ParseXmcd(Lines({"# Track frame offsets:", "# 5000", "# 150", "# Disc length: 60",
                                 "DTITLE=A / B", "TTITLE0=a", "TTITLE1=b"}),
                          r));
    EXPECT_EQ(Frames(r), QList<qint64>({0, 0}));

    // Text that is not a number counts as 0.
    ASSERT_TRUE(ParseXmcd(Lines({"# Track frame offsets:", "# abc", "# 750", "# Disc length: 20 seconds",
                                 "DTITLE=A / B", "TTITLE0=a", "TTITLE1=b"}),
                          r));
    EXPECT_EQ(Frames(r), QList<qint64>({750, 1500 - 750}));
}

TEST(CddbParse, EntriesWithLfLineEndsReadLikeCrLf)
{
    QString lf = ThreeTrackEntry();
    lf.replace("\r\n", "\n");
    DiscRecord r;
    ASSERT_TRUE(ParseXmcd(lf, r));
    EXPECT_EQ(r.album, "Some Album");
    EXPECT_EQ(Frames(r), QList<qint64>({20902, 19118, 21555}));
}

TEST(CddbParse, ReadResponseNeedsStatus210AndTheClosingDotLine)
{
    DiscRecord r;
    QString error;
    ASSERT_TRUE(ParseCddbReadResponse(HttpOk(ThreeTrackEntry()), r, &error)) << error.toStdString();
    EXPECT_EQ(r.tracks.size(), 3);

    EXPECT_FALSE(ParseCddbReadResponse(QString(), r, &error));
    EXPECT_FALSE(ParseCddbReadResponse("HTTP/1.0 200 OK\r\nServer: x\r\n", r, &error)); // no blank line
    EXPECT_FALSE(ParseCddbReadResponse(HttpOk("21"), r, &error));
    EXPECT_FALSE(ParseCddbReadResponse(HttpOk("401 rock 12345678 No such CD entry in database\r\n"), r, &error));
    EXPECT_TRUE(error.contains("401 rock 12345678 No such CD entry in database")) << error.toStdString();

    // Cut off before the "." line: not a disc.
    QString cut = ThreeTrackEntry();
    cut.chop(3);
    EXPECT_FALSE(ParseCddbReadResponse(HttpOk(cut), r, &error));
    EXPECT_TRUE(r.tracks.isEmpty());
}

TEST(CddbParse, BlankLinesInsideTheEntryStayLines)
{
    QString entry = ThreeTrackEntry();
    entry.replace("DYEAR=1999\r\n", "DYEAR=1999\r\n\r\n");
    entry.replace("TTITLE0=One\r\n", "TTITLE0=One\r\n\r\n\r\n");
    DiscRecord r;
    ASSERT_TRUE(ParseCddbReadResponse(HttpOk(entry), r));
    EXPECT_EQ(r.year, "1999");
    EXPECT_EQ(Titles(r), QStringList({"One", "Two", "Three"}));
}
