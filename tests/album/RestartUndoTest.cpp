// Undo after a restart: the album page's and the bulk page's Undo, in a window built after the
// one that applied was destroyed, undo the write journal's last run of their kind.
#include "album/AlbumPage.h"
#include "album/AlbumSession.h"
#include "bulk/BulkPage.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace tunora;
using namespace tunora::test;

namespace {

class RestartUndoTest : public MainWindowFixture {
protected:
    QMap<QString, QByteArray> onDisk(const QString& dir) const
    {
        QMap<QString, QByteArray> m;
        for (const QString& f : QDir(dir).entryList(QDir::Files | QDir::Hidden))
            m.insert(f, ReadAll(dir + "/" + f));
        return m;
    }
    QString status() const { return Child<QLabel>(window.get(), "info_lbl")->text(); }
};

} // namespace

TEST_F(RestartUndoTest, TheAlbumPageUndoesTheJournalsLastApply)
{
    SetSetting("Pattern", "%6 %2");
    SetSetting("Playlist", "%3");
    SetSetting("PlaylistMode", "0");
    auto* page = qobject_cast<AlbumPage*>(start()->page(PageId::Album));
    ASSERT_TRUE(page);
    const QString dir = env->makeDir("album");
    ASSERT_TRUE(MakeMp3(dir + "/z.mp3", 1.0));
    ASSERT_TRUE(MakeMp3(dir + "/y.mp3", 2.0));
    // One file with an ID3v2 tag with room (its tags are written in place), one without.
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", "import sys\nfrom mutagen.id3 import ID3, TIT2\nt = ID3()\n"
                                                "t.add(TIT2(encoding=3, text='Old'))\nt.save(sys.argv[1], v1=2)",
                                          dir + "/y.mp3"}),
              0);
    const auto before = onDisk(dir);
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled()); // the journal holds nothing yet
    browseAlbum(page, dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 150}};
    s.tracks = {"[01] One", "[02] Two"};
    s.notifyChanged();
    Child<QPushButton>(page, "apply_btn")->setEnabled(true); // as a fetch leaves it
    Child<QLineEdit>(page, "album_txt")->setText("Disc");
    for (const char* c : {"ren_chk", "pls_chk", "ID3v1_chk", "ID3v2_chk"})
        Child<QCheckBox>(page, c)->setChecked(true);
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    Child<QPushButton>(page, "apply_btn")->click();
    const auto applied = onDisk(dir);
    ASSERT_EQ(applied.keys(), QStringList({"01 One.mp3", "02 Two.mp3", "Disc.m3u"}));
    EXPECT_EQ(applied["01 One.mp3"].size(), before["y.mp3"].size()); // in place
    EXPECT_NE(applied["01 One.mp3"], before["y.mp3"]);

    // Closed and opened again: the new window's Undo takes the apply back.
    window.reset();
    page = qobject_cast<AlbumPage*>(start()->page(PageId::Album));
    ASSERT_TRUE(page);
    QPushButton* undo = Child<QPushButton>(page, "undo_btn");
    EXPECT_TRUE(undo->isEnabled());
    browseAlbum(page, dir);
    EXPECT_EQ(Shown(page, "mp3_lst"), QStringList({"01 One.mp3", "02 Two.mp3"}));
    EXPECT_TRUE(undo->isEnabled()) << "a browse does not end the journal's undo";
    undo->click();
    EXPECT_TRUE(onDisk(dir) == before) << onDisk(dir).keys().join(' ').toStdString();
    EXPECT_EQ(status(), "Undo: 2 restored, 0 left as they are.");
    EXPECT_EQ(Shown(page, "mp3_lst"), QStringList({"y.mp3", "z.mp3"}));
    EXPECT_FALSE(undo->isEnabled());

    // Once undone, a restart offers it no more.
    window.reset();
    page = qobject_cast<AlbumPage*>(start()->page(PageId::Album));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
}

TEST_F(RestartUndoTest, TheBulkPageUndoesTheJournalsLastRunOnlyWhereFilesAreAsItLeftThem)
{
    start()->switchPage(PageId::Bulk);
    const QString dir = env->makeDir("names");
    QStringList paths;
    for (const char* name : {"a_1.mp3", "b_2.mp3", "c_3.mp3"}) {
        paths << dir + "/" + name;
        ASSERT_TRUE(WriteAll(paths.last(), name));
    }
    auto* page = qobject_cast<BulkPage*>(window->page(PageId::Bulk));
    EXPECT_FALSE(Child<QPushButton>(page, "bulk_undo_btn")->isEnabled());
    fileDialogs->answers << paths;
    Child<QPushButton>(page, "add_btn")->click();
    Child<QCheckBox>(page, "under_chk")->click();
    Child<QPushButton>(page, "bulk_go_btn")->click();
    ASSERT_EQ(onDisk(dir).keys(), QStringList({"a 1.mp3", "b 2.mp3", "c 3.mp3"}));
    // Another program takes a freed name meanwhile: that file keeps its new name.
    ASSERT_TRUE(WriteAll(dir + "/b_2.mp3", "someone else's"));

    window.reset();
    start()->switchPage(PageId::Bulk);
    page = qobject_cast<BulkPage*>(window->page(PageId::Bulk));
    QPushButton* undo = Child<QPushButton>(page, "bulk_undo_btn");
    EXPECT_TRUE(undo->isEnabled());
    messages->texts.clear();
    undo->click();
    const auto now = onDisk(dir);
    EXPECT_EQ(now.keys(), QStringList({"a_1.mp3", "b 2.mp3", "b_2.mp3", "c_3.mp3"}));
    EXPECT_EQ(now["a_1.mp3"], "a_1.mp3");
    EXPECT_EQ(now["b 2.mp3"], "b_2.mp3");
    EXPECT_EQ(now["c_3.mp3"], "c_3.mp3");
    EXPECT_EQ(status(), "Undo: 2 restored, 1 left as they are.");
    ASSERT_EQ(messages->texts.size(), 1);
    EXPECT_TRUE(messages->texts[0].contains(dir + "/b_2.mp3")) << messages->texts[0].toStdString();
    EXPECT_FALSE(undo->isEnabled());
}
