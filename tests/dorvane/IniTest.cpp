// INI files through LireINI and EcrireINI.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using dorvane::Dorvanectrl;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class IniTest : public ::testing::Test {
protected:
    QString file(const QString& name) const { return dir.path() + "/" + name; }
    QTemporaryDir dir;
    Dorvanectrl ctl;
};

TEST_F(IniTest, ReadsWithProfileRules)
{
    writeFile(file("upd.dat"), "; update description\r\n"
                               "orphan=before any section\r\n"
                               "[Tunora]\r\n"
                               "  Build = 78  \r\n"
                               "FileName=\"  quoted  \"\r\n"
                               "Single='x'\r\n"
                               "Half=\"open\r\n"
                               "Empty=\r\n"
                               "NoEquals\r\n"
                               "Tabs=\tvalue\t\r\n"
                               "Stored=vdefaults\r\n"
                               "Build=second copy ignored\r\n"
                               "[ other ]\r\n"
                               "Build=other section\r\n"
                               "[TUNORA]\r\n"
                               "Later=in a repeated section\r\n");
    const QString f = file("upd.dat");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Build"), "78");
    EXPECT_EQ(ctl.LireINI(f, "tunora", "BUILD"), "78");
    EXPECT_EQ(ctl.LireINI(f, "Other", "Build"), "other section");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "FileName"), "quoted"); // quotes dropped, then trimmed
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Single"), "x");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Half"), "\"open");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Empty", "def"), "");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "NoEquals", "def"), "");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Tabs"), "value");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Stored", "def"), "");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "orphan", "def"), "def");
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Later", "def"), "def"); // the first section of a name only
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "; update description", "def"), "def");
}

TEST_F(IniTest, DefaultsAndMissingPieces)
{
    writeFile(file("a.ini"), "[S]\nK=v\n");
    EXPECT_EQ(ctl.LireINI(file("missing.ini"), "S", "K"), "");
    EXPECT_EQ(ctl.LireINI(file("missing.ini"), "S", "K", "fallback"), "fallback");
    EXPECT_EQ(ctl.LireINI(file("a.ini"), "T", "K", "  padded  "), "padded");
    EXPECT_EQ(ctl.LireINI(file("a.ini"), "S", "X", "vdefaults"), "");
    EXPECT_EQ(ctl.LireINI(file("a.ini"), "S", "X", "  vdefaults "), "");
    EXPECT_EQ(ctl.LireINI(QString(), "S", "K", "d"), "d");
    EXPECT_EQ(ctl.LireINI(dir.path(), "S", "K", "d"), "d"); // a folder is no file
}

TEST_F(IniTest, LongValuesComeBackCut)
{
    const QString value300 = QString(150, 'a') + QString(150, 'b');
    ASSERT_TRUE(ctl.EcrireINI(file("long.ini"), "S", "K", value300));
    EXPECT_EQ(ctl.LireINI(file("long.ini"), "S", "K"), value300.left(254));
    EXPECT_EQ(ctl.LireINI(file("long.ini"), "S", "Missing", value300), value300.left(254));
    // Characters, not bytes or halves of a pair.
    const QString notes = QString::fromUtf8("🎵").repeated(300);
    ASSERT_TRUE(ctl.EcrireINI(file("long.ini"), "S", "Notes", notes));
    EXPECT_EQ(ctl.LireINI(file("long.ini"), "S", "Notes"), QString::fromUtf8("🎵").repeated(254));
    // A value of 254 characters comes back whole, with its leading blanks dropped.
    ASSERT_TRUE(ctl.EcrireINI(file("long.ini"), "S", "Exact", QString(254, 'z')));
    EXPECT_EQ(ctl.LireINI(file("long.ini"), "S", "Exact").size(), 254);
}

TEST_F(IniTest, LegacyBytesAreRead)
{
    writeFile(file("legacy.ini"), "[Caf\xE9]\r\nNom=Fran\xE7ois \x80\r\n");
    EXPECT_EQ(ctl.LireINI(file("legacy.ini"), QString::fromUtf8("CAFÉ"), "nom"), QString::fromUtf8("François €"));
}

