#include "album/AlbumPage.h"
#include "album/ApplyPreview.h"
#include "folders/Choixrecoldir.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "album/AutoSort.h"
#include "shell/core/AppState.h"
#include "lookup/LookupTexts.h"
#include "tests/acoustid/AcoustIdServer.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QJsonArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTableWidget>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QHeaderView>

#include <optional>

#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class AlbumPageTest : public MainWindowFixture {
protected:
    AlbumPage* startPage()
    {
        MainWindow* w = start();
        page = qobject_cast<AlbumPage*>(w->page(PageId::Album));
        EXPECT_TRUE(page);
        return page;
    }
    QString folderWith(const QString& name, const QStringList& files)
    {
        const QString dir = env->makeDir(name);
        for (const QString& f : files)
            EXPECT_TRUE(WriteAll(dir + "/" + f, "x"));
        return dir;
    }
    // Browses to folder in the chooser, with format (or cancels when folder is empty).
    void browse(const QString& folder, const QString& format = "MP3")
    {
        dialogs->steps << [=](QDialog* d) {
            auto* c = qobject_cast<Choixrecoldir*>(d);
            ASSERT_TRUE(c);
            EXPECT_EQ(c->mode(), ChooserMode::AlbumFolder);
            if (folder.isEmpty()) {
                Child<QPushButton>(c, "cancel_btn")->click();
                return;
            }
            ASSERT_TRUE(c->setDirPath(folder));
            if (!format.isNull()) // a null format: the one the chooser took from the folder
                Child<QComboBox>(c, "format_cmb")->setCurrentText(format);
            Child<QPushButton>(c, "ok_btn")->click();
        };
        click("browse_btn");
    }
    void click(const char* name) { Child<QPushButton>(page, name)->click(); }
    QStringList shown(const char* list)
    {
        QStringList out;
        auto* l = Child<QListWidget>(page, list);
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    void select(const QList<int>& rows)
    {
        auto* l = Child<QListWidget>(page, "mp3_lst");
        l->clearSelection();
        for (int r : rows)
            l->item(r)->setSelected(true);
    }
    void mouse(QEvent::Type type, int row, Qt::MouseButtons buttons)
    {
        auto* l = Child<QListWidget>(page, "mp3_lst");
        const QPointF pos = l->visualItemRect(l->item(row)).center();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, pos, l->viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(l->viewport(), &e);
    }

    AlbumPage* page = nullptr;
};

bool waitFor(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QString labelText(QWidget* d, const char* name)
{
    auto* l = Child<QLabel>(d, name);
    return l ? l->text() : QString();
}

} // namespace

TEST_F(AlbumPageTest, StartsWithCaptionsSamplesAndStepButtonsOff)
{
    SetSetting("Pattern", "%6 - %2");
    SetSetting("Playlist", "%1 - %3");
    startPage();
    EXPECT_EQ(Child<QPushButton>(page, "go_btn")->text(), "1 - " + LanguageText(41));
    EXPECT_EQ(Child<QPushButton>(page, "fetch_btn")->text(), "2 - " + LanguageText(43));
    EXPECT_EQ(Child<QPushButton>(page, "apply_btn")->text(), "3 - " + LanguageText(44));
    EXPECT_EQ(Child<QPushButton>(page, "ghost_btn")->text(), LanguageText(15));
    EXPECT_EQ(Child<QLabel>(page, "year_lbl")->text(), LanguageText(31));
    EXPECT_EQ(Child<QPushButton>(page, "findlen_btn")->text(), QString(AlbumPage::kFindByLengthsCaption));
    EXPECT_EQ(Child<QLineEdit>(page, "ext_txt")->text(), QString("Unknown"));
    for (const char* b : {"undo_btn", "more_btn", "apply_btn"})
        EXPECT_FALSE(Child<QPushButton>(page, b)->isEnabled()) << b;

    auto* ren = Child<QCheckBox>(page, "ren_chk");
    auto* test = Child<QLabel>(page, "test_lbl");
    EXPECT_TRUE(ren->isEnabled());
    EXPECT_TRUE(test->isVisible());
    EXPECT_EQ(test->text(), QString("01 - Track01"));
    EXPECT_EQ(Child<QLabel>(page, "pls_lbl")->text(), QString("Artist - Album"));
    EXPECT_TRUE(Child<QCheckBox>(page, "pls_chk")->isEnabled());
}

TEST_F(AlbumPageTest, APatternThatFillingLeavesAloneCannotBeApplied)
{
    SetSetting("Pattern", "Album");   // no placeholder, nothing to clean
    SetSetting("Playlist", "%4 %5");  // year and genre: fills to something else
    startPage();
    EXPECT_FALSE(Child<QCheckBox>(page, "ren_chk")->isEnabled());
    EXPECT_FALSE(Child<QLabel>(page, "test_lbl")->isVisible());
    EXPECT_TRUE(Child<QCheckBox>(page, "pls_chk")->isEnabled());
    EXPECT_EQ(Child<QLabel>(page, "pls_lbl")->text(), QDate::currentDate().toString("yyyy") + " Genre");
    // A pattern that only the cleaning changes is applicable: the cleaning is a change.
    SetSetting("Pattern", "a:b");
    page->prepare();
    EXPECT_TRUE(Child<QCheckBox>(page, "ren_chk")->isEnabled());
    EXPECT_EQ(Child<QLabel>(page, "test_lbl")->text(), QString("ab"));
}

