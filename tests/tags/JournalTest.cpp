// The write journal: tunora-cli tag killed at every write and sync point, then recovered
// and undone; failing writes; a foreign change left alone and told once.
#include "tags/Journal.h"
#include "shell/core/Settings.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/TestSupport.h"
#include "tests/fuzz/JournalOracle.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace tunora::test;
using namespace tunora::tags;

namespace {


// Ten MP3 files: the even ones carry an ID3v2 tag with room and an ID3v1 tag (written in
// place), the odd ones no tag (rewritten).
QList<QByteArray> TenFiles()
{
    QList<QByteArray> files;
    for (int i = 0; i < 10; ++i) {
        const QString path = ScratchCopy(LameFile(Lame::Cbr128), QString("f%1.mp3").arg(i));
        if (i % 2 == 0) {
            EXPECT_EQ(RunProgram("/usr/bin/python3", {"-c", "import sys\nfrom mutagen.id3 import ID3, TIT2\n"
                                                            "t = ID3(); t.add(TIT2(encoding=3, text='Old %s' % sys.argv[2]))\n"
                                                            "t.save(sys.argv[1], v1=2)",
                                                      path, QString::number(i)}),
                      0);
        }
        files << ReadAll(path);
    }
    return files;
}

QStringList Place(const QString& dir, const QList<QByteArray>& files)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QStringList paths;
    for (qsizetype i = 0; i < files.size(); ++i) {
        paths << dir + QString("/f%1.mp3").arg(i);
        EXPECT_TRUE(WriteAll(paths.last(), files[i]));
    }
    return paths;
}

const QStringList kTag = {"tag", "--title", "New Title", "--artist", "New Artist", "--year", "2026"};

} // namespace

TEST(Journal, KilledAtEveryPointRecoversAndUndoes)
{
    TempAppEnv env;
    const QList<QByteArray> before = TenFiles();
    const QString journal = env.appDir() + "/write.journal";
    QStringList paths = Place(env.root() + "/ref", before);
    ASSERT_EQ(RunTunoraCli(kTag + paths).rc, 0);
    QList<QByteArray> after;
    for (const QString& p : paths)
        after << ReadAll(p);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(after[i].size() == before[i].size(), i % 2 == 0) << i; // in place, else rewritten with room
    CliRun listed = RunTunoraCli({"journal"});
    EXPECT_EQ(listed.out.count("\tdone\tin place\t"), 5) << listed.out.toStdString();
    EXPECT_EQ(listed.out.count("\tdone\trewrite\t"), 5);

    int n = 1, recovered = 0;
    for (;; ++n) {
        SCOPED_TRACE(n);
        QFile::remove(journal);
        paths = Place(env.root() + "/run", before);
        qputenv("TUNORA_KILL_AT", QByteArray::number(n));
        const CliRun run = RunTunoraCli(kTag + paths);
        qunsetenv("TUNORA_KILL_AT");
        if (run.rc == 0)
            break; // past the last point
        ASSERT_EQ(run.rc, -1) << run.err.toStdString();
        const CliRun start = RunTunoraCli({"journal"}); // recovery runs first
        recovered += start.err.contains("Recovery after an interrupted write");
        EXPECT_FALSE(start.err.contains("left alone")) << start.err.toStdString();
        EXPECT_EQ(QDir(env.root() + "/run").entryList(QDir::Files | QDir::Hidden).size(), 10); // no temporary left
        for (int i = 0; i < 10; ++i) {
            const QByteArray now = ReadAll(paths[i]);
            EXPECT_TRUE(now == before[i] || now == after[i]) << i;
        }
        const CliRun undo = RunTunoraCli({"undo"});
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(ReadAll(paths[i]), before[i]) << i << undo.out.toStdString() << undo.err.toStdString();
        EXPECT_TRUE(RunTunoraCli({"journal"}).err.isEmpty()); // recovery has nothing more to do
        if (HasFailure())
            break;
    }
    EXPECT_GT(n, 60); // every file passes several points
    EXPECT_GT(recovered, 10);
}