TEST_F(IniTest, WritingCreatesFileSectionAndKey)
{
    const QString f = file("new.ini");
    ASSERT_TRUE(ctl.EcrireINI(f, "Tunora", "Build", "78"));
    EXPECT_EQ(readFile(f), "[Tunora]\r\nBuild=78\r\n");
    ASSERT_TRUE(ctl.EcrireINI(f, "Tunora", "Path", "files"));
    ASSERT_TRUE(ctl.EcrireINI(f, "Other", "Key", QString::fromUtf8("Ωμέγα")));
    EXPECT_EQ(readFile(f), QString::fromUtf8("[Tunora]\r\nBuild=78\r\nPath=files\r\n\r\n[Other]\r\nKey=Ωμέγα\r\n").toUtf8());
    ASSERT_TRUE(ctl.EcrireINI(f, "TUNORA", "build", "79"));
    EXPECT_EQ(ctl.LireINI(f, "Tunora", "Build"), "79");
    EXPECT_TRUE(readFile(f).startsWith("[Tunora]\r\nBuild=79\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"new.ini"});
}

TEST_F(IniTest, WritingKeepsEveryOtherByte)
{
    const QByteArray original = "; keep me\n[A]\n  x = 1 ; not a comment\n\n[B]\ny=2\n\n\n[C]\nz=3";
    writeFile(file("keep.ini"), original);
    ASSERT_TRUE(ctl.EcrireINI(file("keep.ini"), "a", "X", "one"));
    EXPECT_EQ(readFile(file("keep.ini")), "; keep me\n[A]\nx=one\n\n[B]\ny=2\n\n\n[C]\nz=3");
    ASSERT_TRUE(ctl.EcrireINI(file("keep.ini"), "B", "w", "new"));
    EXPECT_EQ(readFile(file("keep.ini")), "; keep me\n[A]\nx=one\n\n[B]\ny=2\nw=new\n\n\n[C]\nz=3");
    ASSERT_TRUE(ctl.EcrireINI(file("keep.ini"), "C", "last", "end"));
    EXPECT_EQ(readFile(file("keep.ini")), "; keep me\n[A]\nx=one\n\n[B]\ny=2\nw=new\n\n\n[C]\nz=3\nlast=end\n");
    EXPECT_EQ(ctl.LireINI(file("keep.ini"), "B", "W"), "new");
}

TEST_F(IniTest, LegacyFilesStayLegacyWhileTheyCan)
{
    writeFile(file("l.ini"), "[S]\r\nA=Caf\xE9\r\n");
    ASSERT_TRUE(ctl.EcrireINI(file("l.ini"), "S", "B", QString::fromUtf8("Noël")));
    EXPECT_EQ(readFile(file("l.ini")), "[S]\r\nA=Caf\xE9\r\nB=No\xEBl\r\n");
    // Text with no legacy byte turns the whole file into UTF-8 rather than mixing readings.
    ASSERT_TRUE(ctl.EcrireINI(file("l.ini"), "S", "C", QString::fromUtf8("東京")));
    EXPECT_EQ(readFile(file("l.ini")), QString::fromUtf8("[S]\r\nA=Café\r\nB=Noël\r\nC=東京\r\n").toUtf8());
    EXPECT_EQ(ctl.LireINI(file("l.ini"), "S", "A"), QString::fromUtf8("Café"));
}

TEST_F(IniTest, RefusalsAnswerFalseAndChangeNothing)
{
    EXPECT_FALSE(ctl.EcrireINI(file("no/such/folder/x.ini"), "S", "K", "v"));
    EXPECT_FALSE(QFileInfo::exists(file("no")));
    EXPECT_FALSE(ctl.EcrireINI(QString(), "S", "K", "v"));

    writeFile(file("ro.ini"), "[S]\nK=old\n");
    QFile::setPermissions(file("ro.ini"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    EXPECT_FALSE(ctl.EcrireINI(file("ro.ini"), "S", "K", "new"));
    EXPECT_EQ(readFile(file("ro.ini")), "[S]\nK=old\n");

    writeFile(file("rw.ini"), "[S]\nK=old\n");
    EXPECT_FALSE(ctl.EcrireINI(file("rw.ini"), "S", "K", "two\nlines"));
    EXPECT_FALSE(ctl.EcrireINI(file("rw.ini"), "S]", "K", "v"));
    EXPECT_FALSE(ctl.EcrireINI(file("rw.ini"), "S", "K=1", "v"));
    EXPECT_FALSE(ctl.EcrireINI(file("rw.ini"), "S", "[K", "v"));
    EXPECT_EQ(readFile(file("rw.ini")), "[S]\nK=old\n");
    EXPECT_FALSE(ctl.EcrireINI(dir.path(), "S", "K", "v"));

    // A FIFO is no INI file: read and write answer at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("pipe.ini")).constData(), 0600), 0);
    ::alarm(20);
    EXPECT_EQ(ctl.LireINI(file("pipe.ini"), "S", "K", "default"), "default");
    EXPECT_FALSE(ctl.EcrireINI(file("pipe.ini"), "S", "K", "v"));
    ::alarm(0);
    EXPECT_FALSE(QFileInfo(file("pipe.ini")).isFile());
}

TEST_F(IniTest, WritingLetsTheHostRunFirst)
{
    const QString f = file("events.ini");
    int ran = 0;
    bool existedWhenRun = true;
    QTimer::singleShot(0, [&] {
        ++ran;
        existedWhenRun = QFileInfo::exists(f);
    });
    ASSERT_TRUE(ctl.EcrireINI(f, "S", "K", "v"));
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(existedWhenRun);
}

TEST_F(IniTest, EditingIsPure)
{
    using dorvane::ini::WithValue;
    EXPECT_EQ(*WithValue("", "S", "K", "v"), "[S]\r\nK=v\r\n");
    EXPECT_EQ(*WithValue("[S]", "S", "K", "v"), "[S]\r\nK=v\r\n");
    EXPECT_EQ(*WithValue("[S]\r", "S", "K", "v"), "[S]\r\nK=v\r\n"); // a cut line end is completed
    EXPECT_EQ(*WithValue("x=1\r", "S", "K", "v"), "x=1\r\n\r\n[S]\r\nK=v\r\n");
    EXPECT_EQ(*WithValue("x=1", "S", "K", "v"), "x=1\r\n\r\n[S]\r\nK=v\r\n");
    EXPECT_EQ(*WithValue("[S]\nK=a\nK=b\n", "S", "k", "c"), "[S]\nK=c\nK=b\n");
    EXPECT_FALSE(WithValue("", "S", "K", QString::fromUtf16(u"a\0b", 3)));
}

} // namespace
