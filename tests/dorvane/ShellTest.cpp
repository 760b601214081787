// File dialogs, opening documents and addresses, z-order, special folders.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/Shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using dorvane::Dorvanectrl;

namespace {

// Records what the shell was asked to open instead of starting a program.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldEnv = qgetenv("TUNORA_REGISTRY");
        qputenv("TUNORA_REGISTRY", QFile::encodeName(dir.path() + "/registry.reg"));
        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    }
    void TearDown() override
    {
        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(scheme);
        Dorvanectrl::SetDialogRunner({});
        if (oldEnv.isNull())
            qunsetenv("TUNORA_REGISTRY");
        else
            qputenv("TUNORA_REGISTRY", oldEnv);
    }
    // A stand-in browser that writes its arguments, one per line, to args.txt.
    QString browserScript()
    {
        const QString script = dir.path() + "/web browser.sh";
        QFile f(script);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
                "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args.txt\"\n");
        f.close();
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }
    QByteArray waitForArgs()
    {
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(dir.path() + "/args.txt") && t.elapsed() < 20000)
            waitMs(20);
        QFile f(dir.path() + "/args.txt");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void waitMs(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
    }

    QTemporaryDir dir;
    QByteArray oldEnv;
    UrlRecorder recorder;
    Dorvanectrl ctl;
};

TEST(NameFilters, WindowsFiltersBecomeToolkitFilters)
{
    using dorvane::shell::NameFilters;
    EXPECT_EQ(NameFilters("MP3 files|*.mp3|All files|*.*|"), (QStringList{"MP3 files (*.mp3)", "All files (*.*)"}));
    EXPECT_EQ(NameFilters(QString::fromUtf16(u"Text\0*.txt\0\0Ignored\0*.x\0", 24)), QStringList{"Text (*.txt)"});
    EXPECT_EQ(NameFilters("Audio|*.mp3;*.ogg; *.wav|"), QStringList{"Audio (*.mp3 *.ogg *.wav)"});
    EXPECT_EQ(NameFilters("Playlists (*.m3u)|*.m3u|"), QStringList{"Playlists (*.m3u)"});
    EXPECT_EQ(NameFilters("Audio (mp3, ogg)|*.mp3;*.ogg|"), QStringList{"Audio (mp3, ogg) (*.mp3 *.ogg)"});
    EXPECT_TRUE(NameFilters("|*.mp3|All|*.*|").isEmpty());
    EXPECT_EQ(NameFilters("No mask||Good|*.a"), QStringList{"Good (*.a)"});
    EXPECT_TRUE(NameFilters("").isEmpty());
    EXPECT_TRUE(NameFilters("just a description").isEmpty());
}

TEST(CommandUrl, AddressesStayAndPathsBecomeFiles)
{
    using dorvane::shell::CommandUrl;
    EXPECT_EQ(CommandUrl("http://127.0.0.1/a b").toString(), "http://127.0.0.1/a b");
    EXPECT_EQ(CommandUrl("mailto:someone@example.org").scheme(), "mailto");
    EXPECT_EQ(CommandUrl("/music/list #1.txt"), QUrl::fromLocalFile("/music/list #1.txt"));
    EXPECT_EQ(CommandUrl("relative.txt"), QUrl::fromLocalFile(QDir::current().absoluteFilePath("relative.txt")));
    EXPECT_TRUE(CommandUrl("c:list.txt").isLocalFile());
}

TEST_F(ShellTest, DefautExecOpensWithTheRegisteredProgram)
{
    QString listing = dir.path() + "/listing.txt";
    ctl.DefautExec(0, listing);
    QString mail = "mailto:someone@example.org";
    ctl.DefautExec(0, mail);
    QString empty;
    ctl.DefautExec(0, empty);
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls.at(0), QUrl::fromLocalFile(listing));
    EXPECT_EQ(recorder.urls.at(1).toString(), mail);
}

TEST_F(ShellTest, OpenUrlInTheSameWindowGoesThroughTheShell)
{
    QString url = "http://127.0.0.1/page";
    bool newWindow = false;
    ctl.OpenURL(0, url, newWindow);
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls.first().toString(), url);
}

TEST_F(ShellTest, OpenUrlInANewWindowStartsTheRegisteredBrowser)
{
    const QString script = browserScript();
    // The address takes the place of "%1" or "%u" as one argument, or comes last.
    const struct {
        const char* args;
        const char* got;
    } rows[] = {
        {" -nohome \"%1\"", "-nohome\nhttp://127.0.0.1/a page?x=1&y=2\n"},
        {" %u --new", "http://127.0.0.1/a page?x=1&y=2\n--new\n"},
        {" --url=%U", "--url=http://127.0.0.1/a page?x=1&y=2\n"},
        {" -nohome", "-nohome\nhttp://127.0.0.1/a page?x=1&y=2\n"},
        {" 100%", "100%\nhttp://127.0.0.1/a page?x=1&y=2\n"},
    };
    for (const auto& r : rows) {
        QFile::remove(dir.path() + "/args.txt");
        ctl.RegistryWrite(dorvane::CLASSES_ROOT, "htmlfile\\shell\\open\\command", "",
                          "\"" + script + "\"" + QString::fromUtf8(r.args));
        QString url = "http://127.0.0.1/a page?x=1&y=2";
        bool newWindow = true;
        ctl.OpenURL(0, url, newWindow);
        EXPECT_EQ(waitForArgs(), r.got) << r.args;
    }
    EXPECT_TRUE(recorder.urls.isEmpty());
}

