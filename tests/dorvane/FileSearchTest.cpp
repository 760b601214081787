// The recursive search with its events, file masks and Exist.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

using dorvane::Dorvanectrl;

namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/A/";
        QObject::connect(&ctl, &Dorvanectrl::FileSearchPath, [this](const QString& p) { events << "P " + rel(p); });
        QObject::connect(&ctl, &Dorvanectrl::FileFound, [this](const QString& p) { events << "F " + rel(p); });
    }
    QString rel(const QString& p) const { return p.startsWith(dir.path()) ? p.mid(dir.path().size() + 1) : "!" + p; }
    void file(const QString& relative)
    {
        const QString p = dir.path() + "/" + relative;
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    void folder(const QString& relative) { QDir().mkpath(dir.path() + "/" + relative); }
    QStringList search(const QString& pattern, QString start = QString())
    {
        events.clear();
        if (start.isNull())
            start = root;
        ctl.FindFiles(pattern, start);
        return events;
    }

    QTemporaryDir dir;
    QString root;
    QStringList events;
    Dorvanectrl ctl;
};

TEST_F(SearchTest, FolderFilesComeBeforeSubfolders)
{
    file("A/a.mp3");
    file("A/B/b.mp3");
    file("A/notes.txt");
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "F A/a.mp3", "P A/B/", "F A/B/b.mp3"}));
}

TEST_F(SearchTest, DepthFirstInNameOrderWithoutRegardToCase)
{
    file("A/z.MP3");
    file("A/b/2.mp3");
    file("A/b/deep/3.mp3");
    file("A/C/4.Mp3");
    file("A/Y.mp3");
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "F A/Y.mp3", "F A/z.MP3", "P A/b/", "F A/b/2.mp3", "P A/b/deep/",
                                            "F A/b/deep/3.mp3", "P A/C/", "F A/C/4.Mp3"}));
    // A start folder without its final "/" is searched just the same.
    EXPECT_EQ(search("Y.MP3", dir.path() + "/A").mid(0, 2), (QStringList{"P A/", "F A/Y.mp3"}));
}

TEST_F(SearchTest, EmptyPatternRaisesNothing)
{
    file("A/a.mp3");
    EXPECT_TRUE(search("").isEmpty());
}

TEST_F(SearchTest, StarDotStarReportsEachFolderOnce)
{
    file("A/a.mp3");
    file("A/B/b");
    EXPECT_EQ(search("*.*"), (QStringList{"P A/", "F A/", "F A/a.mp3", "P A/B/", "F A/B/", "F A/B/b"}));
}

TEST_F(SearchTest, DotFoldersAreNotEntered)
{
    file("A/.hidden/x.mp3");
    file("A/.config/y.mp3");
    file("A/shown/z.mp3");
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "P A/shown/", "F A/shown/z.mp3"}));
}

TEST_F(SearchTest, StopFromAFoundHandler)
{
    file("A/1.mp3");
    file("A/2.mp3");
    file("A/B/b.mp3");
    file("A/C/c.mp3");
    file("A/C/D/d.mp3");
    EXPECT_FALSE(ctl.FindFilesStop());
    auto c = QObject::connect(&ctl, &Dorvanectrl::FileFound, [this] { ctl.setFindFilesStop(true); });
    // The folders already waiting still announce themselves; nothing is found after the stop.
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "F A/1.mp3", "P A/B/", "P A/C/"}));
    EXPECT_TRUE(ctl.FindFilesStop());
    QObject::disconnect(c);
    // The stop stays on record, yet a new search runs in full.
    EXPECT_EQ(search("*.mp3").size(), 9);
    EXPECT_TRUE(ctl.FindFilesStop());
}

TEST_F(SearchTest, HostEventsRunBeforeTheFirstListing)
{
    file("A/a.mp3");
    file("A/B/b.mp3");
    // A stop queued by the host (a button click) is seen right after the first folder is announced.
    QTimer::singleShot(0, &ctl, [this] { ctl.setFindFilesStop(true); });
    EXPECT_EQ(search("*.mp3"), QStringList{"P A/"});
}

TEST_F(SearchTest, HostEventsRunBeforeEachMatch)
{
    file("A/1.mp3");
    file("A/2.mp3");
    file("A/3.mp3");
    // Each event queued from a handler runs before the next match is reported.
    QStringList order;
    auto c = QObject::connect(&ctl, &Dorvanectrl::FileFound, [&](const QString& p) {
        order << "found " + QFileInfo(p).fileName();
        QTimer::singleShot(0, &ctl, [&order, p] { order << "host " + QFileInfo(p).fileName(); });
    });
    search("*.mp3");
    QObject::disconnect(c);
    QCoreApplication::processEvents(); // the last one runs once the search is over
    EXPECT_EQ(order, (QStringList{"found 1.mp3", "host 1.mp3", "found 2.mp3", "host 2.mp3", "found 3.mp3", "host 3.mp3"}));
}

