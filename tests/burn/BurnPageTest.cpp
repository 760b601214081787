// The burn page on the real main window, handing off to a fake burner script.
#include "folders/Choixrecoldir.h"
#include "burn/BurnPage.h"
#include "burn/BurnTexts.h"
#include "dorvane/Dorvanectrl.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/ArgumentRecorder.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

class BurnPageTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        music = env->makeDir("music");
        burnerDir = env->makeDir("vso");
        // Every test starts without a burner; installBurner() and fakeBurner() put one in. PATH
        // holds only the tools the fake burners use, so no real burner is ever found.
        toolctl().RegistryWrite(1, "Software\\VSO", "CopyToDVD", "");
        bin = env->makeDir("bin");
        for (const char* tool : {"cp", "mv", "sleep", "touch", "dirname", "lame", "ffprobe"})
            QFile::link(QStandardPaths::findExecutable(tool), bin + "/" + tool);
        oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
    }

    void TearDown() override
    {
        qputenv("PATH", oldPath);
        MainWindowFixture::TearDown();
    }

    // A k3b or brasero on PATH that writes its arguments, one a line, to <name>.args.
    void fakeBurner(const QString& name)
    {
        ASSERT_TRUE(WriteAll(bin + "/" + name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                                   burnerDir.toUtf8() + "/" + name.toUtf8() + ".args\"\n"));
        QFile::setPermissions(bin + "/" + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A burner that records its arguments and a copy of the list file; with "hold" present it
    // runs until "release" appears.
    void installBurner()
    {
        const QByteArray script = "#!/bin/sh\n"
                                  "d=\"$(dirname \"$0\")\"\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$d/args.tmp\"\n"
                                  "cp \"${1#/fl=}\" \"$d/list-copy.c2c\"\n"
                                  "mv \"$d/args.tmp\" \"$d/args.txt\"\n"
                                  "if [ -e \"$d/hold\" ]; then\n"
                                  "  i=0; while [ ! -e \"$d/release\" ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
                                  "  touch \"$d/ended\"\n"
                                  "fi\n";
        ASSERT_TRUE(WriteAll(burnerDir + "/copytocd.exe", script));
        QFile::setPermissions(burnerDir + "/copytocd.exe", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        toolctl().RegistryWrite(1, "Software\\VSO", "CopyToDVD", burnerDir + "/");
    }

    BurnPage* startPage(bool realTimes = false)
    {
        start();
        window->switchPage(PageId::Burn);
        auto* p = qobject_cast<BurnPage*>(window->page(PageId::Burn));
        EXPECT_NE(p, nullptr);
        if (realTimes)
            return p;
        p->setPlayingTimeReader([this](const QString& path, double& ms) {
            if (!dorvane::io::Exists(path) || !times.contains(path))
                return false;
            ms = times.value(path);
            return true;
        });
        return p;
    }

    // A file of the given playing time in the music folder.
    QString song(const QString& name, double ms)
    {
        const QString path = music + "/" + name;
        EXPECT_TRUE(WriteAll(path, "audio"));
        times.insert(path, ms);
        return path;
    }

    void addByDialog(const QStringList& paths)
    {
        fileDialogs->answers << paths;
        button("burn_add_btn")->click();
    }

    QPushButton* button(const char* name) { return Child<QPushButton>(window.get(), name); }
    QListWidget* list() { return Child<QListWidget>(window.get(), "burn_lst"); }
    QString timeLabel() { return Child<QLabel>(window.get(), "burn_time_lbl")->text(); }
    QString burned(const QString& file) const { return QString::fromUtf8(ReadAll(burnerDir + "/" + file)); }

    bool pageEnabled()
    {
        for (const char* n : {"burn_add_btn", "burn_addfolder_btn", "burn_delete_btn", "burn_reset_btn", "burn_up_btn",
                              "burn_down_btn", "burn_btn"})
            if (!button(n)->isEnabled())
                return false;
        return true;
    }

    void select(const QList<int>& rows)
    {
        list()->clearSelection();
        for (int r : rows)
            list()->item(r)->setSelected(true);
    }

    QString music, burnerDir, bin;
    QByteArray oldPath;
    QMap<QString, double> times;
};

TEST_F(BurnPageTest, NoBurnerIsAskedAboutOnlyAtTheBurnButton)
{
    BurnPage* page = startPage();
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    EXPECT_EQ(Child<QLabel>(window.get(), "burn_burner_lbl")->text(), burntext::NoBurner());
    EXPECT_EQ(page->total(), 0);
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 0min 0sec ");
    EXPECT_EQ(button("burn_btn")->text(), LanguageText(170));
    EXPECT_EQ(Child<QWidget>(window.get(), "c2cd_btn")->property("text").toString(), LanguageText(2));
    EXPECT_TRUE(LanguageText(173).contains("k3b") && LanguageText(173).contains("Brasero"));

    addByDialog({song("a.mp3", 1000)});
    button("burn_btn")->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(173)});
    EXPECT_EQ(messages->kinds.value(0), MsgButtons::YesNo);
    EXPECT_FALSE(QFile::exists(env->appDir() + "/list.c2c"));
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());

    // A burner installed while the program runs is named when the page is shown again.
    fakeBurner("brasero");
    window->switchPage(PageId::Album);
    window->switchPage(PageId::Burn);
    EXPECT_EQ(Child<QLabel>(window.get(), "burn_burner_lbl")->text(),
              burntext::BurnerInUse("Brasero", bin + "/brasero"));
}

