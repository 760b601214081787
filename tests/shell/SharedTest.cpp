#include "shell/core/Shared.h"

#include "dorvane/FileIo.h"
#include "shell/core/AppState.h"
#include "shell/core/Language.h"
#include "shell/core/ServicePace.h"

#include "tests/common/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <random>
#include <sys/stat.h>

using namespace tunora;
using namespace tunora::test;

TEST(FillPattern, ReplacesInOrderAndCleans)
{
    EXPECT_EQ(FillPattern("[%6]%1 - %3 - %2", " A ", "B/C", 7, "D?", "2001", "Rock"), "[07]A - BC - D");
    EXPECT_EQ(FillPattern("  plain: name  ", "A", "B", 1, "T", "Y", "G"), "plain name");
    // Each placeholder is replaced once: a value that holds one stays text.
    EXPECT_EQ(FillPattern("%1", "%2", "", 0, "Title", "", ""), "%2");
    EXPECT_EQ(FillPattern("%2", "Artist", "", 0, "%1", "", ""), "%1");
    EXPECT_EQ(FillPattern("%3 %6", "", "%6%", 4, "", "", ""), "%6% 04");
    // Other "%" and a "%7" or "%0" are text; "%12" is the artist then "2".
    EXPECT_EQ(FillPattern("100% %7%0 %12", "A", "", 0, "", "", ""), "100% %7%0 A2");
    // Year and genre keep their spaces inside the name; only the ends are trimmed.
    EXPECT_EQ(FillPattern("%4|%5", "", "", 0, "", " 1999 ", " Pop "), "1999  Pop");
    EXPECT_EQ(FillPattern("%6", "", "", 0, "", "", ""), "00");
    EXPECT_EQ(FillPattern("%6", "", "", 12, "", "", ""), "12");
    EXPECT_EQ(FillPattern("%6", "", "", 123, "", "", ""), "123");
    EXPECT_EQ(FillPattern("%1 - %3 - %6 - %2", "Artist", "Album", 1, "Track01", "2024", "Genre"),
              "Artist - Album - 01 - Track01");
}

TEST(CleanFileName, RemovesForbiddenCharactersAndTrimsSpaces)
{
    EXPECT_EQ(CleanFileName("  AC/DC: Live?  "), "ACDC Live");
    EXPECT_EQ(CleanFileName("a\\b*c\"d<e>f|g"), "abcdefg");
    EXPECT_EQ(CleanFileName(" / "), "");
    // A name never hides (leading dot), ends in a dot or space, or holds a control character.
    EXPECT_EQ(CleanFileName(" ..x.y. "), "x.y");
    EXPECT_EQ(CleanFileName(". . .mp3"), "mp3");
    EXPECT_EQ(CleanFileName(QString("Line\nbreak\tand\x7f\r") + QChar(0) + "null.mp3"), "Linebreakandnull.mp3");
    EXPECT_EQ(CleanFileName(QString::fromUtf8("Caf\xc3\xa9 \xe2\x80\xa6")), QString::fromUtf8("Caf\xc3\xa9 \xe2\x80\xa6"));
}

TEST(CleanFileName, LongNamesAreCutTo255BytesKeepingTheExtension)
{
    const QString e = QString::fromUtf8("\xc3\xa9");      // 2 bytes in UTF-8
    const QString ji = QString::fromUtf8("\xe5\xa4\x9c");  // 3 bytes
    const QString clef = QString::fromUtf8("\xf0\x9d\x84\x9e"); // 4 bytes, two UTF-16 units
    struct Row {
        QString name;
        QString expected;
    } rows[] = {
        {QString(255, 'a'), QString(255, 'a')},
        {QString(300, 'a'), QString(255, 'a')},
        {QString(300, 'a') + ".mp3", QString(251, 'a') + ".mp3"},
        {e.repeated(200) + ".mp3", e.repeated(125) + ".mp3"}, // 250 + 4 bytes: the next would be 256
        {ji.repeated(100) + ".m3u", ji.repeated(83) + ".m3u"},
        {clef.repeated(70) + ".mp3", clef.repeated(62) + ".mp3"},
        // The cut leaves no trailing space or dot before the extension.
        {QString(250, 'a') + " . b.mp3", QString(250, 'a') + ".mp3"},
        // A "dot" part with spaces or too long is no extension: the end is cut.
        {QString(300, 'a') + ". Part Two", QString(255, 'a')},
    };
    for (const Row& row : rows) {
        const QString got = CleanFileName(row.name);
        EXPECT_EQ(got, row.expected) << row.name.size();
        EXPECT_LE(got.toUtf8().size(), 255);
    }
    // Apply's names: the extension added to a clean stem always fits.
    EXPECT_EQ(FileNameWithExtension(e.repeated(127), "mp3"), e.repeated(125) + ".mp3");
    EXPECT_EQ(FileNameWithExtension("Title", "m3u"), "Title.m3u");
    EXPECT_EQ(FileNameWithExtension("", "mp3"), ".mp3"); // left for apply to refuse
}

