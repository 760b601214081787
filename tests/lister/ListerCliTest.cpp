#include "lister/Lister.h"

#include "tests/common/TestSupport.h"

#include <QDir>

using namespace tunora;
using namespace tunora::test;

namespace {

class ListCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        music = env.makeDir("music");
        for (const char* f : {"b.mp3", "A.MP3", "c.ogg", "skip.jpg", "sub/d.mp3", "sub/deeper/e.wav"})
            ASSERT_TRUE(WriteAll(music + "/" + f, "x"));
    }
    int run(const QStringList& args, QByteArray* err = nullptr)
    {
        return RunProgram(BuiltAppDir() + "/tunora-cli", QStringList {"list"} + args, nullptr, err);
    }

    TempAppEnv env;
    QString music;
};

} // namespace

TEST_F(ListCli, DefaultsToMp3AndTheFirstPattern)
{
    const QString out = env.root() + "/list.txt";
    ASSERT_EQ(run({music, "--output", out}), 0);
    EXPECT_EQ(ReadAll(out), ("[" + music + "]\r\n[MP3] A.MP3\r\n[MP3] b.mp3\r\n\r\n").toUtf8());
}

TEST_F(ListCli, WritesWhatThePageWrites)
{
    const QString out = env.root() + "/all.txt";
    ASSERT_TRUE(WriteAll(out, "an older listing, replaced"));
    ASSERT_EQ(run({music, "--recurse", "--formats", "mp3,WAV", "--pattern", "%5%1%2 (%4)", "--output", out}), 0);
    const QString z = " (" + ListerSizeText(1) + ")";
    EXPECT_EQ(ReadAll(out), ("[" + music + "]\r\n" + music + "/A.MP3" + z + "\r\n" + music + "/b.mp3" + z +
                             "\r\n\r\n[" + music + "/sub]\r\n" + music + "/sub/d.mp3" + z + "\r\n\r\n[" + music +
                             "/sub/deeper]\r\n" + music + "/sub/deeper/e.wav" + z + "\r\n\r\n")
                                .toUtf8());
    // The page's own walk gives the same bytes.
    EXPECT_EQ(ReadAll(out), BuildListing(music, "%5%1%2 (%4)", {"MP3", "WAV"}, true).bytes);
}

TEST_F(ListCli, RefusesBadArgumentsAndWritesNothing)
{
    const QString out = env.root() + "/x.txt";
    QByteArray err;
    EXPECT_EQ(run({music, "--formats", "mp3,xyz", "--output", out}, &err), 2);
    EXPECT_TRUE(err.contains("xyz"));
    EXPECT_EQ(run({music}), 2);
    EXPECT_EQ(run({"--output", out}), 2);
    EXPECT_EQ(run({music, "--bogus", "--output", out}), 2);
    EXPECT_EQ(run({music, "--output"}), 2);
    EXPECT_EQ(run({music + "/missing", "--output", out}), 1);
    EXPECT_EQ(run({music, "--output", env.root() + "/no/such/folder/x.txt"}), 1);
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(ListCli, HelpNamesTheCommandAndEveryOption)
{
    QByteArray out;
    ASSERT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"list", "--help"}, &out), 0);
    EXPECT_TRUE(out.startsWith("usage: tunora-cli list DIR")) << out.constData();
    for (const char* option : {"--recurse", "--formats <LIST>", "--pattern <P>", "--output <FILE>"})
        EXPECT_TRUE(out.contains(option)) << option;
}
