// The album page's search, fetch and find-by-lengths flow on a set of the page's controls,
// against the loopback CDDB server.
#include "album/FetchFlow.h"

#include "album/AlbumPage.h"
#include "album/AlbumSession.h"
#include "lookup/CddbSource.h"
#include "audio/Mp3Length.h"
#include "freedb/DiscId.h"
#include "freedb/FreedbTexts.h"
#include "freedb/WebClient.h"
#include "shell/core/AppState.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/freedb/FreedbServer.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

// The album page, whose lookup controls show what the flow's signals tell.
struct PageControls {
    AlbumPage page;
    QListWidget* results = Child<QListWidget>(&page, "resalb_lst");
    QPushButton* go = Child<QPushButton>(&page, "go_btn");
    QPushButton* more = Child<QPushButton>(&page, "more_btn");
    QPushButton* fetch = Child<QPushButton>(&page, "fetch_btn");
    QPushButton* apply = Child<QPushButton>(&page, "apply_btn");
    QPushButton* findlen = Child<QPushButton>(&page, "findlen_btn");
    QStringList resultTexts() const
    {
        QStringList out;
        for (int i = 0; i < results->count(); ++i)
            out << results->item(i)->text();
        return out;
    }
};

// A dialog step: types words into the query dialog and presses OK.
std::function<void(QDialog*)> Type(const QString& words)
{
    return [words](QDialog* d) {
        EXPECT_EQ(d->objectName(), "AskQuery");
        Child<QLineEdit>(d, "query_txt")->setText(words);
        QTest::mouseClick(Child<QPushButton>(d, "ok_btn"), Qt::LeftButton);
    };
}

QList<ListItem> Files(int n)
{
    QList<ListItem> out;
    for (int i = 0; i < n; ++i)
        out.append({QString("%1.mp3").arg(i + 1, 2, 10, QChar('0')), 0});
    return out;
}

class FetchFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.running());
        server.useAsProxy();
        SetSetting("CDDBUser", "tester@example.org");
        session.path = "/music/Some Album";
        session.mp3 = Files(3);
        // As after choosing a folder of files.
        LookupButtons buttons = flow.buttons();
        buttons.search = true;
        flow.setButtons(buttons);
    }
    void TearDown() override
    {
        EXPECT_FALSE(IsBusy());
        EXPECT_EQ(WebClient::instance().state(), 0);
        EXPECT_EQ(AppState::instance().statusText(), "");
    }
    void searchFor(const QString& words)
    {
        dialogs.steps << Type(words);
        flow.search(false);
    }
    void pick(int row)
    {
        ui.results->setCurrentRow(row);
        ui.page.fetchSelected();
    }
    QString extraDir()
    {
        const QString dir = env.root() + "/extra";
        QDir().mkpath(dir);
        return dir;
    }

    TempAppEnv env;
    ScriptedMessages messages;
    ScriptedDialogs dialogs;
    FreedbServer server{env.root(), env.root() + "/extra"};
    PageControls ui;
    AlbumSession& session = ui.page.session();
    FetchFlow& flow = ui.page.fetchFlow();
};

} // namespace