TEST(RelativePath, SlashPaths)
{
    EXPECT_EQ(RelativePath("/Music/B/x.mp3", "/Music/A"), "../B/x.mp3");
    EXPECT_EQ(RelativePath("/Music/A/x.mp3", "/Music/A"), "x.mp3");
    EXPECT_EQ(RelativePath("/Music/A/x.mp3", "/Music/A/"), "x.mp3");
    EXPECT_EQ(RelativePath("/Music/Rock/SP/01.mp3", "/Music/Lists/Deep"), "../../Rock/SP/01.mp3");
    // Folders differ in letter case: "/music" is another folder than "/Music".
    EXPECT_EQ(RelativePath("/music/a/x.mp3", "/Music/A"), "../../music/a/x.mp3");
    EXPECT_EQ(RelativePath("/Music/a/x.mp3", "/Music/A"), "../a/x.mp3");
    // A file above the base.
    EXPECT_EQ(RelativePath("/Music/x.mp3", "/Music/A/B"), "../../x.mp3");
    // Relative paths with nothing in common are rebuilt whole.
    EXPECT_EQ(RelativePath("Music/x.mp3", "Lists"), "Music/x.mp3");
    EXPECT_EQ(RelativePath("", "/x"), "");
    EXPECT_EQ(RelativePath("/x/y.mp3", ""), "");
}

TEST(IsFourDigitYear, OnlyPlainFourDigitNumbers)
{
    EXPECT_TRUE(IsFourDigitYear("1999"));
    EXPECT_TRUE(IsFourDigitYear("2024"));
    for (const char* no : {"0999", "19a9", " 199", "199 ", "199", "19999", "+999", "", "-999"})
        EXPECT_FALSE(IsFourDigitYear(QString::fromLatin1(no))) << no;
}

TEST(NumericValue, LeadingNumberOnly)
{
    EXPECT_EQ(NumericValue(" 8080 "), 8080);
    EXPECT_EQ(NumericValue("80abc"), 80);
    EXPECT_EQ(NumericValue("abc"), 0);
    EXPECT_EQ(NumericValue(""), 0);
    EXPECT_EQ(NumericValue("-12"), -12);
    EXPECT_EQ(NumericValue("99999999999999999999999"), std::numeric_limits<qint64>::max());
}

TEST(ComboSearch, TrimsInPlaceAndIgnoresCase)
{
    const QStringList entries {"FreeDB one", "Other", "freedb two", "Ümlaut"};
    QString t = "  other ";
    EXPECT_TRUE(ComboContains(t, entries));
    EXPECT_EQ(t, "other");
    t = "Oth";
    EXPECT_FALSE(ListContains(t, entries));
    t = "ümlaut";
    EXPECT_TRUE(ListContains(t, entries));

    t = " freedb ";
    EXPECT_EQ(FindComboPrefix(t, entries), 0);
    EXPECT_EQ(t, "freedb");
    t = "FREEDB T";
    EXPECT_EQ(FindComboPrefix(t, entries), 2);
    // An entry shorter than the text never matches; no match selects the first entry.
    t = "Other and more";
    EXPECT_EQ(FindComboPrefix(t, entries), 0);
    t = "zzz";
    EXPECT_EQ(FindComboPrefix(t, entries), 0);
    t = "";
    EXPECT_EQ(FindComboPrefix(t, entries), 0);
}

TEST(ListItemSelected, NeedsAnEqualSelectedEntry)
{
    const QStringList entries {"a.mp3", "B.mp3", "b.mp3"};
    QString t = " b.MP3 ";
    EXPECT_TRUE(ListItemSelected(t, entries, {false, false, true}));
    EXPECT_EQ(t, "b.MP3");
    EXPECT_TRUE(ListItemSelected(t, entries, {false, true, false}));
    EXPECT_FALSE(ListItemSelected(t, entries, {true, false, false}));
    EXPECT_FALSE(ListItemSelected(t, entries, {}));
}

