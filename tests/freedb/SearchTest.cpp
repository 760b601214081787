// The web search: addresses, link extraction and acceptance on both search pages, and the
// search against the loopback server (directly as a proxy, and through tinyproxy).
#include "freedb/Search.h"

#include "freedb/WebClient.h"
#include "shell/core/Settings.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QString Fixture(const QString& relative)
{
    QString page = QString::fromUtf8(ReadAll(SourceDir() + "/tests/servers/fixtures/" + relative));
    page.replace("{PREFIX}", SearchLinkPrefix());
    return page;
}

const QString kTail = "&allfields=NO&fields=artist&fields=title&allcats=YES&grouping=none";

} // namespace

TEST(SearchAddress, WordsFirstAndMore)
{
    EXPECT_EQ(SearchAddress("some album"), "http://www.gnudb.org/freedb_search.php?words=some+album" + kTail);
    EXPECT_EQ(SearchAddress(MoreWords("some album")),
              "http://www.gnudb.org/freedb_search.php?words=some+OR+album" + kTail);
    EXPECT_EQ(MoreWords("a b c"), "a OR b OR c");
    EXPECT_EQ(SearchLinkPrefix(), "http://www.gnudb.org/freedb_search_fmt.php?cat=");

    // Characters that would change the address stay part of the words.
    EXPECT_EQ(SearchAddress("AC/DC & Co #1 100%+"),
              "http://www.gnudb.org/freedb_search.php?words=AC%2FDC+%26+Co+%231+100%25%2B" + kTail);
    EXPECT_EQ(SearchAddress(QString::fromUtf8("Bj\xc3\xb6rk")),
              "http://www.gnudb.org/freedb_search.php?words=Bj%C3%B6rk" + kTail);
    EXPECT_EQ(GnudbSearchAddress("some album"), "http://www.gnudb.org/search/some+album");
}

TEST(SearchAddress, TheSearchCommandSplitsArtistAndAlbum)
{
    struct Row {
        const char* words;
        QList<CddbSearchTerms> tries;
        QString firstCommand;
    } rows[] = {
        {"Some Artist - Some Album", {{"Some Artist", "Some Album"}}, "search&artist=Some+Artist&album=Some+Album"},
        // Only the first " - " splits; a "-" inside a word does not.
        {"AC/DC - Live - 1992", {{"AC/DC", "Live - 1992"}}, "search&artist=AC%2FDC&album=Live+-+1992"},
        {"Jay-Z", {{"Jay-Z", ""}, {"", "Jay-Z"}}, "search&artist=Jay-Z&album="},
        {"R&B #1", {{"R&B #1", ""}, {"", "R&B #1"}}, "search&artist=R%26B+%231&album="},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CddbSearchTries(row.words), row.tries) << row.words;
        EXPECT_EQ(CddbSearchCommand(CddbSearchTries(row.words).first()), row.firstCommand);
    }
    EXPECT_EQ(CddbCommandUrl(CddbSearchCommand({"", "Some Album"})),
              "http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=search&artist=&album=Some+Album"
              "&hello=tunora+localhost+Tunora+4.0.77&proto=6");
}

TEST(SearchAddress, QueryWordsAreTrimmedAndSpacesCollapsed)
{
    EXPECT_EQ(CleanQueryWords("  Some   Album  "), "Some Album");
    EXPECT_EQ(CleanQueryWords("a  b   c"), "a b c");
    EXPECT_EQ(CleanQueryWords("   "), "");
}

TEST(SearchExtract, AcceptanceRules)
{
    SearchResults r;
    ExtractSearchResults(Fixture("search/mixed.html"), r);
    // Every link up to a "</" is collected; the unterminated last one is not.
    EXPECT_EQ(r.List1.size(), 9);
    EXPECT_EQ(r.List1.first(), "rock&id=00000001\">Accepted One");
    EXPECT_EQ(r.List3, QStringList({"Accepted One", "<font size", "<font size=-1>", "Caf&eacute; <b>Bold"}));
    EXPECT_EQ(r.List2, QStringList({"00000001", "00000003", "00000004", "00000009"}));
    EXPECT_EQ(r.categ_lst, QStringList({"rock", "rock", "rock", "blues"}));
}

TEST(SearchExtract, TwentyLinksInPageOrderWithDuplicates)
{
    SearchResults r;
    ExtractSearchResults(Fixture("search/twenty.html"), r);
    ASSERT_EQ(r.size(), 20);
    EXPECT_EQ(r.List3.at(0), "Artist 01 / Album 01");
    EXPECT_EQ(r.List3.at(6), "Artist 03 / Album 03"); // the duplicate stays, in place
    EXPECT_EQ(r.List3.at(19), "Artist 20 / Album 20");
    EXPECT_EQ(r.List2.at(19), "00000014");
    EXPECT_EQ(r.List3.size(), r.categ_lst.size());

    SearchResults none;
    ExtractSearchResults(Fixture("search/nothing.html"), none);
    ExtractSearchResults(QString(), none);
    EXPECT_EQ(none.size(), 0);
    EXPECT_TRUE(none.List1.isEmpty());
}

TEST(SearchExtract, NewerSearchPage)
{
    SearchResults r;
    ExtractGnudbResults(QString::fromUtf8(ReadAll(SourceDir() + "/tests/servers/fixtures/gnudb/gnudbonly.html")), r);
    EXPECT_EQ(r.categ_lst, QStringList({"rock", "jazz", "misc"}));
    EXPECT_EQ(r.List2, QStringList({"19033503", "8408700c", "00000042"}));
    EXPECT_EQ(r.List3, QStringList({"Some Artist / Some Album", "Dozen Band / Twelve Songs & More", "No Slash Title"}));
    EXPECT_EQ(r.List1.size(), 3);

    SearchResults none;
    ExtractGnudbResults(QString::fromUtf8(ReadAll(SourceDir() + "/tests/servers/fixtures/gnudb/nohit.html")), none);
    EXPECT_EQ(none.size(), 0);
}

class SearchServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        server.useAsProxy();
    }
    TempAppEnv env;
    FreedbServer server{env.root()};
};

TEST_F(SearchServerTest, TheWebSitesPageFirstAndNoFallbackWhenItFinds)
{
    SearchResults r;
    QString page, error;
    ASSERT_TRUE(RunWebSearch("Some Album", r, &page, &error)) << error.toStdString();
    EXPECT_EQ(r.List3, QStringList({"Some Artist / Some Album", "Dozen Band / Twelve Songs"}));
    EXPECT_EQ(r.categ_lst, QStringList({"rock", "jazz"}));
    EXPECT_TRUE(page.startsWith("HTTP/1.0 200 OK"));
    EXPECT_EQ(server.requestLines(),
              QStringList{"GET http://www.gnudb.org/freedb_search.php?words=Some+Album" + kTail + " HTTP/1.0"});
}

TEST_F(SearchServerTest, FallsBackToTheNewerPageForTheSameWords)
{
    SearchResults r;
    ASSERT_TRUE(RunWebSearch("gnudbonly words", r));
    EXPECT_EQ(r.List2, QStringList({"19033503", "8408700c", "00000042"}));
    EXPECT_EQ(server.requestLines(),
              QStringList({"GET http://www.gnudb.org/freedb_search.php?words=gnudbonly+words" + kTail + " HTTP/1.0",
                           "GET http://www.gnudb.org/search/gnudbonly+words HTTP/1.0"}));

    QString error, line;
    EXPECT_FALSE(RunWebSearch("nothing at all", r, nullptr, &error, &line));
    EXPECT_EQ(r.size(), 0);
    EXPECT_TRUE(line.isEmpty());

    EXPECT_FALSE(RunWebSearch("forbidden words", r, nullptr, &error, &line));
    EXPECT_EQ(line, "HTTP/1.0 403 Forbidden");
}

TEST_F(SearchServerTest, TheSearchCommandFirstAndTheWebPagesOnlyAsFallback)
{
    const QString page = "GET http://www.gnudb.org/freedb_search.php?words=";
    const QString newer = "GET http://www.gnudb.org/search/";
    struct Row {
        const char* user;
        const char* words;
        bool found;
        QStringList shown;
        QStringList requests; // the start of each request's target, in order
        const char* serverLine;
    } rows[] = {
        {"", "Some Artist - Some Album", true, {"Some Artist / Some Album", "Some Artist / Some Album (Live)"},
         {"search&artist=Some+Artist&album=Some+Album&"}, ""},
        {"", "Dozen Band", true, {"Dozen Band / Twelve Songs"}, {"search&artist=Dozen+Band&album=&"}, ""},
        {"", "Twelve Songs", true, {"Dozen Band / Twelve Songs"},
         {"search&artist=Twelve+Songs&album=&", "search&artist=&album=Twelve+Songs&"}, ""},
        // The command finds nothing: the web site's page does.
        {"", "Some Album", true, {"Some Artist / Some Album", "Dozen Band / Twelve Songs"},
         {"search&artist=Some+Album&album=&", "search&artist=&album=Some+Album&", page + "Some+Album&"}, ""},
        {"", "nothing at all", false, {},
         {"search&artist=nothing+at+all&album=&", "search&artist=&album=nothing+at+all&", page + "nothing+at+all&",
          newer + "nothing+at+all "},
         ""},
        // A server that does not know the command: the web pages.
        {"nosearch@example.org", "Some Album", true, {"Some Artist / Some Album", "Dozen Band / Twelve Songs"},
         {"search&artist=Some+Album&album=&", page + "Some+Album&"}, ""},
        // Any other refusal ends the search with the server's line.
        {"banned@example.org", "Some Album", false, {}, {"search&artist=Some+Album&album=&"},
         "500 Unknown developer email"},
    };
    for (const Row& row : rows) {
        server.clearLog();
        SetSetting("CDDBUser", row.user);
        SearchResults r;
        QString error, line = "unset";
        EXPECT_EQ(RunWordSearch(row.words, r, nullptr, &error, &line), row.found) << row.words;
        EXPECT_EQ(r.List3, row.shown) << row.words;
        EXPECT_EQ(line, row.serverLine) << row.words;
        const QStringList lines = server.requestLines();
        ASSERT_EQ(lines.size(), row.requests.size()) << row.words << lines.join("\n").toStdString();
        for (int i = 0; i < lines.size(); ++i) {
            const QString& want = row.requests.at(i);
            EXPECT_TRUE(want.startsWith("GET ") ? lines.at(i).startsWith(want)
                                                : lines.at(i).contains("/~cddb/cddb.cgi?cmd=" + want))
                << lines.at(i).toStdString();
        }
    }
}

TEST_F(SearchServerTest, ThroughARealProxy)
{
    Tinyproxy proxy(env.root(), server.port());
    ASSERT_TRUE(proxy.running());
    proxy.useAsProxy();
    SearchResults r;
    QString error;
    ASSERT_TRUE(RunWebSearch("Some Album", r, nullptr, &error)) << error.toStdString();
    EXPECT_EQ(r.List2, QStringList({"19033503", "8408700c"}));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests().at(0).contains("words=Some+Album"));
    EXPECT_EQ(WebClient::instance().state(), 0);
}
