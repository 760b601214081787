// The album page with MusicBrainz as its source, on the real main window against the
// loopback stand-in (which fails any request closer than a second to the previous one).
#include "shell/Page.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/musicbrainz/MusicBrainzServer.h"
#include "tests/freedb/FreedbServer.h"

#include <QFile>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace tunora;
using namespace tunora::test;

namespace {

class MusicBrainzWindowTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        // The pace is the lookup source's, checked by MusicBrainzTest; here the page's flow is.
        server = std::make_unique<MusicBrainzServer>(env->root(), QStringList {"--no-pace"});
        ASSERT_TRUE(server->running());
        start();
        page = window->page(PageId::Album);
    }
    void TearDown() override
    {
        EXPECT_TRUE(server->violations().isEmpty()) << server->violations().join("\n").toStdString();
        window.reset();
        server.reset();
        MainWindowFixture::TearDown();
    }
    void click(const char* name) { Child<QPushButton>(page, name)->click(); }
    QString text(const char* name) { return Child<QLineEdit>(page, name)->text(); }
    QStringList shown(const char* list) { return Shown(page, list); }

    std::unique_ptr<MusicBrainzServer> server;
    QWidget* page = nullptr;
};

const QString kPair = "a1b2c3d4-0000-4000-8000-000000000022";

} // namespace

TEST_F(MusicBrainzWindowTest, FindByLengthsReadsAMediumWithItsCoverAndApplyEmbedsIt)
{
    EXPECT_EQ(Child<QLabel>(page, "source_lbl")->text(), "Source:");
    EXPECT_EQ(Child<QCheckBox>(page, "cover_chk")->text(), "Embed front cover");
    EXPECT_EQ(Child<QComboBox>(page, "source_cmb")->currentText(), "CDDB");
    Child<QComboBox>(page, "source_cmb")->setCurrentText("MusicBrainz");
    Child<QCheckBox>(page, "cover_chk")->setChecked(true);
    EXPECT_EQ(Setting("LookupSource"), "MusicBrainz");
    EXPECT_EQ(Setting("EmbedCover"), "1");

    // Two files of 1 s and 2 s: the stand-in's table-of-contents match is the two-disc release.
    const QString folder = env->makeDir("Double");
    ASSERT_TRUE(MakeMp3(folder + "/a.mp3", 1.0));
    ASSERT_TRUE(MakeMp3(folder + "/b.mp3", 2.0));
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) + QByteArray(1000, '\x01');
    ASSERT_TRUE(WriteAll(server->extra() + "/cover/" + kPair + ".png", png));
    browseAlbum(page, folder);
    click("findlen_btn");
    EXPECT_EQ(shown("resalb_lst"), QStringList({"MusicBrainz: Pair & Band / Double Album (1999, XE) CD 1/2 [3]",
                                                "MusicBrainz: Pair & Band / Double Album (1999, XE) CD 2/2 [2]"}));
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join("|").toStdString();

    // The row of the second medium, read while CDDB is chosen again: the row keeps its source.
    Child<QComboBox>(page, "source_cmb")->setCurrentText("CDDB");
    Child<QListWidget>(page, "resalb_lst")->setCurrentRow(1);
    click("fetch_btn");
    EXPECT_EQ(text("artist_txt"), "Pair & Band");
    EXPECT_EQ(text("album_txt"), "Double Album");
    EXPECT_EQ(text("year_txt"), "1999");
    EXPECT_EQ(shown("tracks_lst"), QStringList({"[01] Side Two Opener", "[02] Closer"}));
    EXPECT_EQ(Child<QLabel>(window.get(), "info_lbl")->text(), "");
    ASSERT_TRUE(Child<QPushButton>(page, "apply_btn")->isEnabled());

    for (const char* option : {"ren_chk", "pls_chk"})
        Child<QCheckBox>(page, option)->setChecked(false);
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    click("apply_btn");
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1])\n"
                          "p = t.getall('APIC')\n"
                          "print(len(p), int(p[0].type), p[0].mime, repr(p[0].desc), p[0].data.hex())\n"
                          "print(t['TPOS'].text[0], t['TIT2'].text[0], t['TRCK'].text[0])\n"
                          "print(t['TPE2'].text[0], 'TCON' in ID3(sys.argv[1], load_v1=False))",
                          folder + "/b.mp3"},
                         &tags),
              0);
    // A release without genres writes no genre; its artist is the album artist.
    EXPECT_EQ(tags, "1 3 image/png '' " + png.toHex() + "\n2/2 Closer 2\nPair & Band False\n");

    // 1 - Search with MusicBrainz: the dialog's words, then "more" widens the same words.
    Child<QComboBox>(page, "source_cmb")->setCurrentText("MusicBrainz");
    dialogs->steps << [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Search MusicBrainz"); // the dialog names the source it asks
        Child<QLineEdit>(d, "query_txt")->setText("Dozen - Twelve");
        Child<QPushButton>(d, "ok_btn")->click();
    };
    messages->answers << MsgAnswer::Yes; // the fetched disc may go
    click("go_btn");
    EXPECT_EQ(shown("resalb_lst").value(0), "MusicBrainz: Dozen Band / Twelve Songs (2001, GB) [12]");
    EXPECT_EQ(shown("resalb_lst").size(), 3);
    click("more_btn");
    EXPECT_EQ(shown("resalb_lst").size(), 3);
    EXPECT_TRUE(server->targets().value(5).contains("artist%3A%28Dozen%29%20OR%20release%3A%28Twelve%29"))
        << server->targets().value(5).toStdString();

    // A new window keeps the option and the source last chosen.
    window.reset();
    start();
    page = window->page(PageId::Album);
    EXPECT_EQ(Child<QComboBox>(page, "source_cmb")->currentText(), "MusicBrainz");
    EXPECT_TRUE(Child<QCheckBox>(page, "cover_chk")->isChecked());
    EXPECT_EQ(server->targets().size(), 6); // toc, release, front-500, the picture, two searches
}