TEST(AskQueryDialog, WordsFromTheFolderNameAndCollapsedSpaces)
{
    TempAppEnv env;
    QString words = "previous";
    {
        AskQuery d("/music/Some Album", words);
        EXPECT_EQ(Child<QLineEdit>(&d, "query_txt")->text(), "Some Album");
        EXPECT_EQ(d.windowTitle(), LanguageText(78));
        EXPECT_EQ(Child<QLabel>(&d, "txt_lbl")->text(), LanguageText(77));
        EXPECT_EQ(Child<QPushButton>(&d, "ok_btn")->text(), LanguageText(65));
    }
    {
        AskQuery d("/music", words);
        EXPECT_EQ(Child<QLineEdit>(&d, "query_txt")->text(), "");
        d.reject(); // the close box keeps the previous words
        EXPECT_EQ(words, "previous");
    }
    {
        AskQuery d("/music", words);
        Child<QLineEdit>(&d, "query_txt")->setText("  two   words  ");
        QTest::mouseClick(Child<QPushButton>(&d, "ok_btn"), Qt::LeftButton);
        EXPECT_EQ(words, "two words");
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
}

TEST_F(FetchFlowTest, SearchFillsTheResultsAndEnablesFetchAndMore)
{
    QStringList shown; // the status line during the search
    QObject guard;
    QObject::connect(&AppState::instance(), &AppState::statusTextChanged, &guard, [&](const QString& t) { shown << t; });
    searchFor("Some   Album");
    // The contact first, then the CDDB client's download counter, cleared at the end.
    EXPECT_EQ(shown.value(0), freedbtext::Contacting()) << shown.join('|').toStdString();
    EXPECT_TRUE(shown.join('|').contains("|Downloading : ")) << shown.join('|').toStdString();
    EXPECT_EQ(shown.value(shown.size() - 1), "");
    EXPECT_EQ(ui.resultTexts(), QStringList({"CDDB: Some Artist / Some Album", "CDDB: Dozen Band / Twelve Songs"}));
    ASSERT_EQ(flow.hits().size(), 2);
    EXPECT_EQ(flow.hits().at(1), (LookupHit{"CDDB", "8408700c", "jazz", 0, "Dozen Band / Twelve Songs"}));
    EXPECT_EQ(flow.queryText(), "Some Album");
    EXPECT_TRUE(flow.webText().startsWith("HTTP/1.0 200 OK"));
    // The search command found nothing for the words as artist or as album: the web page did.
    ASSERT_EQ(server.requestLines().size(), 3);
    EXPECT_TRUE(server.requestLines().at(0).contains("cmd=search&artist=Some+Album&album=&"));
    EXPECT_TRUE(server.requestLines().at(2).contains("words=Some+Album&"));
    // The flow allows a read; the button waits for a row to read.
    EXPECT_TRUE(flow.buttons().fetch);
    EXPECT_FALSE(ui.fetch->isEnabled());
    ui.results->setCurrentRow(0);
    EXPECT_TRUE(ui.fetch->isEnabled());
    EXPECT_TRUE(ui.more->isEnabled());
    EXPECT_TRUE(ui.go->isEnabled());
    EXPECT_TRUE(messages.texts.isEmpty());

    // "more" repeats the same words joined with OR, then stays disabled.
    server.clearLog();
    flow.search(true);
    EXPECT_TRUE(server.requestLines().value(0).contains("words=Some+OR+Album&"));
    EXPECT_FALSE(ui.more->isEnabled());
    EXPECT_EQ(ui.results->count(), 2);
}

TEST_F(FetchFlowTest, ACancelledOrSilentSearchEndsWithoutAnotherRequest)
{
    SetSetting("CDDBUser", "silent@example.org"); // the server reads the request and never answers
    struct Row {
        bool cancel;
        QString message;
    } rows[] = {
        {true, LanguageText(62)},
        {false, LanguageText(62) + "\n\n" + freedbtext::NoAnswer(1)},
    };
    for (const Row& row : rows) {
        server.clearLog();
        messages.texts.clear();
        WebClient::instance().setStallTimeoutMs(row.cancel ? WebClient::kDefaultStallMs : 1000);
        if (row.cancel)
            QTimer::singleShot(300, [] { SetCancelRequested(true); });
        searchFor("Some Album");
        EXPECT_EQ(messages.texts, QStringList{row.message});
        EXPECT_EQ(server.requests().size(), 1); // neither the album try nor the web pages
        EXPECT_TRUE(ui.go->isEnabled());
        EXPECT_FALSE(ui.fetch->isEnabled());
    }
    WebClient::instance().setStallTimeoutMs(WebClient::kDefaultStallMs);
    SetCancelRequested(false);
}

TEST_F(FetchFlowTest, SearchWithoutFilesOrWordsOrResults)
{
    session.mp3.clear();
    flow.search(false);
    EXPECT_EQ(messages.texts, QStringList{LanguageText(167)});
    EXPECT_TRUE(dialogs.seen.isEmpty());

    // The close box on the query dialog with no earlier words: nothing is searched.
    session.mp3 = Files(2);
    messages.texts.clear();
    flow.search(false);
    EXPECT_EQ(dialogs.seen, QStringList{"AskQuery"});
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(ui.go->isEnabled());
    EXPECT_FALSE(ui.more->isEnabled());

    searchFor("nothing here");
    EXPECT_EQ(messages.texts, QStringList{LanguageText(62)});
    EXPECT_EQ(ui.results->count(), 0);
    EXPECT_FALSE(ui.fetch->isEnabled());

    // The close box again: nothing is searched, not even the previous words.
    server.clearLog();
    flow.search(false);
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(ui.go->isEnabled());

    messages.texts.clear();
    searchFor("forbidden words");
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts.at(0).startsWith(LanguageText(62)));
    EXPECT_TRUE(messages.texts.at(0).contains("HTTP/1.0 403 Forbidden"));
}