TEST_F(BurnPageTest, TheFirstBurnerThereGetsTheFilesInListOrder)
{
    const QString listPath = env->appDir() + "/list.c2c";
    struct Row {
        bool copyToCd, k3b, brasero;
        QString name, program, args; // args: what the burner got, "%1"/"%2" the two files
    };
    const QList<Row> rows = {
        {false, false, true, "Brasero", bin + "/brasero", "--audio\n%1\n%2\n"},
        {false, true, true, "k3b", bin + "/k3b", "--audiocd\n%1\n%2\n"},
        {true, true, true, "CopyToCD", burnerDir + "/copytocd.exe",
         "/fl=" + listPath + "\n/cdaudio=" + listPath + "\n"},
    };
    const QString a = song("b first.mp3", 1000), b = song("a second.mp3", 1000), broken = song("line\nbreak.mp3", 1);
    BurnPage* page = startPage();
    addByDialog({a, broken, b});
    ASSERT_EQ(page->entries(), (QStringList {a, broken, b}));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name.toStdString());
        if (r.copyToCd)
            installBurner();
        for (const char* name : {"k3b", "brasero"})
            QFile::remove(bin + "/" + name);
        if (r.k3b)
            fakeBurner("k3b");
        if (r.brasero)
            fakeBurner("brasero");
        window->switchPage(PageId::Album);
        window->switchPage(PageId::Burn);
        EXPECT_EQ(Child<QLabel>(window.get(), "burn_burner_lbl")->text(), burntext::BurnerInUse(r.name, r.program));
        messages->texts.clear();
        button("burn_btn")->click();
        // The entry whose name holds a line break is left out, and the user is told.
        EXPECT_EQ(messages->texts, QStringList {burntext::LeftOutLineBreaks({broken})});
        const QString got = r.copyToCd ? burned("args.txt") : burned(r.name.toLower() + ".args");
        EXPECT_EQ(got, QString(r.args).arg(a, b));
        EXPECT_TRUE(pageEnabled());
    }
    EXPECT_EQ(ReadAll(burnerDir + "/list-copy.c2c"), (a + "\r\n" + b + "\r\n").toUtf8());
}

TEST_F(BurnPageTest, ANameOfAnyBytesIsShownAsWindows1252AndReachesTheBurnerAsItsBytes)
{
    fakeBurner("brasero");
    // "café €.mp3" as an old Windows disk wrote it: Latin-1 é, Windows-1252 € (0x80).
    const QByteArray raw = QFile::encodeName(music) + "/caf\xe9 \x80.mp3";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const QString path = dorvane::io::DecodeName(raw);
    times.insert(path, 1000);
    BurnPage* page = startPage();
    addByDialog({path});
    ASSERT_EQ(page->entries(), QStringList {path});
    EXPECT_EQ(list()->item(0)->text(), music + QString::fromUtf8("/caf\xc3\xa9 \xe2\x82\xac.mp3"));
    button("burn_btn")->click();
    EXPECT_EQ(ReadAll(burnerDir + "/brasero.args"), "--audio\n" + raw + "\n");
    ::unlink(raw.constData()); // the temporary folder's cleanup would not find it
}

TEST_F(BurnPageTest, StartUpIsQuietWithTheBurnerInstalled)
{
    installBurner();
    startPage();
    EXPECT_FALSE(messages->texts.contains(LanguageText(173)));
}

