#include "tests/common/TestSupport.h"
#include "folders/Choixrecoldir.h"
#include "bulk/BulkPage.h"
#include "bulk/BulkRun.h"
#include "dorvane/FileIo.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QTreeWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class BulkPageTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        start();
        window->switchPage(PageId::Bulk);
        page = qobject_cast<BulkPage*>(window->page(PageId::Bulk));
        ASSERT_NE(page, nullptr);
        list = Child<QTreeWidget>(page, "bulk_lst");
        go = Child<QPushButton>(page, "bulk_go_btn");
        undo = Child<QPushButton>(page, "bulk_undo_btn");
        folder = env->makeDir("music");
        // Texts with their placeholders, so the replacements can be seen.
        LanguageTable()[46] = "taken: %%1%% | %%2%%";
        LanguageTable()[99] = "%%1%% of %%2%% renamed";
        LanguageTable()[169] = "cannot rename %%FIC%%";
        messages->texts.clear(); // whatever start-up had to say
    }

    QString makeFile(const QString& name, const QByteArray& bytes = {})
    {
        const QString p = folder + "/" + name;
        EXPECT_TRUE(WriteAll(p, bytes.isEmpty() ? name.toUtf8() : bytes));
        return p;
    }

    void addFiles(const QStringList& paths)
    {
        fileDialogs->answers << paths;
        Child<QPushButton>(page, "add_btn")->click();
    }

    QCheckBox* check(const char* name) { return Child<QCheckBox>(page, name); }

    // The list's column of paths (0) or of the new names the options give them (1).
    QStringList shownPaths(int column = 0) const
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(column);
        return out;
    }

    QStringList filesOnDisk() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    QString closing(int renamed, int count) const { return BulkClosingMessage(renamed, count); }

    BulkPage* page = nullptr;
    QTreeWidget* list = nullptr;
    QPushButton* go = nullptr;
    QPushButton* undo = nullptr;
    QString folder;
};

} // namespace

TEST_F(BulkPageTest, StartsWithOptionsOffAndButtonsDisabled)
{
    EXPECT_TRUE(Child<QRadioButton>(page, "fluc_rdo")->isChecked());
    for (const char* name : {"case_frm", "lc_rdo", "uc_rdo", "fluc_rdo"})
        EXPECT_FALSE(Child<QWidget>(page, name)->isEnabled()) << name;
    for (const char* name : {"multi_chk", "case_chk", "unmerge_chk", "merge_chk", "under_chk", "space_chk"})
        EXPECT_FALSE(check(name)->isChecked()) << name;
    EXPECT_FALSE(go->isEnabled());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(Child<QWidget>(page, "bulk_cur_bar")->isVisible());
    EXPECT_EQ(list->topLevelItemCount(), 0);

    const std::pair<const char*, int> captions[] = {
        {"add_btn", 94}, {"addfolder_btn", 95}, {"Command3", 14}, {"reset_btn", 96},
        {"bulk_go_btn", 97}, {"bulk_undo_btn", 19}, {"multi_chk", 92}, {"case_chk", 86},
        {"lc_rdo", 87}, {"uc_rdo", 88}, {"fluc_rdo", 89}, {"unmerge_chk", 85},
        {"under_chk", 90}, {"space_chk", 91}};
    for (const auto& [name, text] : captions)
        EXPECT_EQ(Child<QAbstractButton>(page, name)->text(), LanguageText(text)) << name;
    EXPECT_EQ(Child<QGroupBox>(page, "Frame4")->title(), LanguageText(4));
    EXPECT_EQ(Child<QGroupBox>(page, "case_frm")->title(), LanguageText(93));
    EXPECT_EQ(check("merge_chk")->text(), "Merge title (ie : AnOdeToNoOne ->  An Ode To No One)");
}

