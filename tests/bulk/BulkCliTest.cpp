#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace tunora::test;

namespace {

class BulkCliTest : public ::testing::Test {
protected:
    void SetUp() override { folder = env.makeDir("music"); }

    QString make(const QString& relative, const QByteArray& bytes = {})
    {
        const QString p = folder + "/" + relative;
        EXPECT_TRUE(WriteAll(p, bytes.isEmpty() ? relative.toUtf8() : bytes));
        return p;
    }

    int rename(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", QStringList {"rename"} + args, &out, &err);
    }

    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
    QStringList names(const QString& dir) const { return QDir(dir).entryList(QDir::Files, QDir::Name); }

    TempAppEnv env;
    QString folder;
    QByteArray out, err;
};

} // namespace

TEST_F(BulkCliTest, DryRunListsTheRenamesAndTouchesNothing)
{
    const QString a = make("my song.mp3"), b = make("Already.mp3"), c = make("élan vital.ogg");
    EXPECT_EQ(rename({"--case", "fluc", "--space", "--dry-run", a, b, c}), 0) << err.toStdString();
    EXPECT_EQ(lines(), (QStringList {a + "\t" + folder + "/My_Song.mp3", c + "\t" + folder + "/Élan_Vital.ogg",
                                     "2 of 3 files would be renamed"}));
    EXPECT_EQ(names(folder), (QStringList {"Already.mp3", "my song.mp3", "élan vital.ogg"}));
}

TEST_F(BulkCliTest, RenamesFilesAndKeepsTheirBytes)
{
    const QString a = make("my song.mp3", "AAA"), b = make("Done_Already.mp3", "BBB");
    EXPECT_EQ(rename({"--case=uc", "--under", a, b}), 0) << err.toStdString();
    EXPECT_EQ(lines(), (QStringList {a + "\t" + folder + "/MY SONG.mp3", b + "\t" + folder + "/DONE ALREADY.mp3",
                                     "2 of 2 files renamed"}));
    EXPECT_EQ(ReadAll(folder + "/MY SONG.mp3"), "AAA");
    EXPECT_EQ(ReadAll(folder + "/DONE ALREADY.mp3"), "BBB");
    EXPECT_EQ(names(folder).size(), 2);
}

TEST_F(BulkCliTest, ATakenNameFailsWithStatusOneInBothModes)
{
    const QString a = make("a  b.mp3", "first"), b = make("a   b.mp3", "second");
    EXPECT_EQ(rename({"--multi", "--dry-run", a, b}), 1);
    EXPECT_TRUE(err.contains("would not rename")) << err.toStdString();
    EXPECT_EQ(lines().last(), "1 of 2 files would be renamed");
    EXPECT_EQ(names(folder).size(), 2);

    EXPECT_EQ(rename({"--multi", a, b}), 1);
    EXPECT_TRUE(err.contains("cannot rename")) << err.toStdString();
    EXPECT_EQ(lines(), (QStringList {a + "\t" + folder + "/a b.mp3", "1 of 2 files renamed"}));
    EXPECT_EQ(ReadAll(folder + "/a b.mp3"), "first");
    EXPECT_EQ(ReadAll(b), "second");
}

TEST_F(BulkCliTest, DryRunSeesNamesTakenByEarlierRenames)
{
    // Both become "b_c.mp3": the second finds the name taken by the first rename.
    const QString a = make("b  c.mp3"), b = make("b c.mp3");
    EXPECT_EQ(rename({"--multi", "--space", "--dry-run", a, b}), 1);
    EXPECT_EQ(lines(), (QStringList {a + "\t" + folder + "/b_c.mp3", "1 of 2 files would be renamed"}));
    EXPECT_EQ(rename({"--multi", "--space", a, b}), 1);
    EXPECT_EQ(lines(), (QStringList {a + "\t" + folder + "/b_c.mp3", "1 of 2 files renamed"}));
    EXPECT_EQ(ReadAll(folder + "/b_c.mp3"), "b  c.mp3");
    EXPECT_EQ(ReadAll(b), "b c.mp3");

    // A name held by a file outside the run.
    EXPECT_EQ(rename({"--under", "--dry-run", folder + "/b_c.mp3"}), 1);
    EXPECT_EQ(lines(), QStringList {"0 of 1 files would be renamed"});
}

TEST_F(BulkCliTest, FoldersAreWalkedForTheirAudioFiles)
{
    make("top one.mp3");
    make("notes.txt");
    make("sub/deep one.ogg");
    EXPECT_EQ(rename({"--case", "fluc", "--dry-run", folder}), 0) << err.toStdString();
    EXPECT_EQ(lines(), (QStringList {folder + "/top one.mp3\t" + folder + "/Top One.mp3",
                                     "1 of 1 files would be renamed"}));
    EXPECT_EQ(rename({"--case", "fluc", "--recurse", folder + "/"}), 0) << err.toStdString();
    EXPECT_EQ(lines().last(), "2 of 2 files renamed");
    EXPECT_TRUE(QFileInfo::exists(folder + "/sub/Deep One.ogg"));
    EXPECT_TRUE(QFileInfo::exists(folder + "/notes.txt"));

    // A link to a folder is walked, not renamed itself.
    const QString link = env.root() + "/link to music";
    ASSERT_TRUE(QFile::link(folder, link));
    EXPECT_EQ(rename({"--case", "uc", link}), 0) << err.toStdString();
    EXPECT_EQ(lines(), (QStringList {link + "/Top One.mp3\t" + link + "/TOP ONE.mp3", "1 of 1 files renamed"}));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(folder + "/TOP ONE.mp3"));
}

TEST_F(BulkCliTest, RefusesContradictoryOptionsAndReportsMissingPaths)
{
    const QString a = make("a_b.mp3");
    EXPECT_EQ(rename({"--merge", "--unmerge", a}), 2);
    EXPECT_EQ(rename({"--under", "--space", a}), 2);
    EXPECT_EQ(rename({"--case", "title", a}), 2);
    EXPECT_EQ(rename({"--under"}), 2);
    EXPECT_EQ(rename({"--under", folder + "/none.mp3", a}), 1);
    EXPECT_TRUE(err.contains("none.mp3"));
    EXPECT_EQ(lines().last(), "1 of 1 files renamed") << "the other paths are still renamed";
    EXPECT_TRUE(QFileInfo::exists(folder + "/a b.mp3"));
}
