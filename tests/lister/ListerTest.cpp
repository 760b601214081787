#include "lister/Lister.h"

#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTimer>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

// The locale's own way of writing 5.56, so the tests hold under any LANG.
QString mb(double v)
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(v, 'f', 2) + " Mb";
}

class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& l) : m_old(QLocale()) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

} // namespace

TEST(ListerFill, ReplacesEachPlaceholderOnce)
{
    EXPECT_EQ(ListerFill("  [%3] %1%2  ", "a", ".mp3", "MP3", "", ""), "[MP3] a.mp3");
    // A value holding a placeholder stays text, whichever comes first.
    EXPECT_EQ(ListerFill("%1", "x%3", "", "MP3", "", ""), "x%3");
    EXPECT_EQ(ListerFill("%2", "", "%1", "", "", ""), "%1");
    EXPECT_EQ(ListerLine("%1 (%4)", "50%4 off.mp3", "/m", 1048576), "50%4 off (" + ListerSizeText(1048576) + ")");
    // Case-sensitive, every occurrence.
    EXPECT_EQ(ListerFill("%5%5 %6", "", "", "", "", "/d/"), "/d//d/ %6");
}

TEST(ListerSample, OfferedPatternsAndStartUp)
{
    const QStringList p = ListerPatterns();
    ASSERT_EQ(p, (QStringList {"[%3] %1%2", "[%3] %1%2 (%4)", "%5%1%2"}));
    EXPECT_EQ(ListerSample(p[0]), "[MP3] 01 - Zero.mp3");
    EXPECT_EQ(ListerSample(p[1]), "[MP3] 01 - Zero.mp3 (" + mb(5.56) + ")");
    EXPECT_EQ(ListerSample(p[2]), "/MP3/Rock/SP/01 - Zero.mp3");

    EXPECT_EQ(ListerStartPattern("%1 (%4)"), "%1 (%4)");
    // A saved pattern without placeholders, or none at all, gives way to the default.
    EXPECT_EQ(ListerStartPattern("plain"), "[%3] %1%2");
    EXPECT_EQ(ListerStartPattern(""), "[%3] %1%2");
}