TEST(Journal, FailingWritesLeaveFileAndJournalConsistent)
{
    TempAppEnv env;
    const QList<QByteArray> before = TenFiles();
    const QStringList paths = Place(env.root() + "/fail", {before[1], before[3], before[0]});

    // Too large: the rewrite's temporary file passes the size limit (EFBIG, the signal ignored).
    QProcess p;
    const rlim_t limit = rlim_t(before[1].size()) + 500; // the padded copy does not fit
    p.setChildProcessModifier([limit] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &lim);
    });
    p.start(BuiltAppDir() + "/tunora-cli", kTag + QStringList {paths[0]});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("File too large"));
    EXPECT_EQ(ReadAll(paths[0]), before[1]);
    EXPECT_EQ(QDir(env.root() + "/fail").entryList(QDir::Files | QDir::Hidden).size(), 3);

    // No permission: refused before the journal is touched.
    QFile::setPermissions(paths[1], QFile::ReadOwner);
    EXPECT_EQ(RunTunoraCli(kTag + QStringList {paths[1]}).rc, 1);
    EXPECT_EQ(ReadAll(paths[1]), before[3]);
    QFile::setPermissions(paths[1], QFile::ReadOwner | QFile::WriteOwner);

    // Changed between the plan and the write: refused, nothing journalled for it.
    SetJournalPath(env.appDir() + "/write.journal");
    WritePlan plan;
    QString why;
    TagFields v;
    v.title = "Changed";
    ASSERT_TRUE(PlanWrite(paths[2], v, Field::Title, WriteOptions(), &plan, &why));
    QByteArray other = before[0];
    other[20] = 'X'; // inside the old title
    ASSERT_TRUE(WriteAll(paths[2], other));
    EXPECT_FALSE(CarryOut(plan, &why));
    EXPECT_EQ(ReadAll(paths[2]), other);

    // Journal: the failed write is settled, not begun; recovery finds nothing; no run to undo.
    const QList<RunInfo> runs = ListRuns();
    ASSERT_EQ(runs.size(), 1);
    ASSERT_EQ(runs[0].files.size(), 1);
    EXPECT_FALSE(runs[0].files[0].done);
    EXPECT_TRUE(Recover().summary().isEmpty());
    QStringList lines;
    bool all = false;
    EXPECT_FALSE(UndoLastRun(&lines, &all, &why));
    SetJournalPath({});
}

TEST(Journal, ForeignChangeLeftAloneAndToldOnce)
{
    TempAppEnv env;
    const QString path = Place(env.root() + "/own", {TenFiles()[0]}).first();
    const QByteArray old = ReadAll(path);
    SetJournalPath(env.appDir() + "/write.journal");
    WritePlan plan;
    QString why;
    TagFields v;
    v.title = "Mine";
    ASSERT_TRUE(PlanWrite(path, v, Field::Title, WriteOptions(), &plan, &why));
    ASSERT_EQ(plan.oldSize, plan.newSize);
    // An entry begun and never done, as a crash leaves it; then another program writes.
    qint64 entry = 0;
    ASSERT_TRUE(BeginRun("test"));
    ASSERT_TRUE(detail::JournalBegin(plan, true, IdentityOf(path), &entry, &why));
    QByteArray theirs = old;
    theirs[plan.changes[0].offset] = '#';
    ASSERT_TRUE(WriteAll(path, theirs));
    SetJournalPath(env.appDir() + "/write.journal"); // the process ends; the next one starts
    RecoveryReport r = Recover();
    EXPECT_EQ(r.left, 1);
    EXPECT_TRUE(r.summary().contains("1 left alone")) << r.summary().toStdString();
    EXPECT_EQ(ReadAll(path), theirs);
    SetJournalPath(env.appDir() + "/write.journal");
    EXPECT_TRUE(Recover().lines.isEmpty()); // told once
    SetJournalPath({});
}

