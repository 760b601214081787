#include "tests/common/TestSupport.h"

#include <QDir>

using namespace tunora;
using namespace tunora::test;

namespace {

class PlaylistCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        music = env.makeDir("Music");
        for (const char* f : {"Rock/SP/01.mp3", "Rock/SP/02.ogg", "Rock/SP/cover.jpg", "Rock/SP/Live/03.mp3",
                              "Lists/a.mp3"})
            ASSERT_TRUE(WriteAll(music + "/" + f, "x"));
    }
    int run(const QStringList& args, const QString& cwd = {})
    {
        if (cwd.isEmpty())
            return RunProgram(BuiltAppDir() + "/tunora-cli", QStringList {"playlist"} + args);
        const QString old = QDir::currentPath();
        QDir::setCurrent(cwd);
        const int rc = RunProgram(BuiltAppDir() + "/tunora-cli", QStringList {"playlist"} + args);
        QDir::setCurrent(old);
        return rc;
    }

    TempAppEnv env;
    QString music;
};

} // namespace

TEST_F(PlaylistCli, FilesAndFoldersInOrderRelativeToThePlaylist)
{
    const QString out = music + "/Lists/mix.m3u";
    ASSERT_EQ(run({"--output", out, music + "/Lists/a.mp3", music + "/Rock/SP", music + "/Lists/a.mp3"}), 0);
    // A folder adds its audio files in walk order; duplicates stay.
    EXPECT_EQ(ReadAll(out), "a.mp3\r\n../Rock/SP/01.mp3\r\n../Rock/SP/02.ogg\r\na.mp3\r\n");

    const QString deep = music + "/Lists/deep.m3u";
    ASSERT_EQ(run({"--recurse", "--output", deep, music + "/Rock"}), 0);
    EXPECT_EQ(ReadAll(deep), "../Rock/SP/01.mp3\r\n../Rock/SP/02.ogg\r\n../Rock/SP/Live/03.mp3\r\n");
}

TEST_F(PlaylistCli, RelativeArgumentsAreTakenFromTheCurrentFolder)
{
    ASSERT_EQ(run({"--output", "Lists/rel.m3u", "Rock/SP/01.mp3"}, music), 0);
    EXPECT_EQ(ReadAll(music + "/Lists/rel.m3u"), "../Rock/SP/01.mp3\r\n");
    // A name with one leading dash is a file; "--output=" names the playlist too; "--" ends the options.
    ASSERT_TRUE(WriteAll(music + "/-live.mp3", "x"));
    ASSERT_TRUE(WriteAll(music + "/--odd.mp3", "x"));
    ASSERT_EQ(run({"--output=Lists/dash.m3u", "-live.mp3", "--", "--odd.mp3"}, music), 0);
    EXPECT_EQ(ReadAll(music + "/Lists/dash.m3u"), "../-live.mp3\r\n../--odd.mp3\r\n");
}

TEST_F(PlaylistCli, ExistingPlaylistNeedsForceAndBadPathsWriteNothing)
{
    const QString out = music + "/Lists/mix.m3u";
    ASSERT_TRUE(WriteAll(out, "old\r\n"));
    EXPECT_EQ(run({"--output", out, music + "/Lists/a.mp3"}), 1);
    EXPECT_EQ(ReadAll(out), "old\r\n");
    EXPECT_EQ(run({"--force", "--output", out, music + "/Lists/a.mp3"}), 0);
    EXPECT_EQ(ReadAll(out), "a.mp3\r\n");

    const QString none = music + "/Lists/none.m3u";
    EXPECT_EQ(run({"--output", none, music + "/missing.mp3"}), 1);
    EXPECT_EQ(run({"--output", none}), 2);
    EXPECT_EQ(run({music + "/Lists/a.mp3"}), 2);
    EXPECT_FALSE(QFileInfo::exists(none));
}

TEST_F(PlaylistCli, ANameWithALineBreakIsLeftOutAndAHashIsNoComment)
{
    ASSERT_TRUE(WriteAll(music + "/Odd/#1 hit.mp3", "x"));
    ASSERT_TRUE(WriteAll(music + "/Odd/two\nlines.mp3", "x"));
    const QString out = music + "/Odd/odd.m3u";
    QByteArray err;
    EXPECT_EQ(RunProgram(BuiltAppDir() + "/tunora-cli", {"playlist", "--output", out, music + "/Odd"}, nullptr, &err), 1);
    EXPECT_EQ(ReadAll(out), "./#1 hit.mp3\r\n");
    EXPECT_TRUE(err.contains("two\xE2\x90\xA4lines.mp3")) << err.toStdString();
}
