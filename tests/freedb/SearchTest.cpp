// The web search: addresses, link extraction and acceptance on both search pages, and the
// search against the loopback server (directly as a proxy, and through tinyproxy).
#include "freedb/Search.h"

#include "freedb/WebClient.h"
#include "shell/core/Settings.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"
#include "tests/freedb/Printers.h"

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
