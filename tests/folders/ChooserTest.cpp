#include "folders/Choixrecoldir.h"

#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace tunora;
using namespace tunora::test;

namespace {

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        album = env.makeDir("music/album");
        for (const char* f : {"song.mp3", "cover.jpg", "live.ogg", "Track.MP3"})
            ASSERT_TRUE(WriteAll(album + "/" + f, "x"));
    }

    // Queues one use of the chooser: move to folder, set the format and recursion, click.
    void script(const QString& folder, const QString& button, const QString& format = {}, bool recurse = false)
    {
        dialogs.steps << [=](QDialog* d) {
            auto* c = qobject_cast<Choixrecoldir*>(d);
            ASSERT_TRUE(c);
            ASSERT_TRUE(c->setDirPath(folder));
            if (!format.isEmpty())
                Child<QComboBox>(c, "format_cmb")->setCurrentText(format);
            Child<QCheckBox>(c, "recurse_chk")->setChecked(recurse);
            Child<QPushButton>(c, button)->click();
        };
    }

    TempAppEnv env;
    ScriptedMessages messages;
    ScriptedDialogs dialogs;
    QString album;
};

} // namespace

TEST_F(ChooserTest, EachModeShowsItsPartsAtTheFormsSizeOrMore)
{
    Choixrecoldir c;
    auto* recurse = Child<QGroupBox>(&c, "recurse_frm");
    struct Row {
        int mode, width; // mode: the dialog's mode number
        bool recurse, preview;
    };
    for (const Row& r : {Row {1, 531, false, true}, Row {2, 288, false, false}, Row {3, 288, false, false},
                         Row {4, 288, true, false}, Row {5, 288, false, false}, Row {6, 288, true, false},
                         Row {7, 288, false, false}, Row {8, 288, true, false}}) {
        c.SetMode(ChooserMode(r.mode));
        EXPECT_EQ(c.mode(), ChooserMode(r.mode));
        EXPECT_GE(c.width(), r.width) << r.mode;
        EXPECT_GE(c.height(), 317) << r.mode;
        EXPECT_EQ(!recurse->isHidden(), r.recurse) << r.mode;
        EXPECT_EQ(!Child<QWidget>(&c, "file_frm")->isHidden(), r.preview) << r.mode;
    }
    // A mode outside 1..8 is kept but changes nothing shown.
    c.SetMode(ChooserMode(9));
    EXPECT_EQ(c.mode(), ChooserMode(9));
    EXPECT_FALSE(recurse->isHidden());
}

TEST_F(ChooserTest, OpensWithCaptionsFormatsAndTheLastFolder)
{
    SetSetting("LastDir", album);
    Choixrecoldir c;
    EXPECT_EQ(c.mode(), ChooserMode::AlbumFolder);
    EXPECT_EQ(c.windowTitle(), LanguageText(5));
    EXPECT_EQ(Child<QPushButton>(&c, "ok_btn")->text(), LanguageText(65));
    EXPECT_EQ(Child<QCheckBox>(&c, "recurse_chk")->text(), LanguageText(103));
    EXPECT_EQ(Child<QGroupBox>(&c, "recurse_frm")->title(), LanguageText(4));
    auto* format = Child<QComboBox>(&c, "format_cmb");
    QStringList items;
    for (int i = 0; i < format->count(); ++i)
        items << format->itemText(i);
    EXPECT_EQ(items, QStringList({"MP3", "OGG", "VQF", "APE", "MPC", "MP4", "WMA", "WAV", "FLAC", "OPUS", "WV", "AIFF"}));
    EXPECT_EQ(format->currentIndex(), 0);
    EXPECT_EQ(c.dirPath(), album);
    EXPECT_EQ(c.drives().value(0), QString("/"));

    // The preview follows the format: MP3 in any letter case, then OGG.
    auto* files = Child<QListWidget>(&c, "file_lst");
    ASSERT_EQ(files->count(), 2);
    EXPECT_EQ(files->item(0)->text(), QString("song.mp3"));
    EXPECT_EQ(files->item(1)->text(), QString("Track.MP3"));
    format->setCurrentText("OGG");
    ASSERT_EQ(files->count(), 1);
    EXPECT_EQ(files->item(0)->text(), QString("live.ogg"));
}

TEST_F(ChooserTest, WithoutAUsableLastFolderItOpensAtHome)
{
    for (const QString& last : {QString(), env.root() + "/gone", album + "/song.mp3"}) {
        SetSetting("LastDir", last);
        Choixrecoldir c;
        EXPECT_EQ(c.dirPath(), QDir::homePath()) << last.toStdString();
        EXPECT_EQ(Child<QLineEdit>(&c, "dir_txt")->text(), QDir::homePath());
    }
}