TEST_F(BulkPageTest, OptionInterlocksAndGo)
{
    auto* caseChk = check("case_chk");
    caseChk->click();
    EXPECT_FALSE(go->isEnabled()) << "an option without files";
    for (const char* name : {"case_frm", "lc_rdo", "uc_rdo", "fluc_rdo"})
        EXPECT_TRUE(Child<QWidget>(page, name)->isEnabled()) << name;
    addFiles({makeFile("one.mp3")});
    EXPECT_TRUE(go->isEnabled());
    caseChk->click();
    EXPECT_FALSE(Child<QWidget>(page, "uc_rdo")->isEnabled());
    EXPECT_FALSE(go->isEnabled()) << "files without an option";

    for (auto [a, b] : {std::pair {"space_chk", "under_chk"}, std::pair {"unmerge_chk", "merge_chk"}}) {
        check(a)->click();
        EXPECT_TRUE(go->isEnabled());
        check(b)->click();
        EXPECT_TRUE(check(b)->isChecked());
        EXPECT_FALSE(check(a)->isChecked()) << a << " released by " << b;
        check(a)->click();
        EXPECT_FALSE(check(b)->isChecked()) << b << " released by " << a;
        check(a)->click();
        EXPECT_FALSE(go->isEnabled());
    }
    check("multi_chk")->click();
    EXPECT_TRUE(go->isEnabled());
    Child<QPushButton>(page, "reset_btn")->click();
    EXPECT_FALSE(go->isEnabled()) << "options without files";
}

TEST_F(BulkPageTest, RunWithNothingToChangeStillEnablesUndo)
{
    const QStringList paths = {makeFile("Song One.mp3"), makeFile("Two.mp3"), makeFile("abc")};
    addFiles(paths);
    check("case_chk")->click(); // capitals already right
    go->click();
    EXPECT_EQ(messages->texts, QStringList {closing(0, 3)});
    EXPECT_TRUE(closing(0, 3).endsWith("0 of 3 renamed"));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(IsBusy());
    EXPECT_EQ(page->undoEntries(), paths);
    const QStringList before = filesOnDisk();
    undo->click();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(filesOnDisk(), before);
    EXPECT_EQ(shownPaths(), paths);
    EXPECT_EQ(messages->texts.size(), 1);
}

TEST_F(BulkPageTest, CaseOnlyRenameAndItsUndo)
{
    const QString p = makeFile("song.mp3", "payload");
    addFiles({p});
    check("case_chk")->click();
    go->click();
    const QString renamed = folder + "/Song.mp3";
    EXPECT_EQ(filesOnDisk(), QStringList {"Song.mp3"});
    EXPECT_EQ(ReadAll(renamed), "payload");
    EXPECT_EQ(shownPaths(), QStringList {renamed});
    EXPECT_EQ(page->entries(), QStringList {renamed});
    EXPECT_EQ(messages->texts, QStringList {closing(1, 1)});

    undo->click();
    EXPECT_EQ(filesOnDisk(), QStringList {"song.mp3"});
    EXPECT_EQ(ReadAll(p), "payload");
    EXPECT_EQ(shownPaths(), QStringList {p});
    EXPECT_FALSE(undo->isEnabled());
}

TEST_F(BulkPageTest, ANameOfAnyBytesShowsAsWindows1252GoesToUtf8AndUndoGivesBackItsBytes)
{
    // "café €.mp3" as an old Windows disk wrote it: Latin-1 é, Windows-1252 € (0x80).
    const QByteArray raw = QFile::encodeName(folder) + "/caf\xe9 \x80.mp3";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const auto namesOnDisk = [this] {
        QList<QByteArray> out;
        DIR* d = ::opendir(QFile::encodeName(folder).constData());
        while (const dirent* e = d ? ::readdir(d) : nullptr)
            if (e->d_name[0] != '.')
                out << QByteArray(e->d_name);
        if (d)
            ::closedir(d);
        return out;
    };
    addFiles({dorvane::io::DecodeName(raw)});
    EXPECT_EQ(shownPaths(), QStringList {folder + QString::fromUtf8("/caf\xc3\xa9 \xe2\x82\xac.mp3")});
    check("case_chk")->click();
    Child<QRadioButton>(page, "uc_rdo")->click();
    EXPECT_EQ(shownPaths(1), QStringList {QString::fromUtf8("CAF\xc3\x89 \xe2\x82\xac.mp3")});
    go->click();
    EXPECT_EQ(namesOnDisk(), QList<QByteArray> {"CAF\xc3\x89 \xe2\x82\xac.mp3"});
    undo->click();
    EXPECT_EQ(namesOnDisk(), QList<QByteArray> {"caf\xe9 \x80.mp3"});
    EXPECT_EQ(page->entries(), QStringList {dorvane::io::DecodeName(raw)});
    ::unlink(raw.constData()); // the temporary folder's cleanup would not find it
}

