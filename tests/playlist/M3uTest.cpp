#include "playlist/M3u.h"

#include <gtest/gtest.h>

using namespace tunora;

TEST(M3u, LinesAreRelativeToThePlaylistFolder)
{
    const QString d = "/Music/Lists";
    const QStringList files {"/Music/Lists/a.mp3", "/Music/Rock/SP/01.mp3", "/Music/01.mp3", "/Other/x.mp3",
                             "/music/lists/Case.mp3", "/Music/Lists/Sub/b.ogg"};
    EXPECT_EQ(M3uText(files, d), "a.mp3\r\n"
                                 "../Rock/SP/01.mp3\r\n"
                                 "../01.mp3\r\n"
                                 "../../Other/x.mp3\r\n"
                                 "../../music/lists/Case.mp3\r\n" // another folder than /Music/Lists
                                 "Sub/b.ogg\r\n");
    // A final "/" on the folder changes nothing; the root as the playlist folder.
    EXPECT_EQ(M3uText(files, d + "/"), M3uText(files, d));
    EXPECT_EQ(M3uText({"/Music/01.mp3"}, "/"), "Music/01.mp3\r\n");
}

TEST(M3u, DuplicatesEmptyListAndUtf8)
{
    EXPECT_EQ(M3uText({"/m/a.mp3", "/m/a.mp3"}, "/m"), "a.mp3\r\na.mp3\r\n");
    EXPECT_EQ(M3uText({}, "/m"), "");
    // UTF-8 without a byte-order mark.
    EXPECT_EQ(M3uText({"/m/Été.mp3"}, "/m"), QByteArray("\xC3\x89t\xC3\xA9.mp3\r\n"));
}

TEST(M3u, StepSeesEachEntryAndCanStop)
{
    QStringList seen;
    QByteArray bytes = "untouched";
    const bool done = BuildM3u({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}, "/m", &bytes, [&](const QString& f) {
        seen << f;
        return seen.size() < 2;
    });
    EXPECT_FALSE(done);
    EXPECT_EQ(seen, (QStringList {"/m/a.mp3", "/m/b.mp3"}));
    EXPECT_EQ(bytes, "untouched");
}

TEST(M3u, PlaylistPathTrimsTheName)
{
    EXPECT_EQ(PlaylistPath("/m/Lists", "  My list  "), "/m/Lists/My list.m3u");
    EXPECT_EQ(PlaylistPath("/", "x"), "/x.m3u");
    for (const char* name : {"My list", " a..b ", ".hidden", "#1"})
        EXPECT_TRUE(IsPlaylistName(name)) << name;
    for (const char* name : {"", "  ", "../x", "a/b", "/", ".", "..", " ... "})
        EXPECT_FALSE(IsPlaylistName(name)) << name;
}

TEST(M3u, LineBreaksAreLeftOutAndAHashIsNoComment)
{
    QStringList leftOut;
    const QStringList files {"/m/#1 hit.mp3", "/m/a\nb.mp3", "/m/sub/#2.mp3", "/m/c\r.mp3", "/m/x#.mp3", "/#top.mp3"};
    EXPECT_EQ(M3uText(files, "/m", &leftOut), "./#1 hit.mp3\r\n"
                                              "sub/#2.mp3\r\n"
                                              "x#.mp3\r\n"
                                              "../#top.mp3\r\n");
    EXPECT_EQ(leftOut, (QStringList {"/m/a\nb.mp3", "/m/c\r.mp3"}));
    EXPECT_TRUE(LeftOutMessage(leftOut).contains("/m/a\u2424b.mp3"));
}