TEST(ListerSizeText, UsesTheLocaleDecimalSeparator)
{
    {
        LocaleGuard g(QLocale(QLocale::French, QLocale::France));
        EXPECT_EQ(ListerSizeText(5830082), "5,56 Mb");
        EXPECT_EQ(ListerSizeText(2000LL * 1048576), "2000,00 Mb"); // no group separator
    }
    {
        LocaleGuard g(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(ListerSizeText(5830082), "5.56 Mb");
        EXPECT_EQ(ListerSizeText(0), "0.00 Mb");
    }
}

TEST(ListerLine, NameEdgeCases)
{
    const QStringList mp3 {"MP3"};
    EXPECT_TRUE(ListerWantsName("a.mp3", mp3));
    EXPECT_EQ(ListerLine("%1|%2|%3", "a.mp3", "/m", 0), "a|.mp3|MP3");
    // Four characters: listed with an empty %1; three characters: never.
    EXPECT_TRUE(ListerWantsName(".mp3", mp3));
    EXPECT_EQ(ListerLine("[%1]%2", ".mp3", "/m", 0), "[].mp3");
    EXPECT_FALSE(ListerWantsName("mp3", mp3));
    // Upper-case extension under the "MP3" format.
    EXPECT_TRUE(ListerWantsName("Song.MP3", mp3));
    EXPECT_EQ(ListerLine("%2 %3", "Song.MP3", "/m", 0), ".MP3 MP3");
    // The extension after the last dot decides: no three-letter tail of "flac" counts, and
    // every extension of a format is its own ("m4a" under MP4).
    EXPECT_FALSE(ListerWantsName("Song.flac", {"MP3", "OGG", "VQF", "APE", "MPC", "WMA", "WAV"}));
    EXPECT_TRUE(ListerWantsName("Song.flac", ListerFormats()));
    EXPECT_EQ(ListerLine("%1|%2|%3", "Song.flac", "/m", 0), "Song|.flac|FLAC");
    EXPECT_EQ(ListerLine("%1|%2|%3", "Live.M4A", "/m", 0), "Live|.M4A|MP4");
    EXPECT_TRUE(ListerWantsName("Live.M4A", {"mp4"}));
    EXPECT_FALSE(ListerWantsName("song.xmp3", mp3));
    // A name without a dot is still taken by its last three characters.
    EXPECT_TRUE(ListerWantsName("xmp3", mp3));
    EXPECT_EQ(ListerLine("%5%1%2 %4", "b.ogg", "/m/", 1048576), "/m/b.ogg " + mb(1.0));
    EXPECT_EQ(ListerLine("%5", "b.ogg", "/m", 0), "/m/");
}

TEST(ListingFileName, TxtRuleAndCleaning)
{
    EXPECT_EQ(ListingFileName("list"), "list.txt");
    EXPECT_EQ(ListingFileName("abc"), "abc");
    EXPECT_EQ(ListingFileName("LIST.TXT"), "LIST.TXT.txt");
    EXPECT_EQ(ListingFileName("done.txt"), "done.txt");
    EXPECT_EQ(ListingFileName("  a/b:c?  "), "abc");
    EXPECT_EQ(ListingFileName("../../etc/x"), "etcx.txt"); // never a hidden name
}

namespace {

class ListingTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = env.makeDir("music");
        SetCancelRequested(false);
    }
    void file(const QString& rel, int bytes = 1)
    {
        QDir().mkpath(QFileInfo(root + "/" + rel).absolutePath());
        ASSERT_TRUE(WriteAll(root + "/" + rel, QByteArray(bytes, 'x')));
    }
    QString listing(bool recurse, const QString& pattern = "%1%2",
                    const QStringList& formats = {"MP3"})
    {
        const ListingResult r = BuildListing(root, pattern, formats, recurse);
        EXPECT_FALSE(r.cancelled);
        return QString::fromUtf8(r.bytes);
    }

    TempAppEnv env;
    QString root;
};

} // namespace

TEST_F(ListingTree, BlocksComeParentFirstThenSubFoldersDescending)
{
    file("top.mp3");
    file("A/a1.mp3");
    file("A/A2/deep.mp3");
    file("B/b.mp3");
    file("C/c.mp3");
    file("C/C1/c1.mp3");
    file("C/C2/c2.mp3");
    const QString r = root;
    EXPECT_EQ(listing(true), "[" + r + "]\r\ntop.mp3\r\n\r\n"
                             "[" + r + "/C]\r\nc.mp3\r\n\r\n"
                             "[" + r + "/C/C2]\r\nc2.mp3\r\n\r\n"
                             "[" + r + "/C/C1]\r\nc1.mp3\r\n\r\n"
                             "[" + r + "/B]\r\nb.mp3\r\n\r\n"
                             "[" + r + "/A]\r\na1.mp3\r\n\r\n"
                             "[" + r + "/A/A2]\r\ndeep.mp3\r\n\r\n");
    // Without recursion only the input folder's own block.
    EXPECT_EQ(listing(false), "[" + r + "]\r\ntop.mp3\r\n\r\n");
}

TEST_F(ListingTree, EntriesInOrdinalOrderWithFormatsAndSizes)
{
    file("b.mp3", 1048576);
    file("B.ogg", 0);
    file("a.MP3", 524288);
    file("Song.flac");
    file("mp3");
    file("cover.jpg");
    file(".hidden.mp3");
    file(".mp3"); // hidden here: a leading dot
    EXPECT_EQ(listing(false, "%3 %1%2 (%4)", {"MP3", "OGG"}),
              "[" + root + "]\r\nOGG B.ogg (" + mb(0) + ")\r\nMP3 a.MP3 (" + mb(0.5) + ")\r\nMP3 b.mp3 (" + mb(1) +
                  ")\r\n\r\n");
    // The format test ignores case and trims the format name.
    EXPECT_EQ(listing(false, "%1", {" ogg "}), "[" + root + "]\r\nB\r\n\r\n");
    // Every format of the list, %3 its name there: an .m4a file is MP4.
    file("Live.M4A");
    EXPECT_EQ(listing(false, "%3 %1%2", {"FLAC", "MP4"}), "[" + root + "]\r\nMP4 Live.M4A\r\nFLAC Song.flac\r\n\r\n");
}