// A compilation read through the CDDB proxy setting: MusicBrainz goes by the system's proxy
// (none here), so the proxy that refuses it never sees a request.
TEST_F(MusicBrainzWindowTest, ACompilationGetsEachTracksArtistAndTheMostVotedGenreBesideTheCddbProxy)
{
    Tinyproxy proxy(env->root(), 1); // its upstream is nothing: it refuses every request
    ASSERT_TRUE(proxy.running());
    proxy.useAsProxy();
    Child<QComboBox>(page, "source_cmb")->setCurrentText("MusicBrainz");
    const QString folder = env->makeDir("Two Voices");
    ASSERT_TRUE(MakeMp3(folder + "/a.mp3", 1.0));
    for (const char* f : {"b.mp3", "c.mp3"})
        ASSERT_TRUE(QFile::copy(folder + "/a.mp3", folder + "/" + f));
    browseAlbum(page, folder);
    click("findlen_btn");
    ASSERT_EQ(shown("resalb_lst"), QStringList({"MusicBrainz: Various Artists / Two Voices (2004, GB) [3]"}));
    // Nothing selected, nothing to read.
    auto* results = Child<QListWidget>(page, "resalb_lst");
    if (results->selectedItems().isEmpty()) {
        EXPECT_FALSE(Child<QPushButton>(page, "fetch_btn")->isEnabled());
        results->setCurrentRow(0);
        click("fetch_btn");
    }
    EXPECT_EQ(text("artist_txt"), "Various Artists");
    EXPECT_EQ(text("genre_txt"), "electronic"); // three votes, listed before house's three
    for (const char* option : {"ren_chk", "pls_chk"})
        Child<QCheckBox>(page, option)->setChecked(false);
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    click("apply_btn");
    QByteArray tags;
    ASSERT_EQ(RunProgram(SystemPython(),
                         {"-c",
                          "import sys\nfrom mutagen.id3 import ID3\n"
                          "for f in sys.argv[1:]:\n"
                          "    t = ID3(f, load_v1=False)\n"
                          "    print(t['TPE1'].text[0], '|', t['TPE2'].text[0], '|', t['TCON'].text[0])",
                          folder + "/a.mp3", folder + "/b.mp3", folder + "/c.mp3"},
                         &tags),
              0);
    EXPECT_EQ(tags, "Ann Artist | Various Artists | electronic\n"
                    "Bob feat. Cy | Various Artists | electronic\n"
                    "Various Artists | Various Artists | electronic\n");
    const QByteArray log = ReadAll(env->root() + "/tinyproxy/tinyproxy.log");
    EXPECT_FALSE(log.contains("Request (file descriptor")) << log.constData();

    // A service that refuses the request is told with its answer, not as "nothing found".
    qputenv("TUNORA_MUSICBRAINZ_URL", (server->root() + "elsewhere/ws/2/").toUtf8());
    messages->answers << MsgAnswer::Yes; // the fetched disc may go
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "ok_btn")->click(); };
    click("go_btn");
    qputenv("TUNORA_MUSICBRAINZ_URL", (server->root() + "ws/2/").toUtf8());
    EXPECT_EQ(messages->texts.value(messages->texts.size() - 1), "MusicBrainz answered 404 Not Found.")
        << messages->texts.join("|").toStdString();
}