// tunora-cli album over ten files (five tagged in place, five rewritten, every one renamed,
// the playlist written) killed at every write and sync point, a torn journal record or
// --journal line among them: after recovery each file has one of its two names and its bytes
// before or after, and undo gives back every name and byte. The points alternate between
// the two ways back: the write journal's undo and undo of the --journal FILE.
TEST(Journal, AlbumApplyKilledAtEveryPointRecoversAndUndoes)
{
    TempAppEnv env;
    SetSetting("Pattern", "%6 - %2");
    SetSetting("Playlist", "%1 - %3");
    SetSetting("PlaylistMode", "0");
    QByteArray xmcd = "# xmcd\n#\n# Track frame offsets:\n";
    for (int i = 0; i < 10; ++i)
        xmcd += "#\t" + QByteArray::number(150 + 75 * i) + "\n";
    xmcd += "#\n# Disc length: 12 seconds\n#\nDISCID=0a000c0a\nDTITLE=Kill Artist / Kill Album\nDYEAR=2003\nDGENRE=Jazz\n";
    for (int i = 0; i < 10; ++i)
        xmcd += "TTITLE" + QByteArray::number(i) + "=Track " + QByteArray::number(i) + "\n";
    xmcd += "EXTD=\nPLAYORDER=\n";
    const QString disc = env.root() + "/disc.xmcd", journal = env.appDir() + "/write.journal";
    ASSERT_TRUE(WriteAll(disc, xmcd));
    const QList<QByteArray> before = TenFiles();
    auto album = [&](const QString& dir, const QString& exported) {
        return RunTunoraCli({"album", dir, "--xmcd", disc, "--journal", exported});
    };
    const QString ref = env.root() + "/ref";
    Place(ref, before);
    const CliRun done = album(ref, env.root() + "/ref.journal");
    ASSERT_EQ(done.rc, 0) << done.err.toStdString();
    QStringList newNames;
    QList<QByteArray> after;
    for (int i = 0; i < 10; ++i) {
        newNames << QString("%1 - Track %2.mp3").arg(i + 1, 2, 10, QChar('0')).arg(i);
        after << ReadAll(ref + "/" + newNames[i]);
        EXPECT_EQ(after[i].size() == before[i].size(), i % 2 == 0) << i; // in place, else rewritten
    }
    const QString playlist = "Kill Artist - Kill Album.m3u";
    ASSERT_TRUE(QFile::exists(ref + "/" + playlist));
    const CliRun listed = RunTunoraCli({"journal"});
    EXPECT_TRUE(listed.out.contains("\tdone\talbum apply " + ref + "\n")) << listed.out.toStdString();
    EXPECT_EQ(listed.out.count("\tdone\tin place\t"), 5);
    EXPECT_EQ(listed.out.count("\tdone\trewrite\t"), 5);
    EXPECT_EQ(listed.out.count("\tdone\trename\t"), 10);
    EXPECT_EQ(listed.out.count("\tdone\tfile\t" + ref + "/" + playlist), 1);

    const QString dir = env.root() + "/run", exported = env.root() + "/run.journal";
    int n = 1, recovered = 0, torn = 0;
    for (;; ++n) {
        SCOPED_TRACE(n);
        QFile::remove(journal);
        QFile::remove(exported);
        Place(dir, before);
        qputenv("TUNORA_KILL_AT", QByteArray::number(n));
        const CliRun run = album(dir, exported);
        qunsetenv("TUNORA_KILL_AT");
        if (run.rc != -1) {
            ASSERT_EQ(run.rc, 0) << run.err.toStdString();
            break; // past the last point
        }
        const CliRun start = RunTunoraCli({"journal"}); // recovery runs first
        recovered += start.err.contains("Recovery after an interrupted write");
        EXPECT_FALSE(start.err.contains("left alone")) << start.err.toStdString();
        const QByteArray lines = ReadAll(exported);
        torn += !lines.isEmpty() && !lines.endsWith('\n');
        auto check = [&](bool undone) {
            const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
            for (int i = 0; i < 10; ++i) {
                const QString old = QString("f%1.mp3").arg(i);
                ASSERT_NE(names.contains(old), names.contains(newNames[i])) << i << names.join('|').toStdString();
                const QByteArray now = ReadAll(dir + "/" + (names.contains(old) ? old : newNames[i]));
                EXPECT_TRUE(undone ? now == before[i] && names.contains(old) : now == before[i] || now == after[i]) << i;
            }
            // No temporary file, nothing doubled: the ten and perhaps the playlist.
            EXPECT_EQ(names.size() - names.contains(playlist), 10) << names.join('|').toStdString();
        };
        check(false);
        const CliRun undo = RunTunoraCli(n % 2 ? QStringList {"undo", exported} : QStringList {"undo"});
        SCOPED_TRACE(undo.out.toStdString() + undo.err.toStdString());
        check(true);
        if (n % 2 == 0) {
            EXPECT_FALSE(QFile::exists(dir + "/" + playlist)); // the write journal's undo removes it too
        }
        if (n % 4 == 0) { // now and then (each start costs): recovery has nothing more to do
            EXPECT_TRUE(RunTunoraCli({"journal"}).err.isEmpty());
        }
        if (HasFailure())
            break;
    }
    EXPECT_GT(n, 100); // every file passes several points
    EXPECT_GT(recovered, 10);
    EXPECT_GT(torn, 10);
}