TEST(SortListBox, OrdinalAndStable)
{
    QStringList l {"b", "B", "a"};
    QList<qint64> d {1, 2, 3};
    EXPECT_TRUE(SortListBox(l, &d));
    EXPECT_EQ(l, (QStringList {"B", "a", "b"}));
    EXPECT_EQ(d, (QList<qint64> {2, 3, 1}));

    QStringList empty;
    EXPECT_TRUE(SortListBox(empty));
    QStringList one {"x"};
    EXPECT_TRUE(SortListBox(one));
    EXPECT_EQ(one, QStringList {"x"});
}

TEST(SortListBox, MatchesAStableSortOnManyEntries)
{
    std::mt19937 rng(7);
    QStringList l;
    QList<qint64> d;
    for (int i = 0; i < 5000; ++i) {
        // Few distinct names, so equal entries must keep their order.
        l << QStringLiteral("%1%2").arg(QChar('A' + static_cast<int>(rng() % 3))).arg(rng() % 40);
        d << i;
    }
    QList<QPair<QString, qint64>> expected;
    for (int i = 0; i < l.size(); ++i)
        expected << qMakePair(l.at(i), d.at(i));
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return QString::compare(a.first, b.first) < 0; });
    ASSERT_TRUE(SortListBox(l, &d));
    for (int i = 0; i < l.size(); ++i) {
        ASSERT_EQ(l.at(i), expected.at(i).first) << i;
        ASSERT_EQ(d.at(i), expected.at(i).second) << i;
    }
}

TEST(SortListBox, CancelLeavesAWholePermutation)
{
    QStringList l;
    for (int i = 0; i < 50000; ++i)
        l << QString::number((i * 7919) % 50000);
    const QStringList original = l;
    SetCancelRequested(false);
    // The cancel button is pressed while the sort yields.
    QTimer::singleShot(0, [] { SetCancelRequested(true); });
    EXPECT_FALSE(SortListBox(l));
    SetCancelRequested(false);
    EXPECT_NE(l, original);
    QStringList a = l, b = original;
    a.sort();
    b.sort();
    EXPECT_EQ(a, b);
    QStringList sorted = original;
    std::stable_sort(sorted.begin(), sorted.end());
    EXPECT_NE(l, sorted);
}

// A text table whose texts name their own number, with placeholders where the program fills them.
static void useNumberedTexts()
{
    QStringList t;
    for (int i = 0; i < kLanguageTextCount; ++i)
        t << QStringLiteral("T%1").arg(i);
    t[169] = "Cannot rename %%FIC%%";
    LanguageTable() = t;
}

class FileOps : public ::testing::Test {
protected:
    void SetUp() override { useNumberedTexts(); }
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.path() + "/" + name; }
};

TEST_F(FileOps, RenameNeverReplacesAnExistingFile)
{
    ASSERT_TRUE(WriteAll(path("a.mp3"), "AAA"));
    ASSERT_TRUE(WriteAll(path("b.mp3"), "BBB"));
    QString why;
    EXPECT_FALSE(RenameNoReplace(path("a.mp3"), path("b.mp3"), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(ReadAll(path("a.mp3")), "AAA");
    EXPECT_EQ(ReadAll(path("b.mp3")), "BBB");

    EXPECT_TRUE(RenameNoReplace(path("a.mp3"), path("c.mp3")));
    EXPECT_FALSE(QFile::exists(path("a.mp3")));
    EXPECT_EQ(ReadAll(path("c.mp3")), "AAA");
    // A missing source fails.
    EXPECT_FALSE(RenameNoReplace(path("nothing.mp3"), path("d.mp3")));
}

TEST_F(FileOps, CaseOnlyRenameWorks)
{
    ASSERT_TRUE(WriteAll(path("song.mp3"), "S"));
    EXPECT_TRUE(RenameNoReplace(path("song.mp3"), path("Song.MP3")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"Song.MP3"});
    // The same name renames to itself.
    EXPECT_TRUE(RenameNoReplace(path("Song.MP3"), path("Song.MP3")));
}

TEST_F(FileOps, CaseOnlyRenameDoesNotReplaceAnotherNameOfTheSameFile)
{
    // Two names of one file that differ in case are distinct names here: neither replaces the other.
    ASSERT_TRUE(WriteAll(path("x.mp3"), "X"));
    ASSERT_EQ(::link(QFile::encodeName(path("x.mp3")).constData(), QFile::encodeName(path("X.mp3")).constData()), 0);
    EXPECT_FALSE(RenameNoReplace(path("x.mp3"), path("X.mp3")));
    QStringList names = QDir(dir.path()).entryList(QDir::Files);
    names.sort();
    EXPECT_EQ(names, (QStringList {"X.mp3", "x.mp3"}));
}

TEST_F(FileOps, RenameFileReportingShowsText169WithTheOldPath)
{
    ScriptedMessages messages;
    ASSERT_TRUE(WriteAll(path("a.mp3"), "A"));
    ASSERT_TRUE(WriteAll(path("b.mp3"), "B"));
    EXPECT_FALSE(RenameFileReporting(path("a.mp3"), path("b.mp3")));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts.first(), "Cannot rename " + path("a.mp3"));
    EXPECT_TRUE(RenameFileReporting(path("a.mp3"), path("c.mp3")));
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(FileOps, AtomicWriteKeepsPermissionsAndLeavesNoTemporaryFile)
{
    const QString p = path("list.m3u");
    ASSERT_TRUE(WriteAll(p, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0640), 0);
    QString why;
    ASSERT_TRUE(WriteFileAtomically(p, "new contents", &why)) << why.toStdString();
    EXPECT_EQ(ReadAll(p), "new contents");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(p).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"list.m3u"});
}

