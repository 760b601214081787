#include "burn/BurnList.h"
#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileIo.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


using namespace tunora;
using namespace tunora::test;

TEST(BurnTime, MinutesAndSecondsRoundedUp)
{
    TempAppEnv env;
    const QString p = LanguageText(172) + ' ';
    EXPECT_EQ(BurnTimeText(0), p + "0min 0sec ");
    EXPECT_EQ(BurnTimeText(61000), p + "1min 1sec ");
    EXPECT_EQ(BurnTimeText(61001), p + "1min 2sec ");
    EXPECT_EQ(BurnTimeText(999), p + "0min 1sec ");
    EXPECT_EQ(BurnTimeText(4440000), p + "74min 0sec ");
    // A fraction of a millisecond is rounded first.
    EXPECT_EQ(BurnTimeText(61000.4), p + "1min 1sec ");
    EXPECT_EQ(BurnTimeText(61000.6), p + "1min 2sec ");
    // 59.5 s round up into the next minute instead of showing "60sec".
    EXPECT_EQ(BurnTimeText(59500), p + "1min 0sec ");
    EXPECT_EQ(BurnTimeText(119001), p + "2min 0sec ");
    EXPECT_EQ(BurnTimeText(-1), "");
}

TEST(BurnTime, EveryFormatIsTimed)
{
    TempAppEnv env;
    const QString dir = env.makeDir("music");
    const struct {
        const char* name;
        QStringList codec;
    } rows[] = {{"a.flac", {"-c:a", "flac"}}, {"b.m4a", {"-c:a", "aac"}}, {"c.M4A", {"-c:a", "alac"}},
                {"d.opus", {"-c:a", "libopus"}}};
    for (const auto& row : rows) {
        const QString path = dir + "/" + row.name;
        ASSERT_EQ(RunProgram("ffmpeg", QStringList {"-v", "error", "-f", "lavfi", "-i", "sine=duration=2.5"} + row.codec +
                                           QStringList {path}),
                  0);
        double ms = 0;
        EXPECT_TRUE(DefaultPlayingTimeReader()(path, ms)) << row.name;
        EXPECT_NEAR(ms, FfprobeDuration(path) * 1000, FfprobeDuration(path) * 10) << row.name; // within 1 %
    }
    double ms = 0;
    ASSERT_TRUE(WriteAll(dir + "/e.flac", "no audio at all"));
    EXPECT_FALSE(DefaultPlayingTimeReader()(dir + "/e.flac", ms));
}

TEST(BurnTime, CapacityAndPercent)
{
    EXPECT_FALSE(ExceedsCdCapacity(4440000));
    EXPECT_TRUE(ExceedsCdCapacity(4440001));
    EXPECT_TRUE(ExceedsCdCapacity(4440000.5));
    EXPECT_EQ(BurnPercent(0), 0);
    EXPECT_EQ(BurnPercent(2220000), 50);
    EXPECT_EQ(BurnPercent(22200), 1); // 0.5 % rounds to 1
    EXPECT_EQ(BurnPercent(22199), 0);
    EXPECT_EQ(BurnPercent(4440000), 100);
    EXPECT_EQ(BurnPercent(9e9), 100);
    EXPECT_EQ(BurnPercent(-5), 0);
}

TEST(BurnListFile, OnePathPerLineWithCrLf)
{
    EXPECT_EQ(BurnListFileContents({}), QByteArray());
    EXPECT_EQ(BurnListFileContents({"/m/a b.mp3", "/m/Café.mp3"}),
              QByteArray("/m/a b.mp3\r\n/m/Caf\xc3\xa9.mp3\r\n"));
    // A name that is not UTF-8 is written as its own bytes.
    EXPECT_EQ(BurnListFileContents({dorvane::io::DecodeName("/m/Caf\xe9.mp3")}), QByteArray("/m/Caf\xe9.mp3\r\n"));
    // A CR or an LF anywhere in a path would split its line: such entries stay out, named.
    QStringList leftOut;
    EXPECT_EQ(BurnableEntries({"/m/a.mp3", "/m/b\r.mp3", "/m\n/c.mp3", "/m/d.mp3\r\n", "/m/e.mp3"}, &leftOut),
              (QStringList {"/m/a.mp3", "/m/e.mp3"}));
    EXPECT_EQ(leftOut, (QStringList {"/m/b\r.mp3", "/m\n/c.mp3", "/m/d.mp3\r\n"}));
}

