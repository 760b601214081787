// The disc identifier from track offsets, layouts from playing times, and the answers to
// "cddb query".
#include "freedb/DiscId.h"

#include "freedb/Cddb.h"
#include "tests/common/TestSupport.h"

#include <gtest/gtest.h>

using namespace tunora;

namespace {

QString HttpOk(const QString& body)
{
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

} // namespace

TEST(DiscId, DigitSums)
{
    EXPECT_EQ(CddbSum(0), 0);
    EXPECT_EQ(CddbSum(2), 2);
    EXPECT_EQ(CddbSum(280), 10);
    EXPECT_EQ(CddbSum(3599), 26);
}

TEST(DiscId, IdentifiersOfEntries)
{
    // The disc of the three-track example entry: offsets 150, 21052, 40170, 823 seconds.
    // Start seconds 2, 280, 535 have the digit sums 2 + 10 + 13 = 25 = 0x19; the playing
    // span is 823 - 2 = 821 = 0x335 seconds; 3 tracks.
    EXPECT_EQ(DiscIdText(CddbDiscId({150, 21052, 40170}, 823)), "19033503");

    // Twelve tracks of 13500 frames from 150: start seconds 2, 182, 362, ... 1982, whose
    // digit sums are 2, ten times 11 and 20: 132 = 0x84; length 162150 / 75 = 2162 s,
    // span 2160 = 0x870.
    QList<qint64> twelve;
    for (int i = 0; i < 12; ++i)
        twelve << 150 + 13500 * i;
    EXPECT_EQ(DiscIdText(CddbDiscId(twelve, 2162)), "8408700c");

    // The checksum byte wraps (n % 0xff), the count is the low byte: 99 tracks of 600 s
    // start at 2, 602, 1202, ... seconds.
    QList<qint64> many;
    int sum = 0;
    for (int i = 0; i < 99; ++i) {
        many << 150 + 75 * 600 * i;
        sum += CddbSum(2 + 600 * i);
    }
    const quint32 id = CddbDiscId(many, 99 * 600 + 2);
    EXPECT_EQ(id & 0xff, 99u);
    EXPECT_EQ(id >> 24, quint32(sum % 255));
    EXPECT_GT(sum, 255);
    EXPECT_EQ((id >> 8) & 0xffff, quint32(99 * 600));

    EXPECT_EQ(CddbDiscId({}, 100), 0u);
}

TEST(DiscId, EntriesGiveTheIdentifierOfTheirHeader)
{
    // Offsets and disc length of each entry's comment block give its DISCID line.
    for (const char* name : {"jazz/8408700c", "rock/19033503"}) {
        const QString entry =
            QString::fromUtf8(tunora::test::ReadAll(tunora::test::SourceDir() + "/tests/servers/fixtures/xmcd/" + name));
        QList<qint64> offsets;
        qint64 seconds = 0;
        QString discid;
        bool inOffsets = false;
        for (const QString& line : entry.split("\r\n")) {
            if (line.startsWith("# Track frame offsets:"))
                inOffsets = true;
            else if (inOffsets && line.size() > 1 && line.startsWith("#"))
                offsets << line.mid(1).trimmed().toLongLong();
            else
                inOffsets = false;
            if (line.startsWith("# Disc length: "))
                seconds = line.mid(15).section(' ', 0, 0).toLongLong();
            if (line.startsWith("DISCID="))
                discid = line.mid(7);
        }
        ASSERT_FALSE(offsets.isEmpty()) << name;
        EXPECT_EQ(DiscIdText(CddbDiscId(offsets, seconds)), discid) << name;
        EXPECT_TRUE(QString(name).endsWith(discid)) << name;
    }
}

TEST(DiscId, LayoutFromPlayingTimes)
{
    // 3 s, 5 s and 4.5 s: 225, 375 and 337.5 (rounded up to 338) frames.
    const DiscLayout layout = LayoutFromLengths({3000, 5000, 4500});
    EXPECT_EQ(layout.offsets, QList<qint64>({150, 375, 750}));
    EXPECT_EQ(layout.totalSeconds, (750 + 338) / 75);

    // Rounding to the nearest frame: 13 ms is one frame, 6 ms none.
    EXPECT_EQ(LayoutFromLengths({13, 6}).offsets, QList<qint64>({150, 151}));
    EXPECT_TRUE(LayoutFromLengths({}).offsets.isEmpty());
}

TEST(DiscId, QueryUrl)
{
    tunora::test::TempAppEnv env;
    const DiscLayout layout{{150, 21052, 40170}, 823};
    EXPECT_EQ(CddbQueryUrl(layout), "http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=cddb+query+19033503+3+150+21052+40170+823"
                                    "&hello=tunora+localhost+Tunora+4.0.77&proto=6");
}

TEST(DiscId, QueryAnswers)
{
    QList<QueryMatch> m;
    QString error, line;
    ASSERT_TRUE(ParseCddbQueryResponse(HttpOk("200 rock 19033503 Some Artist / Some Album\r\n"), m));
    EXPECT_EQ(m, QList<QueryMatch>({{"rock", "19033503", "Some Artist / Some Album"}}));

    ASSERT_TRUE(ParseCddbQueryResponse(HttpOk("211 Found inexact matches, list follows (until terminating `.')\r\n"
                                              "rock 19033503 Some Artist / Some Album\r\n"
                                              "misc 19033504 Other / Disc\r\n"
                                              ".\r\n"
                                              "jazz 00000000 After / The Dot\r\n"),
                                       m));
    EXPECT_EQ(m, QList<QueryMatch>({{"rock", "19033503", "Some Artist / Some Album"}, {"misc", "19033504", "Other / Disc"}}));

    ASSERT_TRUE(ParseCddbQueryResponse(HttpOk("210 Found exact matches, list follows (until terminating `.')\n"
                                              "rock 19033503 A / B\n.\n"),
                                       m));
    EXPECT_EQ(m.size(), 1);

    ASSERT_TRUE(ParseCddbQueryResponse(HttpOk("202 No match found\r\n"), m));
    EXPECT_TRUE(m.isEmpty());

    for (const char* refusal : {"500 Unknown developer email", "403 Database entry is corrupt", "401 No such thing"}) {
        EXPECT_FALSE(ParseCddbQueryResponse(HttpOk(QString(refusal) + "\r\n"), m, &error, &line));
        EXPECT_EQ(line, refusal);
        EXPECT_TRUE(m.isEmpty());
    }
    EXPECT_FALSE(ParseCddbQueryResponse("HTTP/1.0 200 OK\r\n", m, &error, &line)); // no body
}
