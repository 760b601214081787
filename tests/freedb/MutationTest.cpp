// Network answers are untrusted: mutated entries, pages and query answers must parse
// without a crash and keep the results' invariants (run under ASan and UBSan).
#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/Search.h"
#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QByteArray Fixture(const QString& relative)
{
    QByteArray bytes = ReadAll(SourceDir() + "/tests/servers/fixtures/" + relative);
    bytes.replace("{PREFIX}", SearchLinkPrefix().toUtf8());
    return bytes;
}

// Flips, inserts, deletes and duplicates bytes, and splices in the parsers' own markers.
QByteArray Mutate(QByteArray b, QRandomGenerator& rng)
{
    static const QByteArray tokens[] = {"\r\n", "\n", "#", "/", "=", ">", "\"", "</", "&id=", "TITLE", "TTITLE99=",
                                        "DTITLE=", "DYEAR=", "# Track frame offsets:", "# Disc length:", " seconds",
                                        "<font size=-1>", "Discid:", "<a href=\"x\">", "210 ", "211 ", ".\r\n",
                                        "\xff\xfe", "\xc3", "99999999999999999999", "-"};
    const int steps = 1 + rng.bounded(8);
    for (int s = 0; s < steps; ++s) {
        const int pos = b.isEmpty() ? 0 : rng.bounded(int(b.size()));
        switch (rng.bounded(5)) {
        case 0:
            if (!b.isEmpty())
                b[pos] = char(rng.bounded(256));
            break;
        case 1:
            b.insert(pos, tokens[rng.bounded(int(std::size(tokens)))]);
            break;
        case 2:
            b.remove(pos, rng.bounded(64));
            break;
        case 3:
            b.insert(pos, b.mid(rng.bounded(int(b.size()) + 1), rng.bounded(200)));
            break;
        default:
            b.truncate(pos);
            break;
        }
    }
    return b;
}

} // namespace

TEST(Mutation, EntriesNeverGiveNegativeLengthsOrCrash)
{
    QRandomGenerator rng(20261208);
    const QByteArray seeds[] = {"HTTP/1.0 200 OK\r\n\r\n210 rock 19033503 x\r\n" + Fixture("xmcd/rock/19033503") + ".\r\n",
                                "HTTP/1.0 200 OK\r\n\r\n210 jazz 8408700c x\r\n" + Fixture("xmcd/jazz/8408700c") + ".\r\n",
                                Fixture("xmcd/misc/b0b0b002"), Fixture("xmcd/rock/ac0dc002")};
    for (int i = 0; i < 3000; ++i) {
        const QString text = DecodeText(Mutate(seeds[i % std::size(seeds)], rng));
        DiscRecord r;
        const bool ok = (i % 2) ? ParseCddbReadResponse(text, r) : ParseXmcd(text, r);
        if (!ok) {
            EXPECT_TRUE(r.tracks.isEmpty());
        }
        for (const CddbTrack& t : r.tracks)
            ASSERT_GE(t.frames, 0) << text.toStdString();
    }
}

TEST(Mutation, SearchPagesKeepTheirListsAligned)
{
    QRandomGenerator rng(7);
    const QByteArray seeds[] = {Fixture("search/mixed.html"), Fixture("search/twenty.html"),
                                Fixture("gnudb/gnudbonly.html")};
    for (int i = 0; i < 3000; ++i) {
        const QString page = DecodeText(Mutate(seeds[i % 3], rng));
        SearchResults r;
        ExtractSearchResults(page, r);
        ExtractGnudbResults(page, r);
        ASSERT_EQ(r.List2.size(), r.List3.size());
        ASSERT_EQ(r.List2.size(), r.categ_lst.size());
        ASSERT_LE(r.List2.size(), r.List1.size());
        for (qsizetype k = 0; k < r.size(); ++k) {
            EXPECT_FALSE(r.List2.at(k).isEmpty());
            EXPECT_FALSE(r.categ_lst.at(k).isEmpty());
            EXPECT_FALSE(r.List3.at(k).isEmpty());
        }
    }
}

TEST(Mutation, QueryAnswers)
{
    QRandomGenerator rng(11);
    const QByteArray seed = "HTTP/1.0 200 OK\r\n\r\n211 Found inexact matches, list follows (until terminating `.')\r\n"
                            "rock 19033503 Some Artist / Some Album\r\njazz 8408700c Dozen Band / Twelve Songs\r\n.\r\n";
    for (int i = 0; i < 3000; ++i) {
        QList<QueryMatch> m;
        QString error, line;
        const QString text = DecodeText(Mutate(seed, rng));
        if (!ParseCddbQueryResponse(text, m, &error, &line)) {
            EXPECT_TRUE(m.isEmpty());
        }
        if (!ParseCddbSearchResponse(text, m, &error, &line)) {
            EXPECT_TRUE(m.isEmpty());
        }
        for (const QueryMatch& q : m)
            EXPECT_FALSE(q.discid.isEmpty());
    }
}