TEST_F(FetchFlowTest, ANewSearchAsksBeforeClearingAFetchedDisc)
{
    searchFor("Some Album");
    pick(0);
    ASSERT_TRUE(ui.apply->isEnabled());
    server.clearLog();
    messages.answers << MsgAnswer::No;
    flow.search(false);
    EXPECT_EQ(messages.texts, QStringList{LanguageText(61)});
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(session.album, "Some Album"); // kept
    EXPECT_FALSE(ui.more->isEnabled());

    messages.answers << MsgAnswer::Yes;
    searchFor("Some Album");
    EXPECT_EQ(session.album, "");
    EXPECT_TRUE(session.tracks.isEmpty());
    EXPECT_FALSE(ui.apply->isEnabled());
}

TEST_F(FetchFlowTest, FetchFillsTheSession)
{
    searchFor("Some Album");
    int changes = 0;
    QObject::connect(&session, &AlbumSession::changed, [&] { ++changes; });
    server.clearLog();
    // A second click while the read waits does nothing.
    QTimer::singleShot(0, [&] { ui.page.fetchSelected(); });
    pick(0);
    EXPECT_EQ(server.requests().size(), 1); // one read
    EXPECT_EQ(session.artist, "Some Artist");
    EXPECT_EQ(session.album, "Some Album");
    EXPECT_EQ(session.year, "1999");
    EXPECT_EQ(session.genre, "Hard Rock");
    EXPECT_EQ(session.tracks, QStringList({"[01] One", "[02] Two", "[03] Three"}));
    EXPECT_EQ(session.fetched, QList<ListItem>({{"One", 20902}, {"Two", 19118}, {"Three", 21555}}));
    EXPECT_EQ(session.mp3.size(), 3);
    EXPECT_GT(changes, 0);
    EXPECT_TRUE(messages.texts.isEmpty());
    for (QPushButton* b : {ui.apply, ui.fetch, ui.more, ui.go, ui.findlen})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

    // Nothing selected: nothing happens.
    server.clearLog();
    ui.results->clearSelection();
    ui.page.fetchSelected();
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(FetchFlowTest, MoreTracksThanFilesOffersFakeTracks)
{
    session.mp3 = Files(10);
    session.undoAvailable = true; // a previous apply
    searchFor("Some Album");
    messages.answers << MsgAnswer::No;
    pick(1);
    EXPECT_EQ(messages.texts, QStringList{LanguageText(53)});
    EXPECT_EQ(session.mp3.size(), 10);
    EXPECT_EQ(session.tracks.size(), 12);

    messages.answers << MsgAnswer::Yes;
    pick(1);
    ASSERT_EQ(session.mp3.size(), 12);
    EXPECT_EQ(session.mp3.at(10), (ListItem{kFakeTrack, 0}));
    EXPECT_EQ(session.mp3.at(11), (ListItem{kFakeTrack, 0}));
    EXPECT_EQ(session.mp3.at(9).text, "10.mp3");
    EXPECT_FALSE(session.undoAvailable); // undo pairs names by position
}

TEST_F(FetchFlowTest, AHundredTracksAreNumberedFrom01To100)
{
    QString entry = "DTITLE=Long / Disc\n";
    for (int i = 0; i < 100; ++i)
        entry += QString("TTITLE%1=T%1\n").arg(i);
    QDir().mkpath(extraDir() + "/xmcd/misc");
    ASSERT_TRUE(WriteAll(extraDir() + "/xmcd/misc/00000064", entry.toUtf8()));
    QDir().mkpath(extraDir() + "/search");
    ASSERT_TRUE(WriteAll(extraDir() + "/search/long.html",
                         "<a href=\"{PREFIX}misc&id=00000064\">Long / Disc</a>"));
    session.mp3 = Files(100);
    searchFor("long disc");
    pick(0);
    ASSERT_EQ(session.tracks.size(), 100);
    EXPECT_EQ(session.tracks.at(0), "[01] T0");
    EXPECT_EQ(session.tracks.at(8), "[09] T8");
    EXPECT_EQ(session.tracks.at(9), "[10] T9");
    EXPECT_EQ(session.tracks.at(98), "[99] T98");
    EXPECT_EQ(session.tracks.at(99), "[100] T99");
}

TEST_F(FetchFlowTest, AFailedReadShowsText54AndTheServersLine)
{
    QDir().mkpath(extraDir() + "/search");
    ASSERT_TRUE(WriteAll(extraDir() + "/search/missing.html",
                         "<a href=\"{PREFIX}rock&id=deadbeef\">Gone / Away</a>"
                         "<a href=\"{PREFIX}http404&id=deadbeef\">Broken / Server</a>"));
    searchFor("missing");
    session.fetched = {{"stale", 5}};
    pick(0);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts.at(0), LanguageText(54) + "\n\n" +
                                        freedbtext::ServerAnswered("401 rock deadbeef No such CD entry in database"));
    EXPECT_TRUE(session.fetched.isEmpty());
    EXPECT_FALSE(ui.apply->isEnabled());
    for (QPushButton* b : {ui.fetch, ui.more, ui.go})
        EXPECT_TRUE(b->isEnabled());

    messages.texts.clear();
    pick(1);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts.at(0).endsWith("HTTP/1.0 404 Not Found"));

    // No server at all: text 54 alone.
    messages.texts.clear();
    SetSetting("ProxyPort", "1");
    pick(0);
    EXPECT_EQ(messages.texts, QStringList{LanguageText(54)});
}