TEST_F(AlbumPageTest, BrowseListsTheFormatsFilesInOrdinalOrder)
{
    startPage();
    const QString dir = folderWith("album", {"b.mp3", "B.mp3", "a.MP3", "cover.jpg", "c.ogg", ".hidden.mp3"});
    env->makeDir("album/sub.mp3");
    browse(dir);
    EXPECT_EQ(shown("mp3_lst"), QStringList({"B.mp3", "a.MP3", "b.mp3"}));
    EXPECT_EQ(Child<QLineEdit>(page, "path_txt")->text(), dir);
    EXPECT_EQ(Child<QLineEdit>(page, "ext_txt")->text(), QString("MP3"));
    EXPECT_TRUE(Child<QPushButton>(page, "go_btn")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(page, "ID3v1_chk")->isEnabled());

    // An empty folder leaves nothing to search for.
    browse(folderWith("empty", {}));
    EXPECT_TRUE(shown("mp3_lst").isEmpty());
    EXPECT_FALSE(Child<QPushButton>(page, "go_btn")->isEnabled());
}

TEST_F(AlbumPageTest, BrowseCancelledLeavesAnEmptyListAndEverythingElse)
{
    startPage();
    browse(folderWith("album", {"one.mp3"}));
    auto* v1 = Child<QCheckBox>(page, "ID3v1_chk");
    v1->setChecked(false);
    browse(QString());
    EXPECT_TRUE(shown("mp3_lst").isEmpty());
    EXPECT_TRUE(Child<QLineEdit>(page, "ext_txt")->text().isEmpty());
    EXPECT_TRUE(Child<QPushButton>(page, "go_btn")->isEnabled());
    EXPECT_TRUE(v1->isEnabled());
    EXPECT_FALSE(v1->isChecked());
}

TEST_F(AlbumPageTest, AWavFolderDisablesTheTagOptionsButKeepsTheirValues)
{
    startPage();
    auto* v1 = Child<QCheckBox>(page, "ID3v1_chk");
    auto* v2 = Child<QCheckBox>(page, "ID3v2_chk");
    v2->setChecked(false);
    browse(folderWith("wav", {"one.wav", "two.WAV"}), "WAV");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"one.wav", "two.WAV"}));
    EXPECT_FALSE(v1->isEnabled());
    EXPECT_FALSE(v2->isEnabled());
    EXPECT_TRUE(v1->isChecked());
    EXPECT_FALSE(v2->isChecked());
    browse(folderWith("mp3", {"one.mp3"}));
    EXPECT_TRUE(v1->isEnabled());
    EXPECT_TRUE(v2->isEnabled());
    // A folder of mostly FLAC files starts as FLAC, with one option for its own tags.
    auto* tags = Child<QCheckBox>(page, "tags_chk");
    EXPECT_TRUE(tags->isHidden());
    browse(folderWith("flac", {"one.flac", "two.FLAC", "cover.mp3"}), QString());
    EXPECT_EQ(Child<QLineEdit>(page, "ext_txt")->text(), QString("FLAC"));
    EXPECT_EQ(shown("mp3_lst"), QStringList({"one.flac", "two.FLAC"}));
    EXPECT_TRUE(!tags->isHidden() && tags->isEnabled() && tags->isChecked());
    EXPECT_EQ(tags->text(), QString("Write tags"));
    EXPECT_TRUE(v1->isHidden() && v2->isHidden());
}