TEST_F(BulkPageTest, TheListShowsEachNewNameBeforeGoAsTheDryRunPrintsIt)
{
    const QStringList paths = {makeFile("my_first_song.mp3"), makeFile("second__Song.mp3"),
                               makeFile("thirdTrackName.mp3"), makeFile("Done.mp3"), makeFile("my first song.mp3")};
    addFiles(paths);
    EXPECT_EQ(shownPaths(1), QStringList(5, QString())) << "no option, no new name";
    check("under_chk")->click();
    EXPECT_EQ(shownPaths(1), (QStringList {"my first song.mp3", "second Song.mp3", "", "", ""}));
    check("unmerge_chk")->click();
    check("case_chk")->click();
    const QStringList expected {"My First Song.mp3", "Second Song.mp3", "Third Track Name.mp3", "", "My First Song.mp3"};
    EXPECT_EQ(shownPaths(1), expected);
    // The last file finds its new name taken by the first one's rename, and says so.
    EXPECT_EQ(list->topLevelItem(4)->toolTip(1), "taken: " + folder + "/My First Song.mp3 | " + paths.at(4));
    EXPECT_TRUE(list->topLevelItem(0)->toolTip(1).isEmpty());

    // tunora-cli prints the same rows.
    QByteArray out, err;
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli",
                         QStringList {"rename", "--case", "fluc", "--unmerge", "--under", "--dry-run"} + paths, &out,
                         &err),
              1);
    QStringList rows;
    for (int i = 0; i < 3; ++i)
        rows << paths.at(i) + "\t" + folder + "/" + expected.at(i);
    rows << "3 of 5 files would be renamed";
    EXPECT_EQ(QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts), rows);
    EXPECT_TRUE(err.contains(QFile::encodeName(paths.at(4)) + " to " + QFile::encodeName(folder) + "/My First Song.mp3"))
        << err.toStdString();

    go->click();
    EXPECT_EQ(filesOnDisk(),
              (QStringList {"Done.mp3", "My First Song.mp3", "Second Song.mp3", "Third Track Name.mp3", "my first song.mp3"}));
    EXPECT_EQ(shownPaths(1), (QStringList {"", "", "", "", "My First Song.mp3"})) << "only the file left alone";
    Child<QRadioButton>(page, "uc_rdo")->click();
    EXPECT_EQ(shownPaths(1).at(3), "DONE.mp3") << "a case mode chosen refreshes the list too";
}

TEST_F(BulkPageTest, UndoRunsFromTheLastEntryBack)
{
    // The run renamed a.mp3 to b.mp3, then c.mp3 to the name a.mp3 had given up.
    const QString a = folder + "/a.mp3", b = makeFile("b.mp3", "was a"), c = folder + "/c.mp3";
    makeFile("a.mp3", "was c");
    QStringList entries {b, a};
    UndoBulk(entries, {a, c}, {});
    EXPECT_EQ(ReadAll(a), "was a");
    EXPECT_EQ(ReadAll(c), "was c");
    EXPECT_EQ(entries, (QStringList {a, c}));
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
}

TEST_F(BulkPageTest, CoincidingNewNamesLeaveTheSecondFileAlone)
{
    const QString a = makeFile("my song.mp3", "first");
    const QString b = makeFile("MY SONG.mp3", "second");
    addFiles({a, b});
    check("case_chk")->click();
    go->click();
    const QString target = folder + "/My Song.mp3";
    ASSERT_EQ(messages->texts.size(), 2);
    EXPECT_EQ(messages->texts.at(0), "cannot rename " + b);
    EXPECT_EQ(messages->texts.at(1), closing(1, 2));
    EXPECT_EQ(ReadAll(target), "first");
    EXPECT_EQ(ReadAll(b), "second");
    EXPECT_EQ(shownPaths(), (QStringList {target, b}));
    EXPECT_EQ(filesOnDisk().size(), 2);
}

TEST_F(BulkPageTest, VanishedFileIsSkippedButCounted)
{
    const QStringList paths = {makeFile("a_one.mp3"), makeFile("a_two.mp3"), makeFile("a_three.mp3")};
    addFiles(paths);
    QFile::remove(paths.at(1));
    check("under_chk")->click();
    go->click();
    EXPECT_EQ(messages->texts, QStringList {closing(2, 3)});
    EXPECT_EQ(filesOnDisk(), (QStringList {"a one.mp3", "a three.mp3"}));
    EXPECT_EQ(shownPaths(), (QStringList {folder + "/a one.mp3", paths.at(1), folder + "/a three.mp3"}));
}