TEST_F(ShellTest, BrowserThatCannotStartIsAnError)
{
    ctl.RegistryWrite(dorvane::CLASSES_ROOT, "htmlfile\\shell\\open\\command", "", dir.path() + "/no-such-browser");
    QString url = "http://127.0.0.1/";
    bool newWindow = true;
    try {
        ctl.OpenURL(0, url, newWindow);
        ADD_FAILURE() << "no error";
    } catch (const dorvane::RuntimeError& e) {
        EXPECT_EQ(e.number(), 53);
    }
}

TEST_F(ShellTest, StayOnTopKeepsPlaceAndSize)
{
    QWidget w;
    w.setGeometry(140, 160, 320, 240);
    w.show();
    const QRect before = w.geometry();
    const qint32 hwnd = qint32(w.winId());
    qint32 pos = dorvane::HWND_TOPMOST;
    EXPECT_NE(ctl.vbSetWindowPos(hwnd, pos), 0);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.geometry(), before);
    pos = dorvane::HWND_NOTOPMOST;
    EXPECT_NE(ctl.vbSetWindowPos(qint32(w.winId()), pos), 0);
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w.geometry(), before);
    pos = dorvane::HWND_TOP;
    EXPECT_NE(ctl.vbSetWindowPos(qint32(w.winId()), pos), 0);

    // A child's handle acts on its window; no window, no success.
    QWidget child(&w);
    child.setAttribute(Qt::WA_NativeWindow);
    pos = dorvane::HWND_TOPMOST;
    EXPECT_NE(ctl.vbSetWindowPos(qint32(child.winId()), pos), 0);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(ctl.vbSetWindowPos(0, pos), 0);
    EXPECT_EQ(ctl.vbSetWindowPos(0x7ffffff0, pos), 0);
    pos = 42;
    EXPECT_EQ(ctl.vbSetWindowPos(qint32(w.winId()), pos), 0);
}

TEST_F(ShellTest, OpenDialogIsSetUpAndAnswersThePath)
{
    QFile(dir.path() + "/Song.mp3").open(QIODevice::WriteOnly);
    QFileDialog* seen = nullptr;
    Dorvanectrl::SetDialogRunner([&](QDialog& d) {
        seen = qobject_cast<QFileDialog*>(&d);
        if (!seen)
            return int(QDialog::Rejected);
        EXPECT_TRUE(seen->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(seen->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(seen->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(seen->windowTitle(), "Pick a song");
        EXPECT_EQ(seen->directory().absolutePath(), dir.path());
        EXPECT_EQ(seen->nameFilters(), (QStringList{"MP3 (*.mp3)", "All (*.*)"}));
        EXPECT_EQ(seen->defaultSuffix(), "mp3");
        seen->selectFile(dir.path() + "/Song.mp3");
        return int(QDialog::Accepted);
    });
    qint32 hwnd = 0, instance = 0;
    QString initial = dir.path(), filter = "MP3|*.mp3|All|*.*|", ext = ".mp3", title = "Pick a song";
    EXPECT_EQ(ctl.OuvreFichier(hwnd, instance, initial, filter, ext, title), dir.path() + "/Song.mp3");
    ASSERT_NE(seen, nullptr);

    Dorvanectrl::SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    EXPECT_EQ(ctl.OuvreFichier(hwnd, instance, initial, filter, ext, title), "");
}

TEST_F(ShellTest, SaveDialogRunsModallyForReal)
{
    // The real modal loop, driven the way a user would: type a name and press Enter.
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg) {
            if (++tries > 500) { // never hang the run
                poll.stop();
                ADD_FAILURE() << "no modal file dialog";
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* fd = qobject_cast<QFileDialog*>(w))
                        fd->reject();
            }
            return;
        }
        poll.stop();
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
        auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
        if (!edit) {
            ADD_FAILURE() << "no file name field";
            dlg->reject();
            return;
        }
        edit->setText("list");
        static_cast<QDialog*>(dlg)->accept(); // the dialog's own checks run
        if (dlg->isVisible()) {
            ADD_FAILURE() << "the dialog refused the name";
            dlg->reject();
        }
    });
    poll.start(20);
    qint32 hwnd = 0, instance = 0;
    QString initial = dir.path(), filter = "Text|*.txt|", ext = "txt", title = "Save the listing";
    EXPECT_EQ(ctl.SauveFichier(hwnd, instance, initial, filter, ext, title), dir.path() + "/list.txt");
    EXPECT_FALSE(QFile::exists(dir.path() + "/list.txt")); // the dialog only names the file
}

TEST_F(ShellTest, FoldersAndTheIgnoredProperty)
{
    const QString fav = ctl.DossierSpecial(0);
    EXPECT_TRUE(fav.isEmpty() || QDir::isAbsolutePath(fav));
    EXPECT_FALSE(fav.endsWith('/'));
    const QString sys = ctl.GetSysDir().toString();
    EXPECT_TRUE(QFileInfo(sys).isDir());
    EXPECT_EQ(sys, sys.trimmed());
    ctl.setAssociate("mp3");
    EXPECT_EQ(ctl.Associate(), "");
}

} // namespace

#include "ShellTest.moc"
