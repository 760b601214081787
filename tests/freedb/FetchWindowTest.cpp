// The album road's search and fetch on the real main window, through tinyproxy to the
// loopback CDDB server.
#include "album/AlbumPage.h"
#include "freedb/WebClient.h"
#include "shell/Page.h"
#include "shell/core/AppState.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/freedb/FreedbServer.h"
#include "tests/common/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

using namespace tunora;
using namespace tunora::test;

namespace {

class FetchWindowTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        server = std::make_unique<FreedbServer>(env->root());
        ASSERT_TRUE(server->running());
        proxy = std::make_unique<Tinyproxy>(env->root(), server->port());
        ASSERT_TRUE(proxy->running());
        proxy->useAsProxy();
        SetSetting("CDDBUser", "tester@example.org");
        start();
        page = window->page(PageId::Album);
    }
    void TearDown() override
    {
        proxy.reset();
        server.reset();
        MainWindowFixture::TearDown();
    }
    void browse(const QString& folder) { browseAlbum(page, folder); }
    void click(const char* name) { Child<QPushButton>(page, name)->click(); }
    QString text(const char* name) { return Child<QLineEdit>(page, name)->text(); }
    QStringList shown(const char* list) { return Shown(page, list); }
    bool enabled(const char* name) { return Child<QPushButton>(page, name)->isEnabled(); }
    void expectIdle()
    {
        EXPECT_FALSE(IsBusy());
        EXPECT_EQ(WebClient::instance().state(), 0);
        EXPECT_EQ(Child<QLabel>(window.get(), "info_lbl")->text(), "");
        for (const char* b : {"go_btn", "more_btn"})
            EXPECT_TRUE(enabled(b)) << b;
        // "2 - Retrieve details" reads the selected result, and only that.
        EXPECT_EQ(enabled("fetch_btn"), !Child<QListWidget>(page, "resalb_lst")->selectedItems().isEmpty());
        for (int i = 0; i < 7; ++i)
            EXPECT_TRUE(Child<QWidget>(window.get(), QString("brand_btn_%1").arg(i))->isEnabled());
    }

    std::unique_ptr<FreedbServer> server;
    std::unique_ptr<Tinyproxy> proxy;
    QWidget* page = nullptr;
};

} // namespace

TEST_F(FetchWindowTest, SearchAndFetchFillTheAlbumPage)
{
    const QString folder = env->makeDir("Some Album");
    ASSERT_TRUE(MakeMp3(folder + "/b.mp3", 1.0));
    ASSERT_TRUE(MakeMp3(folder + "/a.mp3", 2.0));
    browse(folder);
    ASSERT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "b.mp3"}));

    QString offered;
    dialogs->steps << [&](QDialog* d) {
        offered = Child<QLineEdit>(d, "query_txt")->text();
        Child<QPushButton>(d, "ok_btn")->click();
    };
    click("go_btn");
    EXPECT_EQ(offered, "Some Album");
    EXPECT_EQ(shown("resalb_lst"), QStringList({"CDDB: Some Artist / Some Album", "CDDB: Dozen Band / Twelve Songs"}));
    expectIdle();
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join("|").toStdString();

    Child<QListWidget>(page, "resalb_lst")->setCurrentRow(0);
    messages->answers << MsgAnswer::Yes; // three tracks, two files: add a fake track
    click("fetch_btn");
    EXPECT_EQ(messages->texts, QStringList{LanguageText(53)});
    EXPECT_EQ(text("artist_txt"), "Some Artist");
    EXPECT_EQ(text("album_txt"), "Some Album");
    EXPECT_EQ(text("year_txt"), "1999");
    EXPECT_EQ(text("genre_txt"), "Hard Rock"); // the entry's DGENRE, not its category
    EXPECT_EQ(shown("tracks_lst"), QStringList({"[01] One", "[02] Two", "[03] Three"}));
    EXPECT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "b.mp3", "**FAKE TRACK**"}));
    EXPECT_TRUE(enabled("apply_btn"));
    expectIdle();
    // scripts/screenshot.sh takes its picture of the album page here.
    const QString shot = qEnvironmentVariable("TUNORA_SCREENSHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(window->grab().save(shot)) << shot.toStdString();
    }

    // Every request went through tinyproxy to the server, with the program's own host names:
    // the search command as artist and as album, the web page, the read.
    const QStringList lines = server->requestLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines.at(1).contains("/~cddb/cddb.cgi?cmd=search&artist=&album=Some+Album&hello=tester+example.org"))
        << lines.at(1).toStdString();
    EXPECT_TRUE(lines.at(2).startsWith("GET http://www.gnudb.org:80/freedb_search.php?words=Some+Album&") ||
                lines.at(2).startsWith("GET http://www.gnudb.org/freedb_search.php?words=Some+Album&"))
        << lines.at(2).toStdString();
    EXPECT_TRUE(lines.at(3).contains("/~cddb/cddb.cgi?cmd=cddb+read+rock+19033503&hello=tester+example.org+Tunora+4.0.77"))
        << lines.at(3).toStdString();
    EXPECT_TRUE(server->requests().at(3).contains("\r\nUser-Email: tester@example.org\r\n"));
}