TEST_F(BulkPageTest, CancelAfterTheThirdOfTenFiles)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << makeFile(QStringLiteral("track %1.mp3").arg(i));
    addFiles(paths);
    check("case_chk")->click();

    auto* cancel = Child<QPushButton>(window.get(), "cancel_btn");
    bool controlsLockedDuringRun = true;
    int changes = 0;
    QObject::connect(page, &BulkPage::entryRenamed, page, [&] {
        controlsLockedDuringRun = controlsLockedDuringRun && IsBusy() &&
                                  !Child<QPushButton>(page, "add_btn")->isEnabled() &&
                                  !Child<QPushButton>(page, "Command3")->isEnabled() && !go->isEnabled() &&
                                  !Child<QWidget>(page, "Frame4")->isEnabled() &&
                                  !Child<QToolButton>(window.get(), "brand_btn_0")->isEnabled();
        // The click arrives as an event, seen during the run's yield after this file.
        if (++changes == 3)
            QMetaObject::invokeMethod(cancel, "click", Qt::QueuedConnection);
    });
    go->click();
    EXPECT_TRUE(controlsLockedDuringRun);
    EXPECT_EQ(messages->texts, QStringList {LanguageText(177)});
    EXPECT_FALSE(IsBusy());
    EXPECT_TRUE(undo->isEnabled()) << "the three renames done can be undone";
    EXPECT_TRUE(go->isEnabled());
    EXPECT_TRUE(Child<QToolButton>(window.get(), "brand_btn_0")->isEnabled());
    EXPECT_FALSE(Child<QWidget>(page, "bulk_cur_bar")->isVisible());
    QStringList expected = paths;
    for (int i = 0; i < 3; ++i)
        expected[i] = folder + QStringLiteral("/Track %1.mp3").arg(i);
    EXPECT_EQ(shownPaths(), expected);
    QStringList names;
    for (const QString& p : expected)
        names << QFileInfo(p).fileName();
    names.sort();
    EXPECT_EQ(filesOnDisk(), names);
}

TEST_F(BulkPageTest, CancelKeepsAnEnabledUndoAndItPutsBackThePartialRun)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << makeFile(QStringLiteral("track_%1.mp3").arg(i));
    addFiles(paths);
    check("multi_chk")->click();
    go->click(); // nothing to change, Undo becomes valid
    ASSERT_TRUE(undo->isEnabled());
    messages->texts.clear();

    check("under_chk")->click();
    auto* cancel = Child<QPushButton>(window.get(), "cancel_btn");
    int changes = 0;
    QObject::connect(page, &BulkPage::entryRenamed, page, [&] {
        if (++changes == 3)
            QMetaObject::invokeMethod(cancel, "click", Qt::QueuedConnection);
    });
    go->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(177)});
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(page->undoEntries(), paths.mid(0, 3));
    undo->click();
    EXPECT_EQ(shownPaths(), paths);
    for (const QString& p : paths)
        EXPECT_TRUE(QFileInfo::exists(p)) << p.toStdString();
    EXPECT_EQ(messages->texts.size(), 1);
}

TEST_F(BulkPageTest, EveryListEditDisablesUndo)
{
    const QString a = makeFile("a_1.mp3"), b = makeFile("b_2.mp3");
    addFiles({a, b});
    check("under_chk")->click();
    auto runOnce = [&] {
        go->click();
        ASSERT_TRUE(undo->isEnabled());
    };

    runOnce();
    addFiles({makeFile("c_3.mp3")});
    EXPECT_FALSE(undo->isEnabled()) << "add files";

    runOnce();
    fileDialogs->answers << QStringList(); // a cancelled dialog still counts as an edit
    Child<QPushButton>(page, "add_btn")->click();
    EXPECT_FALSE(undo->isEnabled()) << "cancelled add files";

    runOnce();
    Child<QPushButton>(page, "addfolder_btn")->click(); // the chooser is dismissed
    EXPECT_FALSE(undo->isEnabled()) << "add folder";
    EXPECT_EQ(list->topLevelItemCount(), 3);

    runOnce();
    list->topLevelItem(1)->setSelected(true);
    Child<QPushButton>(page, "Command3")->click();
    EXPECT_FALSE(undo->isEnabled()) << "delete";

    runOnce();
    Child<QPushButton>(page, "reset_btn")->click();
    EXPECT_FALSE(undo->isEnabled()) << "reset";
    EXPECT_EQ(list->topLevelItemCount(), 0);

    // The stale undo list is never replayed: a click on the disabled button does nothing.
    const QStringList before = filesOnDisk();
    undo->click();
    EXPECT_EQ(filesOnDisk(), before);
    EXPECT_EQ(before, (QStringList {"a 1.mp3", "b 2.mp3", "c 3.mp3"}));
}