TEST_F(AlbumPageTest, DeleteClearAndFakeTracks)
{
    startPage();
    browse(folderWith("album", {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}));
    select({1, 2, 3});
    click("delete_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"1.mp3", "5.mp3"}));

    // Fake tracks may stand anywhere, any number of times.
    click("ghost_btn");
    click("ghost_btn");
    select({1});
    click("down_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"1.mp3", kFakeTrack, "5.mp3", kFakeTrack}));
    select({0});
    click("down_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({kFakeTrack, "1.mp3", "5.mp3", kFakeTrack}));
    EXPECT_EQ(page->session().fakeTrackCount(), 2);

    page->session().undoAvailable = true;
    page->session().notifyChanged();
    EXPECT_TRUE(Child<QPushButton>(page, "undo_btn")->isEnabled());
    click("clear_btn");
    EXPECT_TRUE(shown("mp3_lst").isEmpty());
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
}

TEST_F(AlbumPageTest, UpAndDownMoveOneSelectedEntryWithinTheList)
{
    startPage();
    browse(folderWith("album", {"a.mp3", "b.mp3", "c.mp3"}));
    AlbumSession& s = page->session();
    for (int i = 0; i < 3; ++i)
        s.mp3[i].data = 100 * (i + 1);

    select({0});
    click("up_btn"); // the first entry cannot go up
    select({0, 1});
    click("down_btn"); // two selected: nothing
    EXPECT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "b.mp3", "c.mp3"}));

    s.undoAvailable = true;
    s.notifyChanged();
    select({2});
    click("up_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "c.mp3", "b.mp3"}));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
    auto* list = Child<QListWidget>(page, "mp3_lst");
    EXPECT_TRUE(list->item(1)->isSelected());
    EXPECT_FALSE(list->item(2)->isSelected());
    // The texts move; the playing times stay with their positions.
    EXPECT_EQ(s.mp3[1].data, 200);
    click("up_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"c.mp3", "a.mp3", "b.mp3"}));
    click("down_btn");
    click("down_btn");
    click("down_btn"); // already last
    EXPECT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_TRUE(list->item(2)->isSelected());
}

TEST_F(AlbumPageTest, DraggingCarriesTheEntryAlongWithTheLeftButtonOnly)
{
    startPage();
    browse(folderWith("album", {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    auto* list = Child<QListWidget>(page, "mp3_lst");
    mouse(QEvent::MouseButtonPress, 0, Qt::LeftButton);
    mouse(QEvent::MouseMove, 1, Qt::LeftButton);
    mouse(QEvent::MouseMove, 2, Qt::LeftButton);
    EXPECT_EQ(shown("mp3_lst"), QStringList({"b.mp3", "c.mp3", "a.mp3", "d.mp3"}));
    EXPECT_EQ(list->toolTip(), QString("a.mp3"));
    EXPECT_TRUE(list->item(2)->isSelected());
    EXPECT_FALSE(list->item(0)->isSelected());
    mouse(QEvent::MouseButtonRelease, 2, Qt::NoButton);
    // After the release a move does nothing; neither does a move with two buttons.
    mouse(QEvent::MouseMove, 3, Qt::LeftButton);
    mouse(QEvent::MouseButtonPress, 3, Qt::LeftButton);
    mouse(QEvent::MouseMove, 0, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(shown("mp3_lst"), QStringList({"b.mp3", "c.mp3", "a.mp3", "d.mp3"}));
    // While up_btn is disabled (busy) nothing is dragged.
    Child<QPushButton>(page, "up_btn")->setEnabled(false);
    mouse(QEvent::MouseMove, 0, Qt::LeftButton);
    EXPECT_EQ(shown("mp3_lst"), QStringList({"b.mp3", "c.mp3", "a.mp3", "d.mp3"}));
    Child<QPushButton>(page, "up_btn")->setEnabled(true);
    mouse(QEvent::MouseMove, 0, Qt::LeftButton);
    EXPECT_EQ(shown("mp3_lst"), QStringList({"d.mp3", "c.mp3", "a.mp3", "b.mp3"}));
    mouse(QEvent::MouseButtonRelease, 0, Qt::NoButton);
}

TEST_F(AlbumPageTest, TheTrackEditorStoresTheTrimmedTitle)
{
    startPage();
    AlbumSession& s = page->session();
    for (int i = 0; i < 8; ++i) {
        s.fetched.append({QString("Title %1").arg(i + 1), 1000 + i});
        s.tracks.append(AlbumSession::trackLine(i, s.fetched.last().text));
    }
    s.notifyChanged();
    auto* tracks = Child<QListWidget>(page, "tracks_lst");
    auto edit = [&](int row, const QString& text, const char* button) {
        dialogs->steps << [=](QDialog* d) {
            EXPECT_EQ(d->objectName(), QString("trackedit"));
            EXPECT_EQ(d->windowTitle(), LanguageText(158));
            auto* name = Child<QLineEdit>(d, "name_txt");
            EXPECT_EQ(name->text(), QString("Title %1").arg(row + 1));
            name->setText(text);
            Child<QPushButton>(d, button)->click();
        };
        tracks->setCurrentRow(row);
        Q_EMIT tracks->itemDoubleClicked(tracks->item(row));
    };
    edit(6, "  Intro  ", "ok_btn");
    EXPECT_EQ(s.fetched[6], (ListItem {"Intro", 1006}));
    EXPECT_EQ(shown("tracks_lst").at(6), QString("[07]Intro"));
    const QStringList before = shown("tracks_lst");
    edit(0, "changed", "cancel_btn");
    EXPECT_EQ(shown("tracks_lst"), before);
    EXPECT_EQ(s.fetched[0].text, QString("Title 1"));

    // No focused line, no editor.
    s.tracks.clear();
    s.fetched.clear();
    s.tracksFocus = -1;
    s.notifyChanged();
    page->editTrack();
    EXPECT_EQ(dialogs->seen.count("trackedit"), 2);
}

TEST_F(AlbumPageTest, TheGenreButtonFillsTheGenreFromThePicker)
{
    startPage();
    auto* genre = Child<QLineEdit>(page, "genre_txt");
    genre->setText("rock");
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "cancel_btn")->click(); };
    click("helpgenre_btn");
    EXPECT_EQ(genre->text(), QString("rock"));
    QString picked;
    dialogs->steps << [&](QDialog* d) {
        auto* list = Child<QListWidget>(d, "List1");
        ASSERT_GT(list->count(), 0);
        list->setCurrentRow(list->count() - 1);
        list->item(list->count() - 1)->setSelected(true);
        picked = list->item(list->count() - 1)->text();
        Q_EMIT list->itemClicked(list->item(list->count() - 1));
        Child<QPushButton>(d, "ok_btn")->click();
    };
    click("helpgenre_btn");
    EXPECT_FALSE(picked.isEmpty());
    EXPECT_EQ(genre->text(), picked);
    EXPECT_EQ(page->session().genre, picked);
}

TEST_F(AlbumPageTest, StatisticsOfTwelveTracksTwoOfThemFake)
{
    startPage();
    const QString dir = env->makeDir("album");
    ASSERT_TRUE(MakeMp3(dir + "/tone.mp3", 1.0));
    const qint64 ms = MeasureMs(dir + "/tone.mp3");
    ASSERT_GT(ms, 900);
    AlbumSession& s = page->session();
    s.path = dir;
    s.ext = "MP3";
    QStringList names;
    for (int i = 0; i < 12; ++i)
        names << ((i == 3 || i == 9) ? kFakeTrack : "tone.mp3");
    s.setFiles(names);
    // Every track two seconds shorter than the file, to the nearest frame.
    const qint64 frames = (ms - 2000) * 75 / 1000;
    for (int i = 0; i < 12; ++i)
        s.fetched.append({QString("T%1").arg(i), frames});
    s.notifyChanged();

    const double d = ms - frames * 1000.0 / 75; // the same for each of the ten files
    auto twoDecimals = [](double v) { return QString::number(std::round(v * 100) / 100, 'f', 2); };
    dialogs->steps << [&](QDialog* dlg) {
        EXPECT_EQ(dlg->objectName(), QString("stats"));
        EXPECT_EQ(dlg->windowTitle(), LanguageText(142));
        ASSERT_TRUE(waitFor([&] { return Child<QLabel>(dlg, "action_lbl")->text() == LanguageText(157) ||
                                          !Child<QLabel>(dlg, "action_lbl")->isEnabled(); }));
        EXPECT_EQ(labelText(dlg, "numtracks_lbl"), LanguageText(144) + " 12 [2 fake track(s)]");
        EXPECT_EQ(labelText(dlg, "format_lbl"), LanguageText(111) + " : MP3");
        EXPECT_EQ(labelText(dlg, "fetchedtracks_lbl"), LanguageText(144) + " 12");
        EXPECT_EQ(labelText(dlg, "match_lbl"), LanguageText(146) + " " + LanguageText(0));
        EXPECT_EQ(labelText(dlg, "stddevsupp_lbl"), LanguageText(154) + " " + LanguageText(155));
        EXPECT_EQ(labelText(dlg, "avgdev_lbl"), LanguageText(150) + " " + twoDecimals(d / 1000) + " s");
        EXPECT_EQ(labelText(dlg, "maxdev_lbl"), LanguageText(151) + " " + twoDecimals(d / 1000) + " s");
        EXPECT_EQ(labelText(dlg, "stddev_lbl"),
                  LanguageText(149) + " " + twoDecimals(std::sqrt(10 * d * d) / 10000) + " s");
        EXPECT_TRUE(Child<QWidget>(dlg, "cur_hst")->isHidden());
        dlg->reject();
    };
    click("info_btn");
    EXPECT_EQ(dialogs->seen, QStringList({"stats"}));
    // The measured times are kept with the entries; fake tracks count 0.
    EXPECT_EQ(s.mp3[0].data, ms);
    EXPECT_EQ(s.mp3[3].data, 0);

    // Unequal counts: nothing is measured.
    s.fetched.removeLast();
    s.mp3[0].data = 0;
    dialogs->steps << [&](QDialog* dlg) {
        EXPECT_EQ(labelText(dlg, "match_lbl"), LanguageText(146) + " " + LanguageText(1));
        EXPECT_EQ(labelText(dlg, "stddevsupp_lbl"), LanguageText(153));
        dlg->reject();
    };
    click("info2_btn");
    EXPECT_EQ(s.mp3[0].data, 0);

    // No fetched disc: the comparison is switched off.
    s.fetched.clear();
    dialogs->steps << [&](QDialog* dlg) {
        EXPECT_FALSE(Child<QLabel>(dlg, "match_lbl")->isEnabled());
        EXPECT_FALSE(Child<QWidget>(dlg, "dev_frm")->isEnabled());
        EXPECT_TRUE(Child<QLabel>(dlg, "action_lbl")->isHidden());
        dlg->reject();
    };
    click("info_btn");
    EXPECT_EQ(dialogs->seen.size(), 3);
}

TEST_F(AlbumPageTest, AutoSortProposesAnOrderAndAppliesItOnOk)
{
    startPage();
    const QString dir = env->makeDir("album");
    ASSERT_TRUE(MakeMp3(dir + "/a.mp3", 3.0));
    ASSERT_TRUE(MakeMp3(dir + "/b.mp3", 1.0));
    ASSERT_TRUE(MakeMp3(dir + "/c.mp3", 2.0));
    browse(dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 150}, {"Three", 225}};

    // Fake tracks or unequal counts: text 52 and no dialog.
    click("ghost_btn");
    click("autosort_btn");
    EXPECT_EQ(messages->texts, QStringList({LanguageText(52)}));
    EXPECT_EQ(dialogs->seen, QStringList({"Choixrecoldir"}));
    select({3});
    click("delete_btn");

    for (const char* method : {"fast_rdo", "Q_rdo"}) {
        dialogs->steps << [&](QDialog* dlg) {
            EXPECT_EQ(dlg->objectName(), QString("Autosort"));
            EXPECT_FALSE(Child<QPushButton>(dlg, "ok_btn")->isEnabled());
            EXPECT_EQ(Child<QRadioButton>(dlg, "Q_rdo")->text(), LanguageText(82));
            EXPECT_FALSE(LanguageText(82).contains("Under development"));
            Child<QRadioButton>(dlg, method)->setChecked(true);
            Child<QPushButton>(dlg, "search_btn")->click();
            auto* lst = Child<QListWidget>(dlg, "lst");
            ASSERT_EQ(lst->count(), 3);
            EXPECT_EQ(lst->item(0)->text(), QString("b.mp3"));
            EXPECT_EQ(lst->item(2)->text(), QString("a.mp3"));
            // Closing without OK changes nothing.
            dlg->reject();
        };
        click("autosort_btn");
        EXPECT_EQ(shown("mp3_lst"), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    }
    s.undoAvailable = true;
    s.notifyChanged();
    dialogs->steps << [&](QDialog* dlg) {
        Child<QPushButton>(dlg, "search_btn")->click();
        Child<QPushButton>(dlg, "ok_btn")->click();
    };
    click("autosort_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"b.mp3", "c.mp3", "a.mp3"}));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
    for (const ListItem& e : s.mp3)
        EXPECT_EQ(e.data, 0);
}

TEST_F(AlbumPageTest, ApplyAndUndoFromThePage)
{
    SetSetting("Pattern", "%6 %2");
    SetSetting("Playlist", "%3");
    SetSetting("PlaylistMode", "0");
    startPage();
    const QString dir = env->makeDir("album");
    ASSERT_TRUE(MakeMp3(dir + "/z.mp3", 1.0));
    ASSERT_TRUE(QFile::copy(dir + "/z.mp3", dir + "/y.mp3"));
    browse(dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 75}};
    s.tracks = {"[01] One", "[02] Two"};
    s.notifyChanged();
    Child<QPushButton>(page, "apply_btn")->setEnabled(true); // as a fetch leaves it
    Child<QLineEdit>(page, "album_txt")->setText("Disc");
    Child<QLineEdit>(page, "year_txt")->setText("2001");
    for (const char* c : {"ren_chk", "pls_chk", "ID3v1_chk", "ID3v2_chk"})
        Child<QCheckBox>(page, c)->setChecked(false);
    click("apply_btn");
    EXPECT_EQ(messages->texts, QStringList({LanguageText(168)}));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());

    Child<QCheckBox>(page, "ren_chk")->setChecked(true);
    Child<QCheckBox>(page, "pls_chk")->setChecked(true);
    messages->texts.clear();
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    click("apply_btn");
    EXPECT_EQ(messages->texts,
              QStringList({LanguageText(51) + "\nTagged: 0, renamed: 2, left alone: 0, playlist written: Yes"}));
    EXPECT_EQ(shown("mp3_lst"), QStringList({"01 One.mp3", "02 Two.mp3"}));
    EXPECT_TRUE(QFile::exists(dir + "/Disc.m3u"));
    EXPECT_FALSE(IsBusy());
    for (const char* b : {"undo_btn", "apply_btn", "go_btn", "more_btn"})
        EXPECT_TRUE(Child<QPushButton>(page, b)->isEnabled()) << b;
    EXPECT_FALSE(Child<QPushButton>(page, "fetch_btn")->isEnabled()); // no result to read

    click("undo_btn");
    EXPECT_EQ(shown("mp3_lst"), QStringList({"y.mp3", "z.mp3"}));
    EXPECT_EQ(Child<QLabel>(window.get(), "info_lbl")->text(), "Undo: 2 restored, 0 left as they are.");
    EXPECT_TRUE(QFile::exists(dir + "/y.mp3"));
    EXPECT_TRUE(QFile::exists(dir + "/z.mp3"));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
}

TEST_F(AlbumPageTest, TheFileListCannotBeEditedWhileApplyRuns)
{
    SetSetting("Pattern", "%1");
    startPage();
    const QString dir = folderWith("album", {"a.mp3", "b.mp3"});
    browse(dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 75}};
    s.artist = "Same";
    s.notifyChanged();
    auto* apply = Child<QPushButton>(page, "apply_btn");
    apply->setEnabled(true);
    for (const char* c : {"pls_chk", "ID3v1_chk", "ID3v2_chk"})
        Child<QCheckBox>(page, c)->setChecked(false);
    // The second file's new name is taken: the message comes while the pass runs.
    QStringList seen;
    const MessageHandler old = SetMessageHandler([&](const QString& text, MsgButtons) {
        if (!text.startsWith(LanguageText(51)))
            for (const char* w : {"curfiles_frm", "choosefold_frm", "alb_frm", "apply_btn", "go_btn", "brand_btn_1"})
                if (!window->findChild<QWidget*>(w)->isEnabled())
                    seen << w;
        return MsgAnswer::Ok;
    });
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    apply->click();
    SetMessageHandler(old);
    EXPECT_EQ(seen, QStringList({"curfiles_frm", "choosefold_frm", "alb_frm", "apply_btn", "go_btn", "brand_btn_1"}));
    EXPECT_TRUE(Child<QWidget>(page, "curfiles_frm")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(page, "up_btn")->isEnabled());
    EXPECT_EQ(shown("mp3_lst"), QStringList({"Same.mp3", "b.mp3"}));
}

TEST_F(AlbumPageTest, AFreshStartPreviewsThenAppliesWhatItsOptionsShowAndUndoesIt)
{
    // No pattern stored: the page applies the setup page's defaults.
    startPage();
    const QString dir = env->makeDir("album");
    const double seconds[] = {1.0, 2.0, 1.0};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(MakeMp3(dir + QStringLiteral("/%1.mp3").arg(QChar('a' + i)), seconds[i]));
    browse(dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 150}, {"Three", 225}};
    s.notifyChanged();
    Child<QPushButton>(page, "apply_btn")->setEnabled(true);
    Child<QLineEdit>(page, "artist_txt")->setText("Band");
    Child<QLineEdit>(page, "album_txt")->setText("Disc");
    Child<QLineEdit>(page, "year_txt")->setText("2001");
    // Meanwhile another program takes the second file's new name, and the third is read-only.
    ASSERT_TRUE(WriteAll(dir + "/Band - Disc - 02 - Two.mp3", "not ours"));
    QFile::setPermissions(dir + "/c.mp3", QFileDevice::ReadOwner);

    QList<QStringList> rows;
    QString playlistLine;
    auto readTable = [&](QDialog* d) {
        auto* t = Child<QTableWidget>(d, "preview_tbl");
        rows.clear();
        for (int r = 0; r < t->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < t->columnCount(); ++c)
                cells << t->item(r, c)->text();
            rows << cells;
        }
        playlistLine = Child<QLabel>(d, "preview_pls_lbl")->text();
    };
    // Cancel: nothing is touched.
    dialogs->steps << [&](QDialog* d) {
        readTable(d);
        Child<QPushButton>(d, "preview_cancel_btn")->click();
    };
    click("apply_btn");
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    EXPECT_EQ(QDir(dir).entryList(QDir::Files, QDir::Name),
              QStringList({"Band - Disc - 02 - Two.mp3", "a.mp3", "b.mp3", "c.mp3"}));
    ASSERT_EQ(rows.size(), 3);
    const QStringList expected[] = {
        {"a.mp3", "One", "0:01.00", "Band - Disc - 01 - One.mp3", ""},
        {"b.mp3", "Two", "0:02.00", "b.mp3", "name taken"},
        {"c.mp3", "Three", "0:03.00", "c.mp3", "read-only"}, // whoever runs the program
    };
    for (int r = 0; r < 3; ++r) {
        const QStringList& got = rows.at(r);
        ASSERT_EQ(got.size(), 7);
        EXPECT_EQ(QStringList({got[0], got[2], got[3], got[5], got[6]}), expected[r]) << r;
        // The file's length and its difference from the track, against ffprobe's reading.
        const double file = FfprobeDuration(dir + "/" + got[0]);
        EXPECT_TRUE(got[1].startsWith(QStringLiteral("0:0%1.").arg(int(file)))) << got[1].toStdString();
        EXPECT_NEAR(got[4].toDouble(), file - (r + 1), 0.06) << got[4].toStdString();
    }
    EXPECT_TRUE(playlistLine.endsWith(dir + "/Disc.m3u")) << playlistLine.toStdString();

    // Apply: the playlist folder was never set up, so it is asked for; the counts follow Done.
    messages->answers = {MsgAnswer::Yes};
    dialogs->steps << [](QDialog* d) { Child<QPushButton>(d, "preview_apply_btn")->click(); };
    click("apply_btn");
    // The second file is tagged but keeps its name.
    const QString counts = "Tagged: 2, renamed: 1, left alone: 2, playlist written: Yes";
    EXPECT_EQ(messages->texts.value(messages->texts.size() - 1), LanguageText(51) + "\n" + counts)
        << messages->texts.join('|').toStdString();
    EXPECT_EQ(shown("mp3_lst").value(0), "Band - Disc - 01 - One.mp3");
    EXPECT_EQ(ReadAll(dir + "/Disc.m3u"),
              "Band - Disc - 01 - One.mp3\r\nb.mp3\r\nc.mp3\r\n");

    // Undo gives the names back and takes the playlist away again.
    click("undo_btn");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files, QDir::Name),
              QStringList({"Band - Disc - 02 - Two.mp3", "a.mp3", "b.mp3", "c.mp3"}));
}