TEST_F(FileOps, AtomicWriteFailureLeavesTheOriginal)
{
    const QString p = path("keep.txt");
    ASSERT_TRUE(WriteAll(p, "original"));
    QString why;
    // Not replacing an existing file.
    EXPECT_FALSE(WriteFileAtomically(p, "other", &why, false));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(ReadAll(p), "original");
    // A folder in the way cannot be replaced by a file.
    ASSERT_TRUE(QDir().mkpath(path("folder/inner")));
    EXPECT_FALSE(WriteFileAtomically(path("folder"), "x", &why));
    EXPECT_TRUE(QFileInfo(path("folder/inner")).isDir());
    // A missing folder.
    EXPECT_FALSE(WriteFileAtomically(path("none/x.txt"), "x", &why));
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList {"keep.txt"});
    // A new file is created when replace is off.
    EXPECT_TRUE(WriteFileAtomically(path("fresh.txt"), "f", &why, false));
    EXPECT_EQ(ReadAll(path("fresh.txt")), "f");
}

TEST_F(FileOps, AStreamedWriteAppearsWholeOrNotAtAll)
{
    const QString p = path("setup.sh");
    ASSERT_TRUE(WriteAll(p, "old installer"));
    {
        // Cut off halfway (a cancelled download): the old file stays, no temporary is left.
        dorvane::io::AtomicWriter out;
        ASSERT_TRUE(out.open(p));
        ASSERT_TRUE(out.write("new ", 4));
    }
    EXPECT_EQ(ReadAll(p), "old installer");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"setup.sh"});

    dorvane::io::AtomicWriter out;
    ASSERT_TRUE(out.open(p));
    ASSERT_TRUE(out.write("new ", 4) && out.write("installer", 9));
    ASSERT_TRUE(out.commit()) << out.errorString().toStdString();
    EXPECT_EQ(ReadAll(p), "new installer");
    EXPECT_FALSE(out.write("x", 1)); // committed: nothing more goes in
    EXPECT_FALSE(out.open(path("none/x.sh")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"setup.sh"});
}