TEST_F(BulkPageTest, AddFolderAppendsTheWalkWithoutDuplicates)
{
    const QString a = makeFile("b one.mp3"), b = makeFile("a two.MP3");
    makeFile("notes.txt");
    const QString deep = makeFile("sub/deep.ogg");
    addFiles({a});
    check("multi_chk")->click();
    go->click();
    ASSERT_TRUE(undo->isEnabled());

    dialogs->steps << [&](QDialog* d) {
        EXPECT_EQ(d->objectName(), "Choixrecoldir");
        auto* chooser = qobject_cast<Choixrecoldir*>(d);
        ASSERT_NE(chooser, nullptr);
        ASSERT_TRUE(chooser->setDirPath(folder));
        Child<QCheckBox>(d, "recurse_chk")->setChecked(true);
        Child<QPushButton>(d, "ok_btn")->click();
    };
    Child<QPushButton>(page, "addfolder_btn")->click();
    EXPECT_EQ(shownPaths(), (QStringList {a, b, deep})) << "the walk's order, the listed file once";
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(go->isEnabled());
}

TEST_F(BulkPageTest, DeleteRemovesEverySelectedEntry)
{
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths << makeFile(QStringLiteral("f%1.mp3").arg(i));
    addFiles(paths);
    for (int row : {0, 2, 4})
        list->topLevelItem(row)->setSelected(true);
    Child<QPushButton>(page, "Command3")->click();
    EXPECT_EQ(shownPaths(), (QStringList {paths.at(1), paths.at(3)}));
    EXPECT_EQ(page->entries(), shownPaths());
}

TEST_F(BulkPageTest, UndoLeavesANameTakenMeanwhileAlone)
{
    const QString a = makeFile("x_y.mp3", "renamed one");
    addFiles({a});
    check("under_chk")->click();
    go->click();
    const QString cur = folder + "/x y.mp3";
    ASSERT_TRUE(QFileInfo::exists(cur));
    ASSERT_TRUE(WriteAll(a, "newcomer"));
    messages->texts.clear();
    undo->click();
    EXPECT_EQ(messages->texts, QStringList {"taken: " + a + " | " + cur});
    EXPECT_EQ(ReadAll(a), "newcomer");
    EXPECT_EQ(ReadAll(cur), "renamed one");
    EXPECT_EQ(shownPaths(), QStringList {cur});
    EXPECT_FALSE(undo->isEnabled());
}

TEST_F(BulkPageTest, AddFilesRemembersTheFolderInLastDir)
{
    const QString other = env->makeDir("other");
    // One file: the folder with its final "/".
    SetSetting("LastDir", "");
    addFiles({makeFile("one.mp3")});
    ASSERT_EQ(fileDialogs->requests.size(), 1);
    const FileDialogRequest& first = fileDialogs->requests.at(0);
    EXPECT_EQ(first.kind, FileDialogRequest::OpenMany);
    EXPECT_EQ(first.caption, "Tunora");
    EXPECT_EQ(first.directory, AppFolder()) << "no LastDir yet";
    EXPECT_EQ(first.filter, BulkPage::fileDialogFilter());
    EXPECT_EQ(Setting("LastDir"), folder + "/");

    // The final "/" still names the folder.
    const QString two = other + "/two.mp3", three = other + "/three.mp3";
    WriteAll(two, "2");
    WriteAll(three, "3");
    addFiles({two, other + "/gone.mp3", three});
    EXPECT_EQ(fileDialogs->requests.at(1).directory, folder + "/");
    EXPECT_EQ(Setting("LastDir"), other) << "several files: no final /";
    EXPECT_EQ(shownPaths(), (QStringList {folder + "/one.mp3", two, three}));

    addFiles({});
    EXPECT_EQ(fileDialogs->requests.at(2).directory, other);
    EXPECT_EQ(Setting("LastDir"), other) << "cancel writes nothing";

    // A single file that is not there adds nothing and keeps LastDir.
    addFiles({folder + "/missing.mp3"});
    EXPECT_EQ(Setting("LastDir"), other);
    EXPECT_EQ(list->topLevelItemCount(), 3);

    SetSetting("LastDir", "  " + folder + "/nowhere  ");
    addFiles({});
    EXPECT_EQ(fileDialogs->requests.at(4).directory, AppFolder());
    SetSetting("LastDir", "  " + other + "  ");
    addFiles({});
    EXPECT_EQ(fileDialogs->requests.at(5).directory, other) << "trimmed";
}