TEST_F(BurnPageTest, TotalsAndBar)
{
    installBurner();
    BurnPage* page = startPage();
    addByDialog({song("a.mp3", 61000)});
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 1min 1sec ");
    addByDialog({song("b.mp3", 1)});
    EXPECT_EQ(page->total(), 61001);
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 1min 2sec ");

    QWidget* bar = Child<QWidget>(window.get(), "burn_prog_bar");
    QWidget* hst = Child<QWidget>(window.get(), "burn_prog_hst");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->width(), hst->width() * 1 / 100); // 61 s are 1 % of a CD

    // Past the capacity the bar stays full.
    addByDialog({song("long.mp3", 5000000)});
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->width(), hst->width());

    button("burn_reset_btn")->click();
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(page->total(), 0);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 0min 0sec ");
}

TEST_F(BurnPageTest, OnlyFilesWithAPlayingTimeAreAdded)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1000);
    const QString bad = music + "/broken.mp3";
    ASSERT_TRUE(WriteAll(bad, "no audio"));
    addByDialog({a, bad, song("c.ogg", 2000)});
    EXPECT_EQ(page->entries(), (QStringList {a, music + "/c.ogg"}));
    EXPECT_EQ(page->total(), 3000);
    // Several files: the folder is remembered without its final "/".
    EXPECT_EQ(Setting("LastDir"), music);
    ASSERT_EQ(fileDialogs->requests.size(), 1);
    EXPECT_EQ(fileDialogs->requests[0].kind, FileDialogRequest::OpenMany);
    EXPECT_EQ(fileDialogs->requests[0].caption, "Tunora");
    EXPECT_TRUE(fileDialogs->requests[0].filter == "Media files (*.mp3; *.ogg; *.oga; *.vqf; *.ape; *.mpc; *.mp4; *.m4a; *.wma; *.wav; *.flac; *.opus; *.wv; *.aiff; *.aif) (*.mp3 *.ogg *.oga *.vqf *.ape *.mpc *.mp4 *.m4a *.wma *.wav *.flac *.opus *.wv *.aiff *.aif)");
    EXPECT_FALSE(fileDialogs->requests[0].filter.contains(";;")); // a single entry
    EXPECT_EQ(fileDialogs->requests[0].directory, env->appDir());
    EXPECT_FALSE(IsBusy());
    EXPECT_TRUE(pageEnabled());
}

TEST_F(BurnPageTest, TheSameFileTwiceByDialogGivesTwoEntries)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1500);
    addByDialog({a});
    addByDialog({a});
    EXPECT_EQ(page->entries(), (QStringList {a, a}));
    EXPECT_EQ(page->total(), 3000);
    // One file: the remembered folder keeps its final "/", and the next dialog opens there.
    EXPECT_EQ(Setting("LastDir"), music + "/");
    EXPECT_EQ(fileDialogs->requests.value(1).directory, music + "/");
}

TEST_F(BurnPageTest, CancelledImportLeavesTheRestStaged)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1000), b = song("b.mp3", 1000), c = song("c.mp3", 1000);
    // The cancel button is pressed while the second file is measured.
    page->setPlayingTimeReader([&](const QString& path, double& ms) {
        if (path == b)
            Child<QPushButton>(window.get(), "cancel_btn")->click();
        ms = times.value(path);
        return true;
    });
    addByDialog({a, b, c});
    EXPECT_EQ(page->entries(), (QStringList {a, b}));
    EXPECT_EQ(page->tmpList(), QStringList {c});
    EXPECT_EQ(messages->texts.last(), LanguageText(177));
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());
    // A cancelled dialog still imports what stayed staged.
    addByDialog({});
    EXPECT_EQ(page->entries(), (QStringList {a, b, c}));
    EXPECT_TRUE(page->tmpList().isEmpty());
}

TEST_F(BurnPageTest, DeletingAVanishedFileRecountsEverything)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1000), b = song("b.mp3", 2000), c = song("c.mp3", 4000), d = song("d.mp3", 8000);
    addByDialog({a, b, c, d});
    ASSERT_EQ(page->total(), 15000);

    // Deleting a readable entry subtracts its time.
    select({0});
    button("burn_delete_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {b, c, d}));
    EXPECT_EQ(page->total(), 14000);

    QFile::remove(b);
    QFile::remove(c);
    select({0});
    button("burn_delete_btn")->click();
    // c was not selected but can no longer be read: the recount drops it too.
    EXPECT_EQ(page->entries(), QStringList {d});
    EXPECT_EQ(page->total(), 8000);
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 0min 8sec ");
}