TEST_F(SearchTest, LinksNeverMakeItLoop)
{
    file("A/a.mp3");
    file("A/B/b.mp3");
    file("Outside/o.mp3");
    ASSERT_TRUE(QFile::link(dir.path() + "/A", dir.path() + "/A/B/up"));
    ASSERT_TRUE(QFile::link(dir.path() + "/A/B", dir.path() + "/A/B/self"));
    ASSERT_TRUE(QFile::link(dir.path() + "/Outside", dir.path() + "/A/out"));
    ASSERT_TRUE(QFile::link(dir.path() + "/A/a.mp3", dir.path() + "/A/linked.mp3"));
    ASSERT_TRUE(QFile::link(dir.path() + "/nowhere.mp3", dir.path() + "/A/dangling.mp3"));
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "F A/a.mp3", "F A/linked.mp3", "P A/B/", "F A/B/b.mp3",
                                            "P A/out/", "F A/out/o.mp3"}));
}

TEST_F(SearchTest, MissingStartFolderIsAnnouncedOnly)
{
    EXPECT_EQ(search("*.mp3", dir.path() + "/Nope/"), QStringList{"P Nope/"});
}

TEST_F(SearchTest, SecondSearchFromAHandlerIsRefused)
{
    file("A/a.mp3");
    file("A/b.mp3");
    int nested = 0;
    auto c = QObject::connect(&ctl, &Dorvanectrl::FileFound, [&] {
        QString again = root;
        ++nested;
        ctl.FindFiles("*.*", again);
    });
    EXPECT_EQ(search("*.mp3"), (QStringList{"P A/", "F A/a.mp3", "F A/b.mp3"}));
    EXPECT_EQ(nested, 2);
    QObject::disconnect(c);
}

TEST(Masks, WindowsMaskRules)
{
    using dorvane::files::MaskMatches;
    struct Row {
        const char* mask;
        const char* name;
        bool match;
    };
    const Row rows[] = {
        {"*.mp3", "song.mp3", true},     {"*.mp3", "SONG.MP3", true},   {"*.mp3", "song.mp3.txt", false},
        {"*.mp3", ".mp3", true},         {"*.*", "README", true},        {"*.*", ".", true},
        {"*", "any.thing", true},        {"a.*", "a", true},             {"a.*", "a.b.c", true},
        {"a.*", "ab", false},            {"*.", "README", true},         {"*.", "read.me", false},
        {"s?ng.mp3", "SaNg.mp3", true},  {"s?ng.mp3", "sng.mp3", false}, {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "ab_a", false},         {"Ä*", "äpfel", true},          {"", "x", false},
        {"[ab].mp3", "[ab].mp3", true},  {"[ab].mp3", "a.mp3", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(MaskMatches(QString::fromUtf8(r.mask), QString::fromUtf8(r.name)), r.match) << r.mask << " " << r.name;
}

class ExistTest : public SearchTest {};

TEST_F(ExistTest, OrdinaryFilesOnly)
{
    file("A/song.mp3");
    file("A/.hidden.mp3");
    file("A/.only/x.mp3");
    folder("A/folder.mp3");
    const QString a = dir.path() + "/A/";
    EXPECT_TRUE(ctl.Exist(a + "song.mp3").toBool());
    EXPECT_TRUE(ctl.Exist(a + "SONG.MP3").toBool()); // names match without regard to case
    EXPECT_TRUE(ctl.Exist(a + "*.mp3").toBool());
    EXPECT_TRUE(ctl.Exist(a + "s?ng.*").toBool());
    EXPECT_FALSE(ctl.Exist(a + ".hidden.mp3").toBool());
    EXPECT_FALSE(ctl.Exist(a + ".hid*").toBool());
    EXPECT_FALSE(ctl.Exist(a + "folder.mp3").toBool());
    EXPECT_FALSE(ctl.Exist(a + "folder*").toBool());
    EXPECT_FALSE(ctl.Exist(dir.path() + "/A").toBool());
    EXPECT_FALSE(ctl.Exist(a).toBool());
    EXPECT_TRUE(ctl.Exist(a + ".only/x.mp3").toBool()); // only the file's own name counts
    EXPECT_FALSE(ctl.Exist(a + "missing.mp3").toBool());
    EXPECT_FALSE(ctl.Exist(dir.path() + "/Nope/*.mp3").toBool());
    EXPECT_FALSE(ctl.Exist(dir.path() + "/*/song.mp3").toBool());
    EXPECT_FALSE(ctl.Exist("").toBool());
    EXPECT_EQ(ctl.Exist(a + "song.mp3").typeId(), QMetaType::Bool);
}

TEST_F(ExistTest, ReadOnlyLinksAndSpecialFiles)
{
    file("A/ro.mp3");
    QFile::setPermissions(dir.path() + "/A/ro.mp3", QFile::ReadOwner);
    EXPECT_TRUE(ctl.Exist(dir.path() + "/A/ro.mp3").toBool());
    ASSERT_TRUE(QFile::link(dir.path() + "/A/ro.mp3", dir.path() + "/A/link.mp3"));
    EXPECT_TRUE(ctl.Exist(dir.path() + "/A/link.mp3").toBool());
    ASSERT_TRUE(QFile::link(dir.path() + "/none", dir.path() + "/A/dangling.mp3"));
    EXPECT_FALSE(ctl.Exist(dir.path() + "/A/dangling.mp3").toBool());
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/A/pipe").constData(), 0600), 0);
    EXPECT_FALSE(ctl.Exist(dir.path() + "/A/pipe").toBool());
    EXPECT_FALSE(ctl.Exist(dir.path() + "/A/pi*").toBool());
}

} // namespace