TEST_F(BulkPageTest, TheRealFileDialogOffersTheThreeFilters)
{
    const QString a = makeFile("a.mp3"), b = makeFile("b.ogg");
    SetSetting("LastDir", folder);
    const FileDialogHandler scripted = SetFileDialogHandler(nullptr);
    QStringList filters;
    bool nonNative = false, many = false;
    QString shownDir;
    dialogs->steps << [&](QDialog* d) {
        auto* fd = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(fd, nullptr);
        filters = fd->nameFilters();
        nonNative = fd->testOption(QFileDialog::DontUseNativeDialog);
        many = fd->fileMode() == QFileDialog::ExistingFiles;
        shownDir = fd->directory().absolutePath();
        fd->selectFile("\"a.mp3\" \"b.ogg\"");
        static_cast<QDialog*>(fd)->accept();
    };
    Child<QPushButton>(page, "add_btn")->click();
    SetFileDialogHandler(scripted);
    EXPECT_TRUE(nonNative);
    EXPECT_TRUE(many);
    EXPECT_EQ(shownDir, folder);
    ASSERT_EQ(filters.size(), 3);
    EXPECT_EQ(filters.at(0), "MP3 Files (*.mp3)");
    EXPECT_EQ(filters.at(1), "OGG Files (*.ogg *.oga)");
    EXPECT_TRUE(filters.at(2).startsWith("All Media files (*.mp3; *.ogg; *.oga; *.vqf; *.ape; *.mpc; *.mp4; *.m4a; *.wma; *.wav; *.flac; *.opus; *.wv; *.aiff; *.aif)"));
    EXPECT_TRUE(filters.at(2).endsWith("(*.mp3 *.ogg *.oga *.vqf *.ape *.mpc *.mp4 *.m4a *.wma *.wav *.flac *.opus *.wv *.aiff *.aif)"));
    QStringList shown = shownPaths();
    shown.sort();
    EXPECT_EQ(shown, (QStringList {a, b}));
    EXPECT_EQ(Setting("LastDir"), folder);
}

TEST_F(BulkPageTest, ALongRunStaysCancellableAndConsistent)
{
    constexpr int kFiles = 10000;
    QStringList paths;
    paths.reserve(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        const QString p = folder + QStringLiteral("/song_%1.mp3").arg(i, 5, 10, QChar('0'));
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        paths << p;
    }
    addFiles(paths);
    ASSERT_EQ(list->topLevelItemCount(), kFiles);
    check("under_chk")->click();

    auto* cancel = Child<QPushButton>(window.get(), "cancel_btn");
    auto* bar = Child<QWidget>(page, "bulk_cur_bar");
    int changes = 0, barWidthAtCancel = -1;
    QObject::connect(page, &BulkPage::entryRenamed, page, [&] {
        if (++changes == kFiles / 2) {
            barWidthAtCancel = bar->width();
            QMetaObject::invokeMethod(cancel, "click", Qt::QueuedConnection);
        }
    });
    go->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(177)});
    EXPECT_GT(barWidthAtCancel, 0) << "progress shown on the way";
    int renamed = 0;
    for (int i = 0; i < kFiles; ++i) {
        const QString shown = list->topLevelItem(i)->text(0);
        ASSERT_TRUE(QFileInfo::exists(shown)) << shown.toStdString();
        renamed += shown != paths.at(i);
    }
    EXPECT_EQ(renamed, kFiles / 2);
    EXPECT_EQ(page->undoEntries().size(), kFiles / 2);

    // The renames done before the cancel can be undone; a second run replaces that undo list.
    EXPECT_TRUE(undo->isEnabled());
    const QStringList beforeSecondRun = shownPaths();
    messages->texts.clear();
    go->click();
    ASSERT_EQ(messages->texts, QStringList {closing(kFiles / 2, kFiles)});
    undo->click();
    EXPECT_TRUE(shownPaths() == beforeSecondRun) << "undo goes back to the names before the last run";
    EXPECT_TRUE(QFileInfo::exists(QString(paths.first()).replace("song_", "song ")));
    EXPECT_TRUE(QFileInfo::exists(paths.last()));
    EXPECT_EQ(filesOnDisk().size(), kFiles);
}