TEST_F(ChooserTest, APathTypedOrPastedIsTaken)
{
    Choixrecoldir c;
    auto* path = Child<QLineEdit>(&c, "dir_txt");
    // Enter moves the tree and the preview there, without pressing OK.
    path->setText(album + "/");
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_EQ(c.dirPath(), album);
    EXPECT_EQ(path->text(), album);
    EXPECT_EQ(Child<QListWidget>(&c, "file_lst")->count(), 2);
    EXPECT_EQ(c.result(), 0);
    // Not a folder: the system's reason, and the folder shown stays.
    for (const QString& bad : {env.root() + "/gone", album + "/song.mp3"}) {
        path->setText(bad);
        QTest::keyClick(path, Qt::Key_Enter);
        EXPECT_EQ(c.dirPath(), album);
        EXPECT_EQ(path->text(), album);
    }
    EXPECT_EQ(messages.texts.size(), 2);
    EXPECT_TRUE(messages.texts.value(0).startsWith(env.root() + "/gone: "));

    // Pasted and OK clicked straight away: the typed folder is delivered.
    dialogs.steps << [&](QDialog* d) {
        Child<QLineEdit>(d, "dir_txt")->setText(env.root() + "/music");
        Child<QPushButton>(d, "ok_btn")->click();
    };
    QString folder;
    ASSERT_TRUE(ChooseFolder(nullptr, ChooserMode::ListerInput, &folder));
    EXPECT_EQ(folder, env.root() + "/music");
    EXPECT_EQ(Setting("LastDir"), env.root() + "/music");
}

TEST_F(ChooserTest, LastDirIsWrittenOnOkOnly)
{
    SetSetting("LastDir", env.root());
    script(album, "cancel_btn");
    QString folder = "untouched", format = "untouched";
    EXPECT_FALSE(ChooseFolder(nullptr, ChooserMode::AlbumFolder, &folder, &format));
    EXPECT_EQ(folder, QString("untouched"));
    EXPECT_EQ(Setting("LastDir"), env.root());

    script(album, "ok_btn", "WAV");
    EXPECT_TRUE(ChooseFolder(nullptr, ChooserMode::AlbumFolder, &folder, &format));
    EXPECT_EQ(folder, album);
    EXPECT_EQ(format, QString("WAV"));
    EXPECT_EQ(Setting("LastDir"), album);
}

TEST_F(ChooserTest, TheRootIsDeliveredWithoutItsSlash)
{
    for (ChooserMode mode : {ChooserMode::AlbumFolder, ChooserMode::ListerInput, ChooserMode::ListerOutput,
                             ChooserMode::SetupPlaylistFolder, ChooserMode::PlaylistOutput}) {
        script("/", "ok_btn");
        QString folder = "x";
        ASSERT_TRUE(ChooseFolder(nullptr, mode, &folder));
        EXPECT_EQ(folder, QString()) << int(mode); // "" + "/" + name is a path under the root
    }
}

TEST_F(ChooserTest, WalkModesDeliverByTheirCallersRules)
{
    // Bulk: only audio files; a second walk of the same folder adds nothing new.
    script(album, "ok_btn");
    const QStringList first = ChooseAndWalk(nullptr, ChooserMode::BulkAddFolder, {});
    EXPECT_EQ(first, QStringList({album + "/Track.MP3", album + "/live.ogg", album + "/song.mp3"}));
    script(album, "ok_btn");
    EXPECT_TRUE(ChooseAndWalk(nullptr, ChooserMode::BulkAddFolder, first).isEmpty());

    // Playlist: the selected format does not narrow the walk; duplicates are allowed.
    script(album, "ok_btn", "WAV");
    EXPECT_EQ(ChooseAndWalk(nullptr, ChooserMode::PlaylistAddFolder, first), first);

    // Burn: files already on the burn list are left out.
    script(album, "ok_btn");
    EXPECT_EQ(ChooseAndWalk(nullptr, ChooserMode::BurnAddFolder, {album + "/song.mp3"}), QStringList({album + "/Track.MP3", album + "/live.ogg"}));

    // Recursion is the user's choice.
    const QString sub = env.makeDir("music/album/disc2");
    ASSERT_TRUE(WriteAll(sub + "/more.mp3", "x"));
    script(env.root() + "/music", "ok_btn");
    EXPECT_TRUE(ChooseAndWalk(nullptr, ChooserMode::PlaylistAddFolder, {}).isEmpty());
    script(env.root() + "/music", "ok_btn", {}, true);
    EXPECT_EQ(ChooseAndWalk(nullptr, ChooserMode::PlaylistAddFolder, {}),
              QStringList({album + "/Track.MP3", album + "/live.ogg", album + "/song.mp3", sub + "/more.mp3"}));

    // A cancelled chooser delivers nothing and leaves LastDir alone.
    const QString last = Setting("LastDir");
    script(env.root(), "cancel_btn");
    EXPECT_TRUE(ChooseAndWalk(nullptr, ChooserMode::PlaylistAddFolder, {}).isEmpty());
    EXPECT_EQ(Setting("LastDir"), last);
}

TEST_F(ChooserTest, ADriveThatCannotBeOpenedKeepsTheFolder)
{
    Choixrecoldir c;
    ASSERT_TRUE(c.setDirPath(album));
    auto* drive = Child<QComboBox>(&c, "Drive1");
    // Choosing "/" moves the tree to the root.
    const int rootIdx = drive->findText("/");
    ASSERT_GE(rootIdx, 0);
    drive->setCurrentIndex(rootIdx);
    Q_EMIT drive->activated(rootIdx);
    EXPECT_EQ(c.dirPath(), QString("/"));
    // A mount point that went away shows the system's reason and restores the drive.
    ASSERT_TRUE(c.setDirPath(album));
    const QString before = drive->currentText();
    drive->addItem(env.root() + "/unplugged");
    drive->setCurrentIndex(drive->count() - 1);
    Q_EMIT drive->activated(drive->count() - 1);
    EXPECT_EQ(c.dirPath(), album);
    EXPECT_EQ(drive->currentText(), before);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(messages.texts.at(0).isEmpty());
}