TEST_F(FetchFlowTest, AnAnonymousHelloIsMentionedOnce)
{
    SetSetting("CDDBUser", "");
    searchFor("Some Album");
    searchFor("Some Album");
    EXPECT_EQ(messages.texts, QStringList{freedbtext::AnonymousHello()});
}

TEST_F(FetchFlowTest, FindByLengthsListsTheMatchesAndFetches)
{
    const QString album = env.makeDir("album");
    const double seconds[] = {3.0, 5.0, 4.0};
    QList<qint64> ms;
    for (int i = 0; i < 3; ++i) {
        const QString path = album + QString("/%1.mp3").arg(i + 1, 2, 10, QChar('0'));
        ASSERT_TRUE(MakeMp3(path, seconds[i]));
        double len = 0;
        ASSERT_TRUE(GetMp3Length(path, len));
        ms << qint64(len);
    }
    session.path = album;
    session.mp3 = Files(3);

    // Offsets from frame 150, each track's length rounded to frames; seconds of the whole.
    QList<qint64> offsets{150};
    for (int i = 0; i < 2; ++i)
        offsets << offsets.last() + (ms.at(i) * 75 + 500) / 1000;
    const qint64 total = (offsets.last() + (ms.at(2) * 75 + 500) / 1000) / 75;
    const QString id = DiscIdText(CddbDiscId(offsets, total));
    QDir().mkpath(extraDir() + "/query");
    ASSERT_TRUE(WriteAll(extraDir() + "/query/" + id,
                         "211 Found inexact matches, list follows (until terminating `.')\r\n"
                         "rock 19033503 Some Artist / Some Album\r\n"
                         "jazz 8408700c Dozen Band / Twelve Songs\r\n"
                         ".\r\n"));

    flow.findByLengths();
    QString expected = "cmd=cddb+query+" + id + "+3";
    for (qint64 o : offsets)
        expected += "+" + QString::number(o);
    expected += "+" + QString::number(total) + "&hello=tester+example.org+Tunora+4.0.77&proto=6";
    ASSERT_EQ(server.requestLines().size(), 1);
    EXPECT_TRUE(server.requestLines().at(0).contains(expected)) << server.requestLines().at(0).toStdString();
    EXPECT_EQ(ui.resultTexts(), QStringList({"CDDB: Some Artist / Some Album", "CDDB: Dozen Band / Twelve Songs"}));
    EXPECT_TRUE(flow.buttons().fetch);
    EXPECT_EQ(ui.fetch->isEnabled(), !ui.results->selectedItems().isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty());

    EXPECT_TRUE(session.tracks.isEmpty()) << "inexact matches wait for a choice";
    pick(0);
    EXPECT_EQ(session.album, "Some Album");
    EXPECT_EQ(session.tracks.size(), 3);

    // The same files with the server refusing the hello.
    SetSetting("CDDBUser", "banned@example.org");
    messages.answers << MsgAnswer::Yes; // text 61: a fetched disc is on the page
    flow.findByLengths();
    ASSERT_EQ(messages.texts.size(), 2);
    EXPECT_EQ(messages.texts.at(0), LanguageText(61));
    EXPECT_EQ(messages.texts.at(1), LanguageText(62) + "\n\n" + freedbtext::ServerAnswered("500 Unknown developer email"));
    EXPECT_EQ(ui.results->count(), 0);
    EXPECT_FALSE(ui.fetch->isEnabled());

    // One exact match (200) is the disc: it is fetched at once.
    SetSetting("CDDBUser", "tester@example.org");
    ASSERT_TRUE(WriteAll(extraDir() + "/query/" + id, "200 rock 19033503 Some Artist / Some Album\r\n"));
    server.clearLog();
    messages.texts.clear();
    flow.findByLengths();
    EXPECT_EQ(ui.resultTexts(), QStringList({"CDDB: Some Artist / Some Album"}));
    EXPECT_EQ(session.album, "Some Album");
    EXPECT_EQ(session.tracks.size(), 3);
    ASSERT_EQ(server.requestLines().size(), 2);
    EXPECT_TRUE(server.requestLines().at(1).contains("cmd=cddb+read+rock+19033503")) << server.requestLines().at(1).toStdString();
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('|').toStdString();
}

