#include "playlist/PlaylistPage.h"

#include "folders/Choixrecoldir.h"
#include "playlist/M3u.h"
#include "shell/core/AppState.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace tunora;
using namespace tunora::test;

namespace {

class PlaylistPageTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        music = env->makeDir("Music");
        lists = env->makeDir("Music/Lists");
        for (const char* f : {"Rock/SP/01.mp3", "Rock/SP/02.ogg", "Rock/SP/cover.jpg", "Lists/a.mp3", "01.mp3"})
            ASSERT_TRUE(WriteAll(music + "/" + f, "x"));
        MainWindow* w = start();
        w->switchPage(PageId::Playlist);
        list = Child<QListWidget>(w, "pls_lst");
        name = Child<QLineEdit>(w, "pls_name_txt");
        output = Child<QLineEdit>(w, "pls_output_txt");
        go = Child<QPushButton>(w, "pls_go_btn");
        page = qobject_cast<PlaylistPage*>(w->page(PageId::Playlist));
        ASSERT_TRUE(page);
    }

    QPushButton* button(const char* n) { return Child<QPushButton>(window.get(), n); }

    void chooser(const QString& folder, bool recurse = false)
    {
        dialogs->steps << [folder, recurse](QDialog* d) {
            auto* c = qobject_cast<Choixrecoldir*>(d);
            ASSERT_TRUE(c);
            ASSERT_TRUE(c->setDirPath(folder));
            Child<QCheckBox>(c, "recurse_chk")->setChecked(recurse);
            Child<QPushButton>(c, "ok_btn")->click();
        };
    }

    // A list of files, an output folder and a name, with Go enabled.
    void ready(const QStringList& files, const QString& playlistName)
    {
        for (const QString& f : files)
            list->addItem(f);
        name->setText(playlistName);
        chooser(lists);
        button("pls_output_btn")->click();
        ASSERT_TRUE(go->isEnabled());
    }

    bool fiveButtonsEnabled()
    {
        for (const char* n : {"pls_go_btn", "pls_add_btn", "pls_addfolder_btn", "pls_delete_btn", "pls_reset_btn"})
            if (!button(n)->isEnabled())
                return false;
        return true;
    }

    QString music, lists;
    QListWidget* list = nullptr;
    QLineEdit *name = nullptr, *output = nullptr;
    QPushButton* go = nullptr;
    PlaylistPage* page = nullptr;
};

} // namespace

TEST_F(PlaylistPageTest, CaptionsAndStartState)
{
    EXPECT_FALSE(go->isEnabled());
    EXPECT_EQ(go->text(), LanguageText(97));
    EXPECT_EQ(button("pls_add_btn")->text(), LanguageText(94));
    EXPECT_EQ(button("pls_addfolder_btn")->text(), LanguageText(95));
    EXPECT_EQ(button("pls_delete_btn")->text(), LanguageText(14));
    EXPECT_EQ(button("pls_reset_btn")->text(), LanguageText(96));
    EXPECT_EQ(button("pls_output_btn")->text(), LanguageText(6));
}

TEST_F(PlaylistPageTest, GoFollowsNameAndFolderAsTheyAreTypedAndIsCheckedAgainOnClick)
{
    list->addItem(music + "/01.mp3");
    struct Row {
        QString name, folder;
        bool go;
    };
    for (const Row& r : {Row {"mix", lists, true}, Row {"   ", lists, false}, Row {"../mix", lists, false},
                         Row {"a/b", lists, false}, Row {"..", lists, false}, Row {"#1 mix", lists, true},
                         Row {"mix", music + "/01.mp3", false}, Row {"mix", music + "/none", false}}) {
        name->clear();
        QTest::keyClicks(name, r.name);
        output->clear();
        QTest::keyClicks(output, r.folder);
        EXPECT_EQ(go->isEnabled(), r.go) << r.name.toStdString() << " in " << r.folder.toStdString();
    }

    // The folder goes after Go was enabled: the click finds out and writes nothing.
    const QString later = env->makeDir("Later");
    name->setText("mix");
    output->setText(later);
    ASSERT_TRUE(go->isEnabled());
    ASSERT_TRUE(QDir(later).removeRecursively());
    go->click();
    EXPECT_FALSE(go->isEnabled());
    EXPECT_FALSE(QFileInfo::exists(later));
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    output->setText(lists);
    button("pls_reset_btn")->click();
    EXPECT_FALSE(go->isEnabled());
}

TEST_F(PlaylistPageTest, AddFilesTakesExistingFilesAndRemembersTheFolder)
{
    const QString sp = music + "/Rock/SP";
    fileDialogs->answers << QStringList {sp + "/01.mp3"};
    button("pls_add_btn")->click();
    ASSERT_EQ(fileDialogs->requests.size(), 1);
    const FileDialogRequest& r = fileDialogs->requests.first();
    EXPECT_EQ(r.kind, FileDialogRequest::OpenMany);
    EXPECT_EQ(r.caption, "Tunora");
    EXPECT_EQ(r.directory, AppFolder()); // no LastDir yet
    EXPECT_TRUE(r.filter == "Media files (*.mp3; *.ogg; *.oga; *.vqf; *.ape; *.mpc; *.mp4; *.m4a; *.wma; *.wav; *.flac; *.opus; *.wv; *.aiff; *.aif) (*.mp3 *.ogg *.oga *.vqf *.ape *.mpc *.mp4 *.m4a *.wma *.wav *.flac *.opus *.wv *.aiff *.aif)");
    EXPECT_EQ(page->entries(), QStringList {sp + "/01.mp3"});
    EXPECT_EQ(Setting("LastDir"), sp + "/"); // one file: with its final "/"

    // Several files: the missing one is left out, LastDir loses the final "/".
    fileDialogs->answers << QStringList {sp + "/02.ogg", sp + "/gone.mp3", sp + "/01.mp3"};
    button("pls_add_btn")->click();
    EXPECT_EQ(fileDialogs->requests.last().directory, sp + "/");
    EXPECT_EQ(page->entries(), (QStringList {sp + "/01.mp3", sp + "/02.ogg", sp + "/01.mp3"}));
    EXPECT_EQ(Setting("LastDir"), sp);

    // A cancelled dialog and a single missing file change nothing.
    button("pls_add_btn")->click();
    fileDialogs->answers << QStringList {sp + "/gone.mp3"};
    button("pls_add_btn")->click();
    EXPECT_EQ(page->entries().size(), 3);
    EXPECT_EQ(Setting("LastDir"), sp);
}

