#include "shell/core/Language.h"

#include "tests/shell/LanguageFiles.h"

#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

TEST(ParseLanguageFile, BlankAndShortLinesAreNotTexts)
{
    QByteArray bytes = LanguageFileBytes("Txt");
    // Blank lines and lines of one or two characters anywhere, also in the middle of the file.
    bytes.prepend("\r\n  \r\nab\r\n");
    bytes.insert(bytes.indexOf("050 "), "x\r\n   \r\n  12  \r\n");
    bytes.append("\r\nz");
    const QStringList texts = ParseLanguageFile(bytes);
    ASSERT_EQ(texts.size(), kLanguageTextCount);
    EXPECT_EQ(texts.first(), "Txt 0");
    EXPECT_EQ(texts.at(50), "Txt 50");
    EXPECT_EQ(texts.last(), "Txt 177");
}

TEST(ParseLanguageFile, PrefixIsSkippedUninterpreted)
{
    // Three digits, two spaces, a word and trailing spaces give the word alone.
    EXPECT_EQ(ParseLanguageFile("123  word  \r\n"), QStringList {"word"});
    // The prefix is any three characters; a line of exactly three characters is an empty text.
    EXPECT_EQ(ParseLanguageFile("abcText\n  xyz  \n"), (QStringList {"Text", ""}));
    // Lines end in CR LF or LF alone.
    EXPECT_EQ(ParseLanguageFile("001 a\n002 b\r\n003 c"), (QStringList {"a", "b", "c"}));
}

TEST(ParseLanguageFile, InvalidUtf8IsReadAsWindows1252)
{
    EXPECT_EQ(ParseLanguageFile("001 Caf\xe9 \x80\r\n"), QStringList {QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac")});
    EXPECT_EQ(ParseLanguageFile("001 Caf\xc3\xa9\r\n"), QStringList {QString::fromUtf8("Caf\xc3\xa9")});
}

TEST(ParseLanguageFile, WrongCountsAreVisible)
{
    EXPECT_EQ(ParseLanguageFile(LanguageFileBytes("T", 177)).size(), 177);
    EXPECT_EQ(ParseLanguageFile(LanguageFileBytes("T", 179)).size(), 179);
}
