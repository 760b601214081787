#include "folders/FolderWalk.h"

#include "folders/AudioFormats.h"

#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

void touch(const QString& path)
{
    ASSERT_TRUE(WriteAll(path, "x")) << path.toStdString();
}

QStringList rel(const QString& root, const QStringList& files)
{
    QStringList out;
    for (const QString& f : files)
        out << (f.startsWith(root + "/") ? f.mid(root.size() + 1) : f);
    return out;
}

// root/  A.mp3 a.ogg abc b.mp3 cover.jpg .hidden.mp3 x.MP3 mp3
//        sub1/one.mp3   sub2/two.mp3   sub2/deep/three.mp3   xmp3/inner.mp3
//        locked/held.mp3 (unreadable)   loop -> root
class WalkTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = env.makeDir("music");
        for (const char* f : {"A.mp3", "a.ogg", "abc", "b.mp3", "cover.jpg", ".hidden.mp3", "x.MP3", "mp3",
                              "sub1/one.mp3", "sub2/two.mp3", "sub2/deep/three.mp3", "xmp3/inner.mp3",
                              "locked/held.mp3"})
            touch(root + "/" + f);
        ASSERT_EQ(::symlink(QFile::encodeName(root).constData(), QFile::encodeName(root + "/loop").constData()), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(root + "/locked").constData(), 0), 0);
    }
    void TearDown() override { ::chmod(QFile::encodeName(root + "/locked").constData(), 0755); }

    QStringList rel(const QStringList& files) const
    {
        QStringList out;
        for (const QString& f : files)
            out << (f.startsWith(root + "/") ? f.mid(root.size() + 1) : f);
        return out;
    }

    TempAppEnv env;
    QString root;
};

// The walk as a user without access to "locked" sees it. The tests may run as root, who
// reads every folder, so the walk then runs in a child that gives up its privileges.
QStringList walkAsUnprivileged(const QString& root, bool recurse, bool* ok)
{
    OpenToOthers(root);
    QByteArray got;
    *ok = InChild(
              [&](QByteArray& out) {
                  out = WalkAudioFolder(root, recurse).files.join('\n').toUtf8();
                  return 0;
              },
              &got, true)
          == 0;
    return got.isEmpty() ? QStringList() : QString::fromUtf8(got).split('\n');
}

} // namespace

TEST_F(WalkTree, RecursiveWalkDeliversFilesFirstAndSiblingsDescending)
{
    bool ok = false;
    const QStringList files = walkAsUnprivileged(root, true, &ok);
    ASSERT_TRUE(ok);
    // Ordinal order inside a folder ("A" before "a"); the loop back to root and the
    // unreadable folder add nothing; names shorter than 4 and hidden names never.
    EXPECT_EQ(rel(files), QStringList({"A.mp3", "a.ogg", "b.mp3", "x.MP3", "xmp3/inner.mp3", "sub2/two.mp3",
                                       "sub2/deep/three.mp3", "sub1/one.mp3"}));
}

TEST_F(WalkTree, WithoutRecursionAFolderNamedLikeAFormatIsDeliveredAsAFile)
{
    const WalkResult r = WalkAudioFolder(root, false);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(rel(r.files), QStringList({"A.mp3", "a.ogg", "b.mp3", "x.MP3", "xmp3"}));
}

TEST_F(WalkTree, ALoopThroughALinkIsWalkedOnceWhicheverWayItIsEntered)
{
    // Entering through the link itself: the tree behind it is still walked exactly once.
    const WalkResult r = WalkAudioFolder(root + "/loop", true);
    EXPECT_EQ(r.files.size(), QSet<QString>(r.files.begin(), r.files.end()).size());
    EXPECT_TRUE(r.files.contains(root + "/loop/sub1/one.mp3"));
    EXPECT_FALSE(r.files.contains(root + "/loop/loop/A.mp3"));
}

TEST_F(WalkTree, CancelStopsTheWalkKeepingWhatWasDelivered)
{
    QStringList folders;
    const WalkResult r = WalkAudioFolder(root, true, [&](const QString& folder) {
        folders << folder;
        if (folder != root)
            SetCancelRequested(true);
        return !CancelRequested();
    });
    SetCancelRequested(false);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(rel(r.files), QStringList({"A.mp3", "a.ogg", "b.mp3", "x.MP3"}));
    EXPECT_EQ(folders, QStringList({root, root + "/xmp3"}));
}

TEST_F(WalkTree, FolderListingMatchesTheExtensionInAnyCaseAndSkipsFoldersAndHiddenFiles)
{
    QStringList mp3 = ListFolderFiles(root, "mp3");
    mp3.sort();
    EXPECT_EQ(mp3, QStringList({"A.mp3", "b.mp3", "x.MP3"}));
    EXPECT_EQ(ListFolderFiles(root, "OGG"), QStringList({"a.ogg"}));
    EXPECT_TRUE(ListFolderFiles(root + "/nowhere", "mp3").isEmpty());
}