TEST_F(FetchFlowTest, FindByLengthsNeedsMeasurableFiles)
{
    const QString album = env.makeDir("notaudio");
    ASSERT_TRUE(WriteAll(album + "/01.mp3", QByteArray(4096, 'x')));
    session.path = album;
    session.mp3 = {{"01.mp3", 0}};
    flow.findByLengths();
    EXPECT_EQ(messages.texts, QStringList{freedbtext::NoPlayingTimes()});
    EXPECT_TRUE(server.requests().isEmpty());

    messages.texts.clear();
    session.mp3.clear();
    flow.findByLengths();
    EXPECT_EQ(messages.texts, QStringList{LanguageText(167)});
}

TEST_F(FetchFlowTest, TheCddbSourceSearchesAndReadsThroughTheLookupInterface)
{
    CddbSource source;
    QSignalSpy running(&source, &LookupSource::runningChanged);
    QList<LookupHit> hits;
    LookupDisc disc;
    QStringList failures;
    QObject::connect(&source, &LookupSource::hitsReady, [&](const QList<LookupHit>& h) { hits = h; });
    QObject::connect(&source, &LookupSource::discReady, [&](const LookupDisc& d) { disc = d; });
    QObject::connect(&source, &LookupSource::failed, [&](const QString& text) { failures << text; });

    source.searchWords("Some Album", false);
    ASSERT_EQ(hits.size(), 2);
    EXPECT_EQ(hits.at(0), (LookupHit{"CDDB", "19033503", "rock", 0, "Some Artist / Some Album"}));
    EXPECT_EQ(hits.at(1).group, "jazz");
    EXPECT_EQ(running.size(), 2);
    EXPECT_FALSE(source.isRunning());

    source.read(hits.at(0));
    EXPECT_EQ(disc.artist, "Some Artist");
    EXPECT_EQ(disc.genre, "Hard Rock"); // DGENRE; the category only stands in for an entry without one
    EXPECT_EQ(disc.tracks, (QList<LookupTrack>{{"One", 20902}, {"Two", 19118}, {"Three", 21555}}));
    // A "Various" disc's titles "Artist / Title" name each track's artist; a plain title none.
    source.read(LookupHit{"CDDB", "d0d0d002", "misc", 0, {}});
    EXPECT_EQ(disc.artist, "Various");
    EXPECT_EQ(disc.genre, "Electronic");
    EXPECT_EQ(disc.tracks, (QList<LookupTrack>{{"First Light", 15000, "Ann Artist"}, {"Second Wind", 15000, {}}}));

    // A refusal is the reason a window tells; lastError() what tunora-cli prints.
    source.read(LookupHit{"CDDB", "deadbeef", "rock", 0, {}});
    EXPECT_TRUE(source.lastError().contains("401 rock deadbeef")) << source.lastError().toStdString();
    source.searchLengths({1000, 2000});
    EXPECT_EQ(source.lastError(), "no disc found");
    EXPECT_EQ(failures, QStringList({freedbtext::ServerAnswered("401 rock deadbeef No such CD entry in database"), ""}));
    EXPECT_EQ(running.size(), 10);
}