TEST_F(FetchWindowTest, TheSearchDialogCancelsEnterFetchesAndAnotherFolderClearsTheResults)
{
    const QString folder = env->makeDir("Some Album");
    for (const char* f : {"a.mp3", "b.mp3", "c.mp3"})
        ASSERT_TRUE(WriteAll(folder + "/" + f, "x"));
    browse(folder);
    dialogs->steps << [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), LanguageText(78)); // the CDDB search's own title
        Child<QPushButton>(d, "ok_btn")->click();
    };
    click("go_btn");
    const QStringList found = shown("resalb_lst");
    ASSERT_EQ(found.size(), 2);

    // Escape and the close box end the dialog without a search; the results stay.
    const std::function<void(QDialog*)> cancels[] = {
        [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); },
        [](QDialog* d) { d->close(); },
    };
    for (const auto& cancel : cancels) {
        server->clearLog();
        dialogs->steps << cancel;
        click("go_btn");
        EXPECT_TRUE(server->requestLines().isEmpty()) << server->requestLines().join('\n').toStdString();
        EXPECT_EQ(shown("resalb_lst"), found);
        expectIdle();
    }

    // Enter on a result fetches it.
    auto* results = Child<QListWidget>(page, "resalb_lst");
    results->setCurrentRow(0);
    QTest::keyClick(results, Qt::Key_Return);
    EXPECT_EQ(text("album_txt"), "Some Album");
    EXPECT_EQ(shown("tracks_lst").size(), 3);

    ASSERT_TRUE(enabled("apply_btn"));

    // Another folder: the discs found for this one go, and "2 - Retrieve details" with them;
    // so does the disc fetched, and "3 - Apply" waits for one fetched for the new folder.
    const QString other = env->makeDir("Other");
    ASSERT_TRUE(WriteAll(other + "/x.mp3", "x"));
    browse(other);
    EXPECT_TRUE(shown("resalb_lst").isEmpty());
    EXPECT_FALSE(enabled("fetch_btn"));
    EXPECT_FALSE(enabled("apply_btn"));
    for (const char* field : {"artist_txt", "album_txt", "year_txt", "genre_txt"})
        EXPECT_EQ(text(field), "") << field;
    EXPECT_TRUE(shown("tracks_lst").isEmpty());
    EXPECT_TRUE(qobject_cast<AlbumPage*>(page)->session().fetched.isEmpty()); // nor do the statistics count it
    EXPECT_EQ(shown("mp3_lst"), QStringList({"x.mp3"}));
}

TEST_F(FetchWindowTest, AFailedFetchEndsWithTheButtonsEnabled)
{
    const QString folder = env->makeDir("Gone");
    ASSERT_TRUE(WriteAll(folder + "/a.mp3", "x"));
    browse(folder);
    dialogs->steps << [&](QDialog* d) {
        Child<QLineEdit>(d, "query_txt")->setText("gnudbonly");
        Child<QPushButton>(d, "ok_btn")->click();
    };
    click("go_btn");
    ASSERT_EQ(shown("resalb_lst").size(), 3);

    // The third hit names a disc the server does not have.
    Child<QListWidget>(page, "resalb_lst")->setCurrentRow(2);
    click("fetch_btn");
    ASSERT_EQ(messages->texts.size(), 1);
    EXPECT_TRUE(messages->texts.at(0).startsWith(LanguageText(54)));
    EXPECT_TRUE(messages->texts.at(0).contains("401 misc 00000042 No such CD entry in database"));
    EXPECT_FALSE(enabled("apply_btn"));
    expectIdle();
}