TEST(WalkRules, DuplicateRulesOfTheCallers)
{
    const QStringList found {"/m/a.mp3", "/m/B.mp3", "/m/c.mp3"};
    const QStringList existing {" /M/A.MP3 ", "/m/b.mp3"};
    // The bulk list tells files apart as the file system does: "/m/B.mp3" is not "/m/b.mp3".
    EXPECT_EQ(ApplyWalkDuplicateRule(ChooserMode::BulkAddFolder, found, existing), QStringList({"/m/a.mp3", "/m/B.mp3", "/m/c.mp3"}));
    EXPECT_EQ(ApplyWalkDuplicateRule(ChooserMode::BulkAddFolder, found, {"/m/a.mp3", "/m/B.mp3"}), QStringList({"/m/c.mp3"}));
    EXPECT_EQ(ApplyWalkDuplicateRule(ChooserMode::BurnAddFolder, found, existing), QStringList({"/m/c.mp3"}));
    EXPECT_EQ(ApplyWalkDuplicateRule(ChooserMode::PlaylistAddFolder, found, existing), found);
    // The bulk list never takes one file twice, even from one walk.
    EXPECT_EQ(ApplyWalkDuplicateRule(ChooserMode::BulkAddFolder, {"/m/x.mp3", "/m/X.mp3", "/m/x.mp3"}, {}), QStringList({"/m/x.mp3", "/m/X.mp3"}));
}

TEST(WalkRules, DeliveredFolderNeverEndsInASlash)
{
    EXPECT_EQ(DeliveredFolder("/"), QString());
    EXPECT_EQ(DeliveredFolder("/music/"), QString("/music"));
    EXPECT_EQ(DeliveredFolder("/music/album "), QString("/music/album "));
}

TEST(WalkFormats, EveryExtensionOfEveryFormatByTheTextAfterTheLastDot)
{
    TempAppEnv env;
    const QString root = env.makeDir("formats");
    for (const char* f : {"a.flac", "b.M4A", "c.mp4", "d.oga", "e.aif", "f.wv", "g.opus", "h.tar.mp3", "i.mp3.txt",
                          "j.bmp3", "k.aiff"})
        touch(root + "/" + f);
    EXPECT_EQ(rel(root, WalkAudioFolder(root, false).files),
              QStringList({"a.flac", "b.M4A", "c.mp4", "d.oga", "e.aif", "f.wv", "g.opus", "h.tar.mp3", "k.aiff"}));
    QStringList mp4 = ListFolderFiles(root, "MP4");
    mp4.sort();
    EXPECT_EQ(mp4, QStringList({"b.M4A", "c.mp4"}));
    EXPECT_EQ(ListFolderFiles(root, "m4a").size(), 2) << "an extension names its format";
    EXPECT_EQ(ListFolderFiles(root, "AIFF").size(), 2);

    // Renamed files keep their own extension of the format, in lower case.
    EXPECT_EQ(RenamedExtension(u"b.M4A", u"MP4"), "m4a");
    EXPECT_EQ(RenamedExtension(u"c.mp4", u"MP4"), "mp4");
    EXPECT_EQ(RenamedExtension(u"**FAKE TRACK**", u"OGG"), "ogg");
    EXPECT_EQ(RenamedExtension(u"x.abc", u"Unknown"), "unknown");
    EXPECT_EQ(AudioFormatChoices(), "mp3, ogg, vqf, ape, mpc, mp4, wma, wav, flac, opus, wv or aiff");
}

TEST(WalkFormats, NamesAreKeptAsTheKernelsBytesAndPipesNeverBlock)
{
    TempAppEnv env;
    const QString root = env.makeDir("bytes");
    const QByteArray rootRaw = QFile::encodeName(root);
    // A Latin-1 name, not UTF-8: the walk hands its bytes on unchanged.
    const QByteArray latin1 = rootRaw + "/caf\xe9.mp3";
    const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(::mkdir((rootRaw + "/sub\xff").constData(), 0755), 0);
    ASSERT_EQ(::close(::open((rootRaw + "/sub\xff/in.ogg").constData(), O_CREAT | O_WRONLY, 0644)), 0);
    // Pipes named like a song and like a folder: opening either would wait for a writer.
    ASSERT_EQ(::mkfifo((rootRaw + "/pipe.mp3").constData(), 0644), 0);
    ASSERT_EQ(::mkfifo((rootRaw + "/pipedir").constData(), 0644), 0);

    const WalkResult r = WalkAudioFolder(root, true);
    EXPECT_FALSE(r.cancelled);
    ASSERT_EQ(r.raw.size(), 2);
    EXPECT_EQ(r.raw.at(0), latin1);
    EXPECT_EQ(r.raw.at(1), rootRaw + "/sub\xff/in.ogg");
    ASSERT_EQ(r.files.size(), 2);

    QList<QByteArray> names;
    int folders = 0;
    const WalkOutcome o = WalkFolders(root, true, [&](const WalkedFolder& w) {
        ++folders;
        for (const FolderEntry& e : w.entries)
            names << w.raw + '/' + e.raw;
        return WalkStep::Go;
    });
    EXPECT_FALSE(o.stopped);
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(o.folders, 2);
    EXPECT_TRUE(names.contains(rootRaw + "/pipe.mp3")) << "listed as an entry of another kind";
    EXPECT_TRUE(names.contains(rootRaw + "/sub\xff/in.ogg"));
    // Walking a pipe itself reports one unreadable folder and returns.
    const WalkOutcome p = WalkFolders(root + "/pipedir", true, [&](const WalkedFolder& w) {
        EXPECT_FALSE(w.readable);
        return WalkStep::Go;
    });
    EXPECT_EQ(p.folders, 1);
}