TEST_F(BurnPageTest, MoveRules)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1), b = song("b.mp3", 1), c = song("c.mp3", 1);
    addByDialog({a, b, c});

    select({1, 2});
    button("burn_up_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {a, b, c})); // two selected: nothing
    select({2});
    button("burn_down_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {a, b, c})); // last: nothing
    select({0});
    button("burn_up_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {a, b, c})); // first: nothing

    select({2});
    button("burn_up_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {a, c, b}));
    EXPECT_TRUE(list()->item(1)->isSelected());
    EXPECT_FALSE(list()->item(2)->isSelected());
    button("burn_up_btn")->click(); // the selection moved along, so c goes on up
    EXPECT_EQ(page->entries(), (QStringList {c, a, b}));
    button("burn_down_btn")->click();
    EXPECT_EQ(page->entries(), (QStringList {a, c, b}));
    EXPECT_TRUE(list()->item(1)->isSelected());
    EXPECT_EQ(page->total(), 3);
}

TEST_F(BurnPageTest, DraggingCarriesTheEntryAlong)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("a.mp3", 1), b = song("b.mp3", 1), c = song("c.mp3", 1);
    addByDialog({a, b, c});
    QWidget* vp = list()->viewport();
    auto at = [&](int row) { return list()->visualItemRect(list()->item(row)).center(); };
    auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, pos, vp->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    send(QEvent::MouseButtonPress, at(0), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, at(1), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(page->entries(), (QStringList {b, a, c}));
    send(QEvent::MouseMove, at(2), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(page->entries(), (QStringList {b, c, a}));
    EXPECT_TRUE(list()->item(2)->isSelected());
    EXPECT_FALSE(list()->item(1)->isSelected());
    send(QEvent::MouseButtonRelease, at(2), Qt::LeftButton, Qt::NoButton);
    // Moving without a press after the release swaps nothing.
    send(QEvent::MouseMove, at(0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(page->entries(), (QStringList {b, c, a}));
}

TEST_F(BurnPageTest, HandOffWritesTheListAndStartsTheBurner)
{
    installBurner();
    BurnPage* page = startPage();
    const QString a = song("first song.mp3", 2220000), b = song("Café.mp3", 2220000);
    addByDialog({a, b});
    ASSERT_EQ(page->total(), 4440000);
    messages->texts.clear();
    button("burn_btn")->click();
    // Exactly 74:00 goes without the warning.
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    const QString listPath = env->appDir() + "/list.c2c";
    EXPECT_EQ(burned("args.txt"), "/fl=" + listPath + "\n/cdaudio=" + listPath + "\n");
    EXPECT_EQ(ReadAll(burnerDir + "/list-copy.c2c"), (a + "\r\n" + b + "\r\n").toUtf8());
    EXPECT_EQ(ReadAll(listPath), ReadAll(burnerDir + "/list-copy.c2c"));
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());
}

TEST_F(BurnPageTest, OneMillisecondPastTheCapacityAsksFirst)
{
    installBurner();
    BurnPage* page = startPage();
    addByDialog({song("a.mp3", 2220000), song("b.mp3", 2220001)});
    ASSERT_EQ(page->total(), 4440001);
    messages->texts.clear();
    messages->answers = {MsgAnswer::No};
    button("burn_btn")->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(174)});
    EXPECT_FALSE(QFile::exists(burnerDir + "/args.txt"));
    EXPECT_FALSE(QFile::exists(env->appDir() + "/list.c2c"));
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());

    messages->answers = {MsgAnswer::Yes};
    button("burn_btn")->click();
    EXPECT_TRUE(QFile::exists(burnerDir + "/args.txt"));
}

TEST_F(BurnPageTest, CancelEndsTheWaitButNotTheBurner)
{
    installBurner();
    BurnPage* page = startPage();
    addByDialog({song("a.mp3", 1000)});
    ASSERT_TRUE(WriteAll(burnerDir + "/hold", ""));
    bool busyWhileWaiting = false, buttonsOffWhileWaiting = false;
    QElapsedTimer sinceCancel;
    QTimer::singleShot(0, [&] {
        // Wait until the burner runs, then press cancel.
        ASSERT_TRUE(WaitUntil([&] { return QFile::exists(burnerDir + "/args.txt"); }, 10000));
        busyWhileWaiting = IsBusy();
        buttonsOffWhileWaiting = !button("burn_btn")->isEnabled() && !button("burn_add_btn")->isEnabled();
        Child<QPushButton>(window.get(), "cancel_btn")->click();
        sinceCancel.start();
    });
    button("burn_btn")->click();
    // The wait polls every 100 ms; it must not hang on until the burner ends.
    EXPECT_LT(sinceCancel.elapsed(), 10000);
    EXPECT_TRUE(busyWhileWaiting);
    EXPECT_TRUE(buttonsOffWhileWaiting);
    EXPECT_FALSE(IsBusy());
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(QFile::exists(burnerDir + "/ended")); // still running on its own
    EXPECT_EQ(page->entries().size(), 1);
    ASSERT_TRUE(WriteAll(burnerDir + "/release", ""));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(burnerDir + "/ended"); }, 10000));
}