// The bulk renamer's command killed at every point: each file keeps exactly one of its two
// names, and undo gives every old name back.
TEST(Journal, RenamesKilledAtEveryPointKeepOneName)
{
    TempAppEnv env;
    const QString dir = env.root() + "/names", journal = env.appDir() + "/write.journal";
    const QList<QByteArray> ten(10, QByteArray("not audio, only a name"));
    int n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        QFile::remove(journal);
        const QStringList paths = Place(dir, ten);
        qputenv("TUNORA_KILL_AT", QByteArray::number(n));
        const CliRun run = RunTunoraCli(QStringList {"rename", "--case", "uc"} + paths);
        qunsetenv("TUNORA_KILL_AT");
        if (run.rc == 0)
            break;
        ASSERT_EQ(run.rc, -1) << run.err.toStdString();
        RunTunoraCli({"journal"});
        QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        ASSERT_EQ(names.size(), 10) << names.join(' ').toStdString();
        for (int i = 0; i < 10; ++i)
            EXPECT_NE(names.contains(QString("f%1.mp3").arg(i)), names.contains(QString("F%1.mp3").arg(i)));
        RunTunoraCli({"undo"});
        names = QDir(dir).entryList(QDir::Files | QDir::Hidden);
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(names.contains(QString("f%1.mp3").arg(i))) << names.join(' ').toStdString();
        if (HasFailure())
            break;
    }
    EXPECT_GT(n, 40);
}

// The fuzz target's seeds, and every cut of a real journal, as recovery meets them.
TEST(Journal, TornOrCraftedJournalsStayInside)
{
    const QDir seeds(SourceDir() + "/tests/fuzz/corpus/journal");
    QList<QByteArray> inputs;
    for (const QString& name : seeds.entryList(QDir::Files))
        inputs << ReadAll(seeds.filePath(name));
    ASSERT_GE(inputs.size(), 2);
    const QByteArray journal = JournalFromInput(inputs.first());
    QString why;
    for (qsizetype cut = 0; cut <= journal.size(); cut += 7)
        ASSERT_TRUE(RecoveryStaysInside(journal.left(cut), &why)) << cut << " " << why.toStdString();
    for (const QByteArray& in : inputs)
        EXPECT_TRUE(RecoveryStaysInside(JournalFromInput(in), &why)) << why.toStdString();
    const QList<RunInfo> runs = RunsFromBytes(journal.left(journal.size() - 3)); // the done mark torn off
    ASSERT_EQ(runs.size(), 1);
    ASSERT_EQ(runs[0].files.size(), 3);
    EXPECT_FALSE(runs[0].files[0].done);
    EXPECT_EQ(runs[0].files[2].from, JournalSandbox() + "/sub/b.mp3");
}

// The journal keeps the last 50 runs, dropped at a start, oldest first.
TEST(Journal, KeepsTheLastFiftyRuns)
{
    TempAppEnv env;
    SetJournalPath(env.appDir() + "/write.journal");
    const QString a = env.root() + "/a", b = env.root() + "/b";
    ASSERT_TRUE(WriteAll(a, "x"));
    for (int i = 0; i < 53; ++i) {
        ASSERT_TRUE(BeginRun(QString("run %1").arg(i)));
        ASSERT_TRUE(RenameJournalled(i % 2 ? b : a, i % 2 ? a : b));
        EndRun();
    }
    EXPECT_EQ(ListRuns().size(), 53);
    EXPECT_TRUE(Recover().summary().isEmpty());
    SetJournalPath(env.appDir() + "/write.journal");
    const QList<RunInfo> runs = ListRuns();
    ASSERT_EQ(runs.size(), 50);
    EXPECT_EQ(runs.first().command, "run 3");
    EXPECT_EQ(runs.last().files.value(0).path, b);
    SetJournalPath({});
}