TEST(Burner, FoundThroughTheSettings)
{
    TempAppEnv env;
    EXPECT_EQ(BurnerFolder(), "");
    // No folder stored: never a bare "copytocd.exe" looked up in the current folder.
    EXPECT_EQ(BurnerProgram(""), "");
    EXPECT_EQ(BurnerProgram("  "), "");
    toolctl().RegistryWrite(1, "Software\\VSO", "CopyToDVD", "/opt/vso/");
    EXPECT_EQ(BurnerFolder(), "/opt/vso/");
    // The program's own settings root does not hold it.
    EXPECT_EQ(Setting("CopyToDVD"), "");
    EXPECT_EQ(BurnerProgram(BurnerFolder()), "/opt/vso/copytocd.exe");
    EXPECT_EQ(BurnerProgram("/opt/vso"), "/opt/vso/copytocd.exe");

    const BurnerCommand c = BurnerCommandFor({BurnerKind::CopyToCd, "/opt/my burner/copytocd.exe"},
                                             "/app dir/list.c2c", {"/m/a.mp3"});
    EXPECT_EQ(c.program, "/opt/my burner/copytocd.exe");
    EXPECT_EQ(c.arguments, (QStringList {"/fl=/app dir/list.c2c", "/cdaudio=/app dir/list.c2c"}));
}

// A package's app folder is not writable by its user: the list goes to the cache folder.
// Root writes anywhere, so the check runs in a child that has become "nobody".
TEST(BurnListFile, AnUnwritableAppFolderSendsTheListToTheCache)
{
    TempAppEnv env;
    const QString home = env.makeDir("home");
    struct Row {
        QByteArray xdgCache; // empty: unset
        QString expectedFolder;
    };
    const QList<Row> rows = {
        {QFile::encodeName(env.root() + "/xdg"), env.root() + "/xdg/tunora"},
        {"", home + "/.cache/tunora"},
        {"relative/cache", home + "/.cache/tunora"}, // not absolute: ignored
    };
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    ASSERT_TRUE(QFile::setPermissions(env.root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(env.appDir(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                        QFile::ExeOther));
    EXPECT_EQ(::chown(QFile::encodeName(home).constData(), root ? nobody : ::geteuid(), -1), 0);
    EXPECT_EQ(::mkdir(QFile::encodeName(env.root() + "/xdg").constData(), 0777), 0);
    EXPECT_EQ(::chmod(QFile::encodeName(env.root() + "/xdg").constData(), 0777), 0);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.xdgCache.toStdString());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(3);
            ::setenv("HOME", QFile::encodeName(home).constData(), 1);
            if (r.xdgCache.isEmpty())
                ::unsetenv("XDG_CACHE_HOME");
            else
                ::setenv("XDG_CACHE_HOME", r.xdgCache.constData(), 1);
            const bool ok = BurnListPath() == WritableFolder() + "/list.c2c" &&
                            WriteFileAtomically(BurnListPath(), BurnListFileContents({"/m/a.mp3"}));
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadAll(r.expectedFolder + "/list.c2c"), "/m/a.mp3\r\n");
    }
    EXPECT_FALSE(QFile::exists(env.appDir() + "/list.c2c"));
    // The app folder of a portable copy is used as it is.
    ASSERT_TRUE(QFile::setPermissions(env.appDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(BurnListPath(), env.appDir() + "/list.c2c");
    // A package copy's writable app folder (root's) is not: its marker sends the list to the cache.
    ASSERT_TRUE(WriteAll(env.appDir() + "/" + kPackageMarkerName, ""));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(env.root() + "/xdg"));
    EXPECT_EQ(BurnListPath(), env.root() + "/xdg/tunora/list.c2c");
    qunsetenv("XDG_CACHE_HOME");
}

TEST(BurnMoves, OnlyASingleMovableSelection)
{
    EXPECT_EQ(MoveUpRow({false, true, false}), 1);
    EXPECT_EQ(MoveUpRow({true, false}), -1);       // first entry
    EXPECT_EQ(MoveUpRow({false, true, true}), -1); // two selected
    EXPECT_EQ(MoveUpRow({false, false}), -1);
    EXPECT_EQ(MoveDownRow({false, true, false}), 1);
    EXPECT_EQ(MoveDownRow({false, false, true}), -1); // last entry
    EXPECT_EQ(MoveDownRow({true, true, false}), -1);
    EXPECT_EQ(MoveDownRow({}), -1);
}

TEST(BurnDialog, ChosenFiles)
{
    TempAppEnv env;
    const QString d = env.makeDir("music");
    ASSERT_TRUE(WriteAll(d + "/a.mp3", "x"));
    ASSERT_TRUE(WriteAll(d + "/b.mp3", "x"));
    QString last;
    EXPECT_EQ(TakeChosenFiles({d + "/a.mp3"}, &last), QStringList {d + "/a.mp3"});
    EXPECT_EQ(last, d + "/");
    last.clear();
    EXPECT_TRUE(TakeChosenFiles({d + "/gone.mp3"}, &last).isEmpty());
    EXPECT_EQ(last, "");
    // Several: missing files dropped, names with ":" kept untested, folder without its "/".
    EXPECT_EQ(TakeChosenFiles({d + "/a.mp3", d + "/gone.mp3", d + "/x:y.mp3", d + "/b.mp3"}, &last),
              (QStringList {d + "/a.mp3", d + "/x:y.mp3", d + "/b.mp3"}));
    EXPECT_EQ(last, d);
    EXPECT_TRUE(TakeChosenFiles({}, &last).isEmpty());
}