TEST_F(ListingTree, FoldersWithoutListedFilesWriteNoHeader)
{
    file("only/sub/x.mp3");
    file("only/notes.txt");
    EXPECT_EQ(listing(true), "[" + root + "/only/sub]\r\nx.mp3\r\n\r\n");
    // A pattern that leaves only spaces makes no block either.
    EXPECT_EQ(listing(true, "   "), "");
}

TEST_F(ListingTree, WithoutRecursionAFolderNamedLikeAFormatIsListed)
{
    file("xmp3/inner.mp3");
    file("s.mp3");
    EXPECT_EQ(listing(false, "%1%2 %4"), "[" + root + "]\r\ns.mp3 " + mb(0) + "\r\nxmp3 " + mb(0) + "\r\n\r\n");
    EXPECT_EQ(listing(true, "%1%2"), "[" + root + "]\r\ns.mp3\r\n\r\n[" + root + "/xmp3]\r\ninner.mp3\r\n\r\n");
}

TEST_F(ListingTree, InputWithFinalSlashAndUtf8Names)
{
    file("Été/Ça va.mp3");
    const ListingResult r = BuildListing(root + "/", "%5%1%2", {"MP3"}, true);
    EXPECT_EQ(r.bytes, ("[" + root + "/Été]\r\n" + root + "/Été/Ça va.mp3\r\n\r\n").toUtf8());
    EXPECT_EQ(r.filesListed, 1);
}

TEST_F(ListingTree, SymbolicLinksNeverWalkAFolderTwice)
{
    file("a/x.mp3");
    file("b/y.mp3");
    ASSERT_EQ(::symlink(QFile::encodeName(root).constData(), QFile::encodeName(root + "/a/loop").constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(root + "/b").constData(), QFile::encodeName(root + "/c").constData()), 0);
    ASSERT_EQ(::symlink("missing.mp3", QFile::encodeName(root + "/broken.mp3").constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(root + "/a/x.mp3").constData(),
                        QFile::encodeName(root + "/linked.mp3").constData()),
              0);
    // "b" and "c" are one folder: walked once, under the name met first; the loop back
    // to the input folder and the broken link add nothing.
    EXPECT_EQ(listing(true), "[" + root + "]\r\nlinked.mp3\r\n\r\n"
                             "[" + root + "/b]\r\ny.mp3\r\n\r\n"
                             "[" + root + "/a]\r\nx.mp3\r\n\r\n");
}

TEST_F(ListingTree, UnreadableFoldersAreSkipped)
{
    file("locked/secret.mp3");
    file("open/song.mp3");
    // Root reads every folder: the walk runs in a child without privileges.
    OpenToOthers(root);
    ASSERT_EQ(::chmod(QFile::encodeName(root + "/locked").constData(), 0), 0);
    QByteArray got;
    const int code = InChild(
        [&](QByteArray& out) {
            out = BuildListing(root, "%1%2", {"MP3"}, true).bytes;
            return 0;
        },
        &got, true);
    ::chmod(QFile::encodeName(root + "/locked").constData(), 0755);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(QString::fromUtf8(got), "[" + root + "/open]\r\nsong.mp3\r\n\r\n");
}

TEST_F(ListingTree, CancelStopsTheWalk)
{
    for (int i = 0; i < 20; ++i)
        file(QStringLiteral("d%1/s.mp3").arg(i));
    QTimer::singleShot(0, [] { SetCancelRequested(true); });
    // As the page does: the event loop runs once a folder and cancel is read.
    const ListingResult r = BuildListing(root, "%1", {"MP3"}, true, [](const QString&) {
        YieldEvents();
        return !CancelRequested();
    });
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.bytes.isEmpty());
    EXPECT_LT(r.foldersWalked, 21);
    SetCancelRequested(false);
}