TEST_F(AlbumPageTest, AFolderAndADiscThatDoNotPairUpWriteNothing)
{
    SetSetting("PlaylistMode", "0");
    startPage();
    const QString dir = folderWith("album", {"a.mp3", "b.mp3"});
    browse(dir);
    AlbumSession& s = page->session();
    s.fetched = {{"One", 75}, {"Two", 75}, {"Three", 75}};
    s.notifyChanged();
    Child<QPushButton>(page, "apply_btn")->setEnabled(true);
    dialogs->seen.clear();
    click("apply_btn");
    // No preview, no "Done.", no playlist: the counts differ, and that is all it says.
    EXPECT_TRUE(dialogs->seen.isEmpty()) << dialogs->seen.join(",").toStdString();
    EXPECT_EQ(messages->texts, QStringList({LanguageText(48)}));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files, QDir::Name), QStringList({"a.mp3", "b.mp3"}));
    EXPECT_FALSE(Child<QPushButton>(page, "undo_btn")->isEnabled());
}

// Twelve files of 1 s against a disc whose tracks 4, 8 and 12 last 15 s, titles of 60
// characters: the unsorted album a user meets first.
TEST_F(AlbumPageTest, ListsAndPreviewShowLengthsAndWarnWhereTheyDiffer)
{
    SetSetting("Pattern", "%1 - %2 - %3 - %6");
    startPage();
    const QString dir = env->makeDir("Twelve");
    ASSERT_TRUE(MakeMp3(dir + "/f01.mp3", 1.0));
    for (int i = 2; i <= 12; ++i)
        ASSERT_TRUE(QFile::copy(dir + "/f01.mp3", dir + QString("/f%1.mp3").arg(i, 2, 10, QChar('0'))));
    browse(dir);
    AlbumSession& s = page->session();
    s.artist = "An Artist Whose Name Runs On";
    s.album = "An Album Whose Title Is Long Too";
    s.year = "2001";
    for (int i = 0; i < 12; ++i) {
        const QString title = QString("Track %1 ").arg(i + 1, 2, 10, QChar('0')).leftJustified(60, 'x');
        s.fetched.append({title, (i % 4 == 3) ? 15 * 75 : 75});
        s.tracks.append(AlbumSession::trackLine(i, title));
    }
    s.notifyChanged();

    auto* files = Child<QListWidget>(page, "mp3_lst");
    auto* tracks = Child<QListWidget>(page, "tracks_lst");
    ASSERT_EQ(files->count(), 12);
    ASSERT_EQ(tracks->count(), 12);
    const QColor warning = LengthWarningColour();
    for (int i = 0; i < 12; ++i) {
        const bool differs = i % 4 == 3;
        EXPECT_EQ(files->item(i)->data(AlbumPage::kLengthRole).toString(), "0:01") << i;
        EXPECT_EQ(tracks->item(i)->data(AlbumPage::kLengthRole).toString(), differs ? "0:15" : "0:01") << i;
        EXPECT_EQ(files->item(i)->foreground().color() == warning, differs) << i;
        EXPECT_EQ(tracks->item(i)->foreground().color() == warning, differs) << i;
    }
    EXPECT_EQ(files->item(0)->text(), "f01.mp3"); // the name stays the entry's text

    Child<QPushButton>(page, "apply_btn")->setEnabled(true);
    bool checked = false;
    dialogs->steps << [&](QDialog* d) {
        d->show();
        QCoreApplication::processEvents();
        auto* table = Child<QTableWidget>(d, "preview_tbl");
        const QRect screen = d->screen()->availableGeometry();
        EXPECT_EQ(screen.size(), QSize(1366, 768));
        EXPECT_LE(d->width(), screen.width());
        EXPECT_LE(d->height(), screen.height());
        // The table at its size: no scrolling either way, every number column whole.
        EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(table->verticalScrollBar()->maximum(), 0);
        for (int c : {1, 3, 4})
            EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->sectionSizeHint(c)) << c;
        // A name column shows its names whole, or 16 characters of them at the least.
        auto content = [&](int c) {
            int w = 0;
            for (int r = 0; r < table->rowCount(); ++r)
                w = std::max(w, table->fontMetrics().horizontalAdvance(table->item(r, c)->text()));
            return w;
        };
        for (int c : {0, 2, 5})
            EXPECT_GE(table->columnWidth(c), std::min(content(c), 16 * table->fontMetrics().averageCharWidth())) << c;
        EXPECT_LT(table->columnWidth(5), content(5)); // the long new names give way, elided
        EXPECT_EQ(table->textElideMode(), Qt::ElideMiddle);
        for (int r = 0; r < 12; ++r)
            EXPECT_EQ(table->item(r, 0)->foreground().color() == LengthWarningColour(), r % 4 == 3) << r;
        EXPECT_EQ(Child<QLabel>(d, "preview_warn_lbl")->text(),
                  "3 files differ from their tracks by more than 10 s. Auto Sort may put them right.");
        EXPECT_TRUE(Child<QLabel>(d, "preview_warn_lbl")->isVisible());
        EXPECT_TRUE(Child<QPushButton>(d, "preview_cancel_btn")->isDefault());
        EXPECT_FALSE(Child<QPushButton>(d, "preview_apply_btn")->isDefault());
        checked = true;
        Child<QPushButton>(d, "preview_cancel_btn")->click();
    };
    click("apply_btn");
    EXPECT_TRUE(checked);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 12);
    EXPECT_TRUE(QFile::exists(dir + "/f12.mp3"));

    // The window grows past the size it opens at, never below it; the lists take the room.
    const QSize least = window->minimumSize();
    EXPECT_GE(least.width(), 900);
    window->resize(least - QSize(100, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), least);
    const int listHeight = files->height();
    window->resize(least + QSize(200, 100));
    QCoreApplication::processEvents();
    EXPECT_GT(files->height(), listHeight);
}