TEST_F(BurnPageTest, ABurnerThatCannotStartIsReportedWithoutWaiting)
{
    // The stored folder holds a copytocd.exe that is no program.
    ASSERT_TRUE(WriteAll(burnerDir + "/copytocd.exe", "not a program"));
    toolctl().RegistryWrite(1, "Software\\VSO", "CopyToDVD", burnerDir + "/");
    BurnPage* page = startPage();
    EXPECT_TRUE(messages->texts.isEmpty());
    addByDialog({song("a.mp3", 1000)});
    button("burn_btn")->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(173)});
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());
    // The list was written all the same; the page keeps its compilation.
    EXPECT_EQ(ReadAll(env->appDir() + "/list.c2c"), (music + "/a.mp3\r\n").toUtf8());
    EXPECT_EQ(page->entries().size(), 1);
}

TEST_F(BurnPageTest, ACompilationOfRealFilesReachesTheBurner)
{
    installBurner();
    const QString album = env->makeDir("music/album");
    const QString one = album + "/01 Intro.mp3", two = album + "/02 Mono.mp3", vbr = music + "/single.mp3";
    ASSERT_TRUE(MakeMp3(one, 2.0));
    ASSERT_TRUE(MakeMp3(two, 1.5, {"-b", "64", "-m", "m"}, 1));
    ASSERT_TRUE(MakeMp3(vbr, 3.0, {"-V", "4"}));
    ASSERT_TRUE(WriteAll(album + "/notes.mp3", "not audio at all"));
    BurnPage* page = startPage(true);

    addByDialog({vbr});
    // The folder walk leaves out what the list already holds, the import what has no playing time.
    dialogs->steps << [&](QDialog* d) {
        auto* c = qobject_cast<Choixrecoldir*>(d);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->mode(), ChooserMode::BurnAddFolder);
        ASSERT_TRUE(c->setDirPath(music));
        Child<QCheckBox>(c, "recurse_chk")->setChecked(true);
        Child<QPushButton>(c, "ok_btn")->click();
    };
    button("burn_addfolder_btn")->click();
    ASSERT_EQ(page->entries(), (QStringList {vbr, one, two}));
    double expected = 0;
    for (const QString& f : page->entries())
        expected += FfprobeDuration(f) * 1000;
    EXPECT_NEAR(page->total(), expected, 150);
    EXPECT_EQ(timeLabel(), LanguageText(172) + " 0min 7sec ");

    button("burn_btn")->click();
    const QString listPath = env->appDir() + "/list.c2c";
    EXPECT_EQ(burned("args.txt"), "/fl=" + listPath + "\n/cdaudio=" + listPath + "\n");
    EXPECT_EQ(ReadAll(burnerDir + "/list-copy.c2c"), (vbr + "\r\n" + one + "\r\n" + two + "\r\n").toUtf8());
    EXPECT_TRUE(pageEnabled());
    EXPECT_FALSE(IsBusy());
}

// The vendor's pages open through the browser registered for new windows: here a script
// that records the address, so no page is ever fetched.
class BurnSiteTest : public BurnPageTest {
protected:
    void SetUp() override
    {
        BurnPageTest::SetUp();
        const QString browser = env->makeDir("browser") + "/open";
        opened = env->root() + "/browser/opened.txt";
        ASSERT_TRUE(WriteArgumentRecorder(browser, opened));
        toolctl().RegistryWrite(0, "htmlfile\\shell\\open\\command", "", browser);
    }
    QString opened;
};

TEST_F(BurnSiteTest, YesToTheMissingBurnerQuestionOpensTheBurnerSite)
{
    startPage();
    messages->answers = {MsgAnswer::Yes};
    button("burn_btn")->click();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(173)});
    EXPECT_EQ(WaitForFile(opened), QByteArray(kBurnerSite) + "\n");
}

TEST_F(BurnSiteTest, TheBurnerButtonOpensTheProductPage)
{
    installBurner();
    startPage();
    EXPECT_FALSE(QFile::exists(opened));
    auto* c2cd = Child<QAbstractButton>(window.get(), "c2cd_btn");
    c2cd->click();
    EXPECT_FALSE(c2cd->isChecked());
    EXPECT_EQ(WaitForFile(opened), QByteArray(kBurnerSite) + "\n");
}

} // namespace