TEST_F(FileOps, AtomicWriteThroughASymlinkKeepsTheLink)
{
    const QString target = path("real.m3u");
    ASSERT_TRUE(WriteAll(target, "old"));
    ASSERT_TRUE(QFile::link(target, path("link.m3u")));
    ASSERT_TRUE(WriteFileAtomically(path("link.m3u"), "new"));
    EXPECT_TRUE(QFileInfo(path("link.m3u")).isSymLink());
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(DecodeText, Utf8ElseWindows1252)
{
    EXPECT_EQ(DecodeText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(DecodeText("caf\xe9 \x80"), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"));
    EXPECT_EQ(DecodeText("\xef\xbb\xbfx"), "x");
}

TEST(RetryAfter, SecondsOrAnHttpDate)
{
    const QByteArray inTen = QDateTime::currentDateTimeUtc().addSecs(10).toString(
        QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
    const qint64 dated = RetryAfterMs(inTen, 2000);
    EXPECT_GT(dated, 8000);
    EXPECT_LE(dated, 10000);
    const struct {
        const char* value;
        qint64 ms;
    } rows[] = {
        {"", 2000}, {" 3 ", 3000}, {"-1", 2000}, {"soon", 2000}, {"120", 120000},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0}, // a date gone by: at once
        {"99999999999", qint64(1000000) * 1000},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RetryAfterMs(row.value, 2000), row.ms) << row.value;
}

TEST(FileNames, AnyBytesComeBackAndShowAsWindows1252)
{
    using dorvane::io::DecodeName, dorvane::io::DisplayName, dorvane::io::EncodeName;
    const auto esc = [](unsigned char b) { return QChar(char16_t(0xDC00 + b)); };
    struct Row {
        QByteArray bytes;
        QString decoded, shown;
    } rows[] = {
        {"caf\xc3\xa9", QString::fromUtf8("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9")}, // valid UTF-8 as it is
        {"caf\xe9", "caf" + QString(esc(0xe9)), QString::fromUtf8("caf\xc3\xa9")},              // Latin-1
        {"\x80\x9f", QString(esc(0x80)) + esc(0x9f), QString::fromUtf8("\xe2\x82\xac\xc5\xb8")}, // 0x80-0x9F: "€Ÿ"
        {"\xc0\xaf", QString(esc(0xc0)) + esc(0xaf), QString::fromUtf8("\xc3\x80\xc2\xaf")},     // overlong "/"
        {"\xed\xb3\xa9", QString(esc(0xed)) + esc(0xb3) + esc(0xa9),
         QString::fromUtf8("\xc3\xad\xc2\xb3\xc2\xa9")},                                          // a surrogate's UTF-8
        {"\xe2\x82x", QString(esc(0xe2)) + esc(0x82) + "x", QString::fromUtf8("\xc3\xa2\xe2\x80\x9ax")}, // cut short
        {"\xf4\x90\x80\x80", QString(esc(0xf4)) + esc(0x90) + esc(0x80) + esc(0x80),
         QString::fromUtf8("\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac")},                    // past U+10FFFF
        {"\xf0\x9f\x8e\xb5\xc3\xa9\xe9", QString::fromUtf8("\xf0\x9f\x8e\xb5\xc3\xa9") + esc(0xe9),
         QString::fromUtf8("\xf0\x9f\x8e\xb5\xc3\xa9\xc3\xa9")},                                 // mixed
    };
    for (const Row& r : rows) {
        EXPECT_EQ(DecodeName(r.bytes), r.decoded) << r.bytes.toHex().constData();
        EXPECT_EQ(EncodeName(DecodeName(r.bytes)), r.bytes) << r.bytes.toHex().constData();
        EXPECT_EQ(DisplayName(DecodeName(r.bytes)), r.shown) << r.bytes.toHex().constData();
    }
    // Messages and the status line tell such a name as the lists show it.
    ScriptedMessages messages;
    ShowMessage("cannot rename " + DecodeName("caf\xe9"));
    EXPECT_EQ(messages.texts, QStringList {QString::fromUtf8("cannot rename caf\xc3\xa9")});
    SetStatusText(DecodeName("\x80"));
    EXPECT_EQ(AppState::instance().statusText(), QString::fromUtf8("\xe2\x82\xac"));
}

TEST(BusyAndStatus, FlagsAndCancelMessage)
{
    useNumberedTexts();
    ScriptedMessages messages;
    SetBusy(true);
    EXPECT_TRUE(IsBusy());
    SetBusy(false);
    EXPECT_FALSE(IsBusy());
    SetStatusText("working");
    ReportCancelled();
    EXPECT_EQ(AppState::instance().statusText(), "");
    EXPECT_EQ(messages.texts, QStringList {"T177"});
}

TEST(AppFolder, NoTrailingSlash)
{
    const QByteArray old = qgetenv("TUNORA_APP_FOLDER");
    qputenv("TUNORA_APP_FOLDER", " /opt/tunora/ ");
    EXPECT_EQ(AppFolder(), "/opt/tunora");
    EXPECT_EQ(AppFile("english.lf"), "/opt/tunora/english.lf");
    // A program at the root of the file system: the folder is empty and paths still start at "/".
    qputenv("TUNORA_APP_FOLDER", "/");
    EXPECT_EQ(AppFolder(), "");
    EXPECT_EQ(AppFile("styles.dat"), "/styles.dat");
    if (old.isNull())
        qunsetenv("TUNORA_APP_FOLDER");
    else
        qputenv("TUNORA_APP_FOLDER", old);
}