TEST_F(AlbumPageTest, FindByTheFilesFingerprintsThemWhileThePageAnswersAndReadsTheRelease)
{
    MusicBrainzServer musicBrainz(env->root(), {"--no-pace"});
    ASSERT_TRUE(musicBrainz.running());
    std::optional<AcoustIdServer> acoustId(std::in_place, env->root());
    ASSERT_TRUE(acoustId->running());
    startPage();
    auto* source = Child<QComboBox>(page, "source_cmb");
    QStringList sources;
    for (int i = 0; i < source->count(); ++i)
        sources << source->itemText(i);
    EXPECT_EQ(sources, QStringList({"CDDB", "MusicBrainz", "AcoustID"}));
    source->setCurrentText("AcoustID");
    auto* find = Child<QPushButton>(page, "findlen_btn");
    EXPECT_EQ(find->text(), QString(AlbumPage::kFindByFilesCaption));
    EXPECT_EQ(Setting("LookupSource"), "AcoustID");

    // Three files the stand-in knows on "Two Voices" at their own track numbers; the first also
    // on a compilation, at another.
    const QString kTwoVoices = "a1b2c3d4-0000-4000-8000-000000000033";
    const QString dir = env->makeDir("Voices");
    for (int n = 1; n <= 3; ++n) {
        const QString path = dir + QString("/%1.flac").arg(n);
        ASSERT_TRUE(MakeAudio(path, 20 + n, 5));
        QJsonArray releases{AcoustIdRelease(kTwoVoices, "Two Voices", "Duo", 3, n, "2003")};
        if (n == 1)
            releases << AcoustIdRelease("a1b2c3d4-0000-4000-8000-0000000000f9", "Sampler", "Various", 20, 7);
        ASSERT_TRUE(acoustId->know(path, QJsonArray{QJsonObject{
                                             {"id", QString("fp-%1").arg(n)},
                                             {"score", 0.95},
                                             {"recordings", QJsonArray{QJsonObject{{"id", QString("rec-%1").arg(n)},
                                                                                   {"releases", releases}}}}}}));
    }
    browse(dir, "FLAC");
    // The sound is all it searches by: no words.
    EXPECT_FALSE(Child<QPushButton>(page, "go_btn")->isEnabled());
    source->setCurrentText("CDDB");
    EXPECT_TRUE(Child<QPushButton>(page, "go_btn")->isEnabled());
    EXPECT_EQ(find->text(), QString(AlbumPage::kFindByLengthsCaption));
    source->setCurrentText("AcoustID");

    // Without a key: the source's one line, and nothing fingerprinted or sent.
    find->click();
    ASSERT_EQ(messages->texts, QStringList{lookuptext::AcoustIdNeedsKey()});
    EXPECT_FALSE(messages->texts.first().contains('\n'));
    EXPECT_TRUE(acoustId->requests().isEmpty());
    messages->texts.clear();

    // With one, the page keeps answering while the files are fingerprinted on the other
    // threads, the status line counting them; the one release holding every file at its own
    // number is read from MusicBrainz at once.
    SetSetting("AcoustIDKey", "tunora-test-key");
    QStringList status;
    QObject::connect(&AppState::instance(), &AppState::statusTextChanged, page,
                     [&](const QString& text) { status << text; });
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(10);
    QTimer::singleShot(0, find, &QPushButton::click);
    ASSERT_TRUE(waitFor([&] { return shown("tracks_lst").size() == 3; }, 120000));
    tick.stop();
    EXPECT_LT(longest, 100);
    EXPECT_EQ(shown("resalb_lst"), QStringList({"AcoustID: Duo / Two Voices (2003) [3]",
                                                "AcoustID: Various / Sampler [20]"}));
    EXPECT_EQ(Child<QListWidget>(page, "resalb_lst")->currentRow(), 0);
    EXPECT_EQ(shown("tracks_lst"), QStringList({"[01] First Light", "[02] Second Wind", "[03] All Together"}));
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join("|").toStdString();
    for (const char* s : {"Fingerprinting the files (0/3)...", "Fingerprinting the files (3/3)...",
                             "Asking AcoustID (3/3)...", "Asking MusicBrainz..."})
        EXPECT_TRUE(status.contains(s)) << s << "\n" << status.join("|").toStdString();
    EXPECT_EQ(AppState::instance().statusText(), "");
    EXPECT_EQ(acoustId->requests().size(), 3);
    EXPECT_TRUE(acoustId->violations().isEmpty()) << acoustId->violations().join("\n").toStdString();
    EXPECT_EQ(musicBrainz.targets().size(), 1);
    EXPECT_TRUE(Child<QPushButton>(page, "apply_btn")->isEnabled());

    // The main window's Cancel ends a lookup whose answer does not come: quietly, the page
    // ready for the next one.
    acoustId.reset();
    acoustId.emplace(env->makeDir("stalled"), QStringList{"--stall"});
    ASSERT_TRUE(acoustId->running());
    messages->answers << MsgAnswer::Yes; // the disc fetched before goes
    auto* cancel = Child<QPushButton>(window.get(), "cancel_btn");
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!acoustId->requests().isEmpty())
            cancel->click();
    });
    watch.start(20);
    QTimer::singleShot(0, find, &QPushButton::click);
    ASSERT_TRUE(waitFor([&] { return !acoustId->requests().isEmpty() && !IsBusy(); }, 60000));
    watch.stop();
    EXPECT_EQ(acoustId->requests().size(), 1);
    EXPECT_EQ(messages->texts, QStringList{text::AskClearFetchedDisc()}); // and no word of the cancel
    EXPECT_TRUE(shown("resalb_lst").isEmpty());
    EXPECT_TRUE(find->isEnabled());
    EXPECT_EQ(AppState::instance().statusText(), "");
}