TEST_F(PlaylistPageTest, AddFolderKeepsDuplicatesDeleteAndReset)
{
    chooser(music + "/Rock/SP");
    button("pls_addfolder_btn")->click();
    chooser(music, true);
    button("pls_addfolder_btn")->click();
    const QString sp = music + "/Rock/SP";
    EXPECT_EQ(page->entries(), (QStringList {sp + "/01.mp3", sp + "/02.ogg", music + "/01.mp3", sp + "/01.mp3",
                                            sp + "/02.ogg", music + "/Lists/a.mp3"}));
    // A cancelled chooser adds nothing.
    button("pls_addfolder_btn")->click();
    EXPECT_EQ(list->count(), 6);

    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    list->item(5)->setSelected(true);
    button("pls_delete_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {sp + "/02.ogg", sp + "/01.mp3", sp + "/02.ogg"}));
    button("pls_reset_btn")->click();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(PlaylistPageTest, GoWritesRelativeLinesAndReports)
{
    const QString broken = music + "/two\nlines.mp3";
    ready({music + "/Rock/SP/01.mp3", music + "/Lists/a.mp3", broken, music + "/01.mp3", music + "/01.mp3"},
          "  My list ");
    go->click();
    EXPECT_EQ(ReadAll(lists + "/My list.m3u"), "../Rock/SP/01.mp3\r\na.mp3\r\n../01.mp3\r\n../01.mp3\r\n");
    EXPECT_EQ(messages->texts, (QStringList {LeftOutMessage({broken}), LanguageText(51)}));
    EXPECT_TRUE(fiveButtonsEnabled());
}

TEST_F(PlaylistPageTest, AnExistingPlaylistIsReplacedOnlyAfterYes)
{
    ASSERT_TRUE(WriteAll(lists + "/mix.m3u", "old\r\n"));
    ready({music + "/01.mp3"}, "mix");
    messages->answers << MsgAnswer::No;
    go->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(118)});
    EXPECT_EQ(messages->kinds.first(), MsgButtons::YesNo);
    EXPECT_EQ(ReadAll(lists + "/mix.m3u"), "old\r\n");
    EXPECT_TRUE(fiveButtonsEnabled());

    messages->texts.clear();
    messages->answers << MsgAnswer::Yes;
    go->click();
    EXPECT_EQ(messages->texts, (QStringList {LanguageText(118), LanguageText(51)}));
    EXPECT_EQ(ReadAll(lists + "/mix.m3u"), "../01.mp3\r\n");
}

TEST_F(PlaylistPageTest, AFailedWriteKeepsTheOldPlaylist)
{
    ASSERT_TRUE(WriteAll(lists + "/mix.m3u", "old\r\n"));
    ready({music + "/Rock/SP/01.mp3", music + "/Rock/SP/02.ogg"}, "mix");
    messages->answers << MsgAnswer::Yes;
    {
        FileSizeLimit limit(8);
        go->click();
    }
    ASSERT_EQ(messages->texts.size(), 2);
    EXPECT_TRUE(messages->texts.at(1).contains(lists + "/mix.m3u"));
    EXPECT_EQ(ReadAll(lists + "/mix.m3u"), "old\r\n");
    EXPECT_EQ(QDir(lists).entryList(QDir::Files | QDir::Hidden), (QStringList {"a.mp3", "mix.m3u"}));
    EXPECT_TRUE(fiveButtonsEnabled());
}

TEST_F(PlaylistPageTest, ACancelledRunLeavesNoPlaylist)
{
    ASSERT_TRUE(WriteAll(lists + "/mix.m3u", "old\r\n"));
    ready({music + "/01.mp3", music + "/Lists/a.mp3", music + "/Rock/SP/01.mp3"}, "mix");
    int shown = 0;
    QObject guard;
    QObject::connect(&AppState::instance(), &AppState::statusTextChanged, &guard, [&](const QString& text) {
        if (!text.isEmpty() && ++shown == 2)
            SetCancelRequested(true);
    });
    messages->answers << MsgAnswer::Yes;
    go->click();
    EXPECT_EQ(messages->texts, (QStringList {LanguageText(118), LanguageText(177)}));
    EXPECT_FALSE(QFileInfo::exists(lists + "/mix.m3u"));
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(fiveButtonsEnabled());
}

TEST_F(PlaylistPageTest, SetupBrowseButtonChoosesThePlaylistFolder)
{
    auto* browse = Child<QPushButton>(window.get(), "setup_plsbrowse_btn");
    auto* folder = Child<QLineEdit>(window.get(), "setup_plsfolder_txt");
    ASSERT_TRUE(browse && folder);
    browse->setEnabled(true);
    chooser(lists);
    browse->click();
    EXPECT_EQ(folder->text(), lists);
    EXPECT_EQ(dialogs->seen, QStringList {"Choixrecoldir"}); // one chooser per click
    // Cancel leaves the folder as it was.
    browse->click();
    EXPECT_EQ(folder->text(), lists);
}
