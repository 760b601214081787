#include "shell/core/Shared.h"

#include <gtest/gtest.h>

using namespace tunora;

TEST(FillPattern, ReplacesInOrderAndCleans)
{
    EXPECT_EQ(FillPattern("[%6]%1 - %3 - %2", " A ", "B/C", 7, "D?", "2001", "Rock"), "[07]A - BC - D");
    EXPECT_EQ(FillPattern("  plain name  ", "A", "B", 1, "T", "Y", "G"), "plain name");
    // An artist that holds a later placeholder is replaced again.
    EXPECT_EQ(FillPattern("%1", "%2", "", 0, "Title", "", ""), "Title");
}

TEST(RelativePath, SlashPaths)
{
    EXPECT_EQ(RelativePath("/Music/Rock/SP/01.mp3", "/Music/Lists"), "../Rock/SP/01.mp3");
    EXPECT_EQ(RelativePath("/Music/Lists/a.mp3", "/Music/Lists"), "a.mp3");
    EXPECT_EQ(RelativePath("/Music/Lists/a.mp3", "/Music/Lists/"), "a.mp3");
    EXPECT_EQ(RelativePath("", "/x"), "");
}

TEST(SortListBox, OrdinalAndStable)
{
    QStringList l {"b", "B", "a"};
    QList<qint64> d {1, 2, 3};
    EXPECT_TRUE(SortListBox(l, &d));
    EXPECT_EQ(l, (QStringList {"B", "a", "b"}));
    EXPECT_EQ(d, (QList<qint64> {2, 3, 1}));
}
