// The settings store behind the registry operations: values, keys, the file's syntax, broken
// files, and several writers at once.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileIo.h"
#include "dorvane/RegStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using dorvane::Dorvanectrl;
using dorvane::StoreNotice;
namespace store = dorvane::store;

namespace {

const QString kTunora = QStringLiteral("Software\\Veldmark Corp.\\Tunora");
const QString kTestPath = QStringLiteral("Software\\Veldmark Corp.\\StoreTest");
constexpr qint32 kLocalMachine = 0x80000002;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        regPath = dir.path() + "/config/tunora/registry.reg";
        oldEnv = qgetenv("TUNORA_REGISTRY");
        qputenv("TUNORA_REGISTRY", QFile::encodeName(regPath));
        oldHandler = Dorvanectrl::SetStoreNoticeHandler([this](const StoreNotice& n) { notices.append(n); });
    }
    void TearDown() override
    {
        Dorvanectrl::SetStoreNoticeHandler(oldHandler);
        if (oldEnv.isNull())
            qunsetenv("TUNORA_REGISTRY");
        else
            qputenv("TUNORA_REGISTRY", oldEnv);
    }
    int count(StoreNotice::Kind kind) const
    {
        int n = 0;
        for (const StoreNotice& s : notices)
            n += s.kind == kind;
        return n;
    }
    QStringList brokenCopies() const
    {
        return QDir(QFileInfo(regPath).absolutePath()).entryList({"registry.reg.broken-*"}, QDir::Files);
    }

    QTemporaryDir dir;
    QString regPath;
    QByteArray oldEnv;
    dorvane::StoreNoticeHandler oldHandler;
    QList<StoreNotice> notices;
    Dorvanectrl ctl;
};

TEST_F(StoreTest, ReadingAbsentValuesAnswersEmptyAndCreatesNothing)
{
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Never"), "");
    EXPECT_EQ(ctl.RegistryRead(2, "No\\Such\\Path", ""), "");
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config"));

    // With a file present, a read of a missing key leaves it byte for byte and adds no lock file.
    ctl.RegistryWrite(2, kTunora, "Lang", "French");
    const QByteArray before = readFile(regPath);
    const QStringList filesBefore = QDir(QFileInfo(regPath).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora + "\\Deeper\\Still", "Lang"), "");
    EXPECT_EQ(ctl.RegOpenKey(kLocalMachine, kTunora + "\\Deeper"), 0);
    EXPECT_EQ(readFile(regPath), before);
    EXPECT_EQ(QDir(QFileInfo(regPath).absolutePath()).entryList(QDir::Files), filesBefore);
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(StoreTest, TextValuesRoundTrip)
{
    const QStringList samples = {
        "abc",
        "",
        QString::fromUtf8("Café, Ωμέγα, 東京, 🎵"),
        R"(C:\Music\"Best of"\ \\server\share\)",
        "  spaces kept  ",
        "two\nlines\r\nand a tab\t",
        "=[HKEY_LOCAL_MACHINE\\x]\n\"a\"=\"b\"",
    };
    for (qsizetype i = 0; i < samples.size(); ++i)
        ctl.RegistryWrite(2, kTunora, "Value" + QString::number(i), samples.at(i));
    Dorvanectrl other; // nothing is held in the instance
    for (qsizetype i = 0; i < samples.size(); ++i)
        EXPECT_EQ(other.RegistryRead(2, kTunora, "Value" + QString::number(i)), samples.at(i)) << i;
    const QByteArray file = readFile(regPath);
    EXPECT_TRUE(file.startsWith("REGEDIT4\n"));
    EXPECT_TRUE(file.contains("[HKEY_LOCAL_MACHINE\\Software\\Veldmark Corp.\\Tunora]\n")) << file.constData();
    EXPECT_TRUE(file.contains("\"Value0\"=\"abc\"\n"));
    EXPECT_TRUE(file.contains("\"Value1\"=\"\"\n"));
    EXPECT_TRUE(file.contains(QString::fromUtf8("\"Value2\"=\"Café, Ωμέγα, 東京, 🎵\"\n").toUtf8()));
    EXPECT_TRUE(file.contains(R"("Value3"="C:\\Music\\\"Best of\"\\ \\\\server\\share\\")"));
    // Text over several lines keeps its bytes as a string-typed hex value.
    EXPECT_TRUE(file.contains("\"Value5\"=hex(1):74,77,6f,0a")) << file.constData();
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(StoreTest, OverwriteAndNamesIgnoreCaseButRootsAreSeparate)
{
    ctl.RegistryWrite(2, kTunora, "Proxy", "one");
    ctl.RegistryWrite(2, kTunora.toUpper(), "PROXY", "two");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora.toLower(), "proxy"), "two");
    EXPECT_EQ(readFile(regPath).count("roxy\"="), 1);
    EXPECT_EQ(ctl.RegistryRead(1, kTunora, "Proxy"), "");
    ctl.RegistryWrite(1, kTunora, "Proxy", "user");
    EXPECT_EQ(ctl.RegistryRead(1, kTunora, "Proxy"), "user");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Proxy"), "two");
    EXPECT_EQ(ctl.RegistryRead(3, kTunora, "Proxy"), "");
}

TEST_F(StoreTest, EmbeddedNulCutsTheText)
{
    ctl.RegistryWrite(2, kTunora, "Nul", QString::fromUtf16(u"ab\0cd", 5));
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Nul"), "ab");
    EXPECT_TRUE(readFile(regPath).contains("\"Nul\"=hex(1):61,62,00,63,64")) << readFile(regPath).constData();
    EXPECT_EQ(ctl.StripTerminator(QString::fromUtf16(u"x\0y", 3)), "x");
    EXPECT_EQ(ctl.StripTerminator("whole"), "whole");
}

TEST_F(StoreTest, OnlyTextValuesAreRead)
{
    ctl.RegistryWriteBin(2, kTunora, "Bin", "abc");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Bin"), "");
    EXPECT_TRUE(readFile(regPath).contains("\"Bin\"=hex:61,62,63\n"));

    writeFile(regPath, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veldmark Corp.\\Tunora]\n"
                       "\"Count\"=dword:0000002a\n\"Path\"=hex(2):25,00\n\"Text\"=\"ok\"\n");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Count"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Path"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Text"), "ok");
    const qint32 key = ctl.RegOpenKey(kLocalMachine, kTunora);
    ASSERT_NE(key, 0);
    EXPECT_TRUE(ctl.RegQueryStringValue(key, "Count").isNull());
    EXPECT_EQ(ctl.RegQueryStringValue(key, "Text").toString(), "ok");
    ctl.RegCloseKey(key);
    EXPECT_TRUE(ctl.RegQueryStringValue(key, "Text").isNull()); // closed

    // Rewriting keeps the other types as they were.
    ctl.RegistryWrite(2, kTunora, "Text", "changed");
    EXPECT_TRUE(readFile(regPath).contains("\"Count\"=dword:0000002a\n"));
    EXPECT_TRUE(readFile(regPath).contains("\"Path\"=hex(2):25,00\n"));
}

TEST_F(StoreTest, WritingCreatesEveryMissingLevel)
{
    qint32 root = kLocalMachine;
    QString first = "Level1";
    ctl.savekey(root, first);
    EXPECT_NE(ctl.RegOpenKey(kLocalMachine, "Level1"), 0);
    EXPECT_EQ(ctl.RegOpenKey(kLocalMachine, "Level1\\Level2"), 0);

    ctl.RegistryWrite(2, "Level1\\Level2\\Level3", "v", "deep");
    EXPECT_NE(ctl.RegOpenKey(kLocalMachine, "level1\\LEVEL2"), 0);
    EXPECT_EQ(ctl.RegistryRead(2, "Level1\\Level2\\Level3", "v"), "deep");
    const QByteArray file = readFile(regPath);
    const qsizetype k1 = file.indexOf("[HKEY_LOCAL_MACHINE\\Level1]\n");
    const qsizetype k2 = file.indexOf("[HKEY_LOCAL_MACHINE\\Level1\\Level2]\n");
    const qsizetype k3 = file.indexOf("[HKEY_LOCAL_MACHINE\\Level1\\Level2\\Level3]\n");
    EXPECT_TRUE(k1 >= 0 && k2 > k1 && k3 > k2) << file.constData();
}

TEST_F(StoreTest, DeletingRemovesTheValueAndLeavesTheKey)
{
    ctl.RegistryWrite(2, kTunora, "Gone", "x");
    ctl.RegistryWrite(2, kTunora, "Kept", "y");
    EXPECT_EQ(ctl.RegistryDelete(2, kTunora, "gone"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Gone"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Kept"), "y");

    ctl.RegistryDelete(2, "Missing\\Path", "v");
    EXPECT_NE(ctl.RegOpenKey(kLocalMachine, "Missing\\Path"), 0);
    EXPECT_TRUE(readFile(regPath).contains("[HKEY_LOCAL_MACHINE\\Missing\\Path]\n"));
}

TEST_F(StoreTest, EmptyNameIsTheDefaultValue)
{
    ctl.RegistryWrite(0, "htmlfile\\shell\\open\\command", "", "/usr/bin/browser");
    ctl.RegistryWrite(0, "htmlfile\\shell\\open\\command", "Named", "other");
    EXPECT_EQ(ctl.RegistryRead(0, "htmlfile\\shell\\open\\command", ""), "/usr/bin/browser");
    EXPECT_TRUE(readFile(regPath).contains("[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n@=\"/usr/bin/browser\"\n"));
}

TEST_F(StoreTest, NegativeRootOverflowsWithoutTouchingTheStore)
{
    writeFile(regPath, "not a settings file");
    for (int op = 0; op < 4; ++op) {
        try {
            switch (op) {
            case 0: ctl.RegistryRead(-1, kTunora, "x"); break;
            case 1: ctl.RegistryWrite(-1, kTunora, "x", "y"); break;
            case 2: ctl.RegistryWriteBin(-5, kTunora, "x", "y"); break;
            default: ctl.RegistryDelete(-2147483647 - 1, kTunora, "x"); break;
            }
            ADD_FAILURE() << "operation " << op << " did not raise";
        } catch (const dorvane::RuntimeError& e) {
            EXPECT_EQ(e.number(), 6);
            EXPECT_STREQ(e.what(), "Overflow");
        }
    }
    EXPECT_EQ(readFile(regPath), "not a settings file");
    EXPECT_TRUE(notices.isEmpty()); // the file was never even looked at
    EXPECT_TRUE(brokenCopies().isEmpty());
}

TEST_F(StoreTest, LowLevelHandlesWorkBelowOpenedKeys)
{
    qint32 root = kLocalMachine;
    QString path = "Software";
    QString name = "Top";
    QString data = "at Software";
    ctl.savestring(root, path, name, data);
    const qint32 software = ctl.RegOpenKey(kLocalMachine, "Software");
    ASSERT_NE(software, 0);
    qint32 h = software;
    QString sub = "Veldmark Corp.\\Tunora";
    QString n2 = "Below";
    QString d2 = "relative";
    ctl.savestring(h, sub, n2, d2);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Below"), "relative");
    EXPECT_EQ(ctl.RegQueryStringValue(software, "Top").toString(), "at Software");
    QString n3 = "Bin";
    QString d3 = "zz";
    ctl.savestringBIN(h, sub, n3, d3);
    EXPECT_TRUE(readFile(regPath).contains("\"Bin\"=hex:7a,7a\n"));
    ctl.deletestring(h, sub, n2);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Below"), "");
    ctl.RegCloseKey(software);

    // A handle that names nothing writes nothing.
    qint32 bogus = 12345;
    ctl.savestring(bogus, sub, n2, d2);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Below"), "");
    qint32 beyond = qint32(0x80000000u + 9);
    ctl.savestring(beyond, sub, n2, d2);
    EXPECT_FALSE(readFile(regPath).contains("relative"));
    // Values at a root itself.
    ctl.RegistryWrite(1, "", "AtRoot", "r");
    EXPECT_EQ(ctl.RegQueryStringValue(qint32(0x80000001u), "AtRoot").toString(), "r");
}

TEST_F(StoreTest, HandWrittenFileIsRead)
{
    QByteArray text = "\xEF\xBB\xBFREGEDIT4\r\n"
                      "; settings copied from an older machine\r\n"
                      "\r\n"
                      "[hkey_local_machine\\Software\\Veldmark Corp.\\Tunora]\r\n"
                      "\"Lang\"=\"Fran\xC3\xA7" "ais\"\r\n"
                      "\"Quote\"=\"say \\\"hi\\\" to C:\\\\\"\r\n"
                      "@=\"default\"\r\n"
                      "\"Multi\"=hex(1):61,62,\\\r\n"
                      "  63,64\r\n"
                      "\"Spaced\" = \"around\"   \r\n"
                      "\"Removed\"=-\r\n"
                      "[HKEY_CURRENT_USER\\Software\\VSO]\r\n"
                      "\"CopyToDVD\"=\"/opt/burner/\"\r\n";
    writeFile(regPath, text);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), QString::fromUtf8("Français"));
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "quote"), R"(say "hi" to C:\)");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, ""), "default");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Multi"), "abcd");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Spaced"), "around");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Removed"), "");
    EXPECT_EQ(ctl.RegistryRead(1, "Software\\VSO", "CopyToDVD"), "/opt/burner/");
    EXPECT_TRUE(notices.isEmpty());

    // A legacy file in Windows-1252 reads as well.
    writeFile(regPath, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"N\"=\"Caf\xE9 \x80\"\n");
    EXPECT_EQ(ctl.RegistryRead(2, "A", "N"), QString::fromUtf8("Café €"));
}

TEST_F(StoreTest, DocumentSurvivesItsOwnSyntax)
{
    // Random names, texts and bytes of every type through serialize and parse.
    QRandomGenerator rng(1234);
    store::RegDocument doc;
    const QStringList alphabet = QString::fromUtf8("a Z 0 9 \\ \" = [ ] @ ; : . , - _ é 東 🎵 \t").split(' ');
    auto randomText = [&](int maxLen) {
        QString s;
        const int n = int(rng.bounded(maxLen + 1));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(rng.bounded(int(alphabet.size()))) + (rng.bounded(4) == 0 ? " " : "");
        return s;
    };
    for (int k = 0; k < 40; ++k) {
        QStringList path;
        for (int l = 0, n = 1 + int(rng.bounded(3)); l < n; ++l) {
            QString part = randomText(8).remove('\\').remove(QChar('\t'));
            path << (part.trimmed().isEmpty() ? "k" : part.trimmed());
        }
        store::RegKey& key = doc.createKey(int(rng.bounded(store::kRootCount)), path);
        for (int v = 0, n = int(rng.bounded(5)); v < n; ++v) {
            QByteArray data;
            for (int b = 0, m = int(rng.bounded(120)); b < m; ++b)
                data.append(char(rng.bounded(256)));
            const quint32 types[] = {1, 1, 2, 3, 4, 7, 11, 0};
            const quint32 type = types[rng.bounded(8)];
            if (type == store::REG_SZ && rng.bounded(2))
                data = randomText(30).toUtf8();
            key.setValue(v == 0 ? QString() : randomText(10), type, data);
        }
    }
    const QByteArray once = doc.Serialize();
    QString error;
    const auto back = store::RegDocument::Parse(once, &error);
    ASSERT_TRUE(back) << error.toStdString();
    const QByteArray twice = back->Serialize();
    if (twice != once) {
        const QList<QByteArray> a = once.split('\n'), b = twice.split('\n');
        for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
            if (a.at(i) != b.at(i)) {
                ADD_FAILURE() << "line " << i << ":\n" << a.mid(i - 3, 6).join('\n').constData() << "\n----\n" << b.mid(i - 3, 6).join('\n').constData();
                break;
            }
    }
    EXPECT_EQ(back->keyCount(), doc.keyCount());
}

TEST_F(StoreTest, BrokenFileIsLeftAloneOnReadAndMovedAsideOnWrite)
{
    const QByteArray broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Veldmark Corp.\\Tunora]\n\"Lang\"=\"French\n";
    writeFile(regPath, broken);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Other"), "");
    EXPECT_TRUE(Dorvanectrl::StoreUnreadable());
    EXPECT_EQ(count(StoreNotice::Unreadable), 1); // told once, not per read
    ASSERT_FALSE(notices.isEmpty());
    EXPECT_EQ(notices.first().path, regPath);
    EXPECT_TRUE(notices.first().detail.contains("line 3")) << notices.first().detail.toStdString();
    EXPECT_EQ(readFile(regPath), broken);
    EXPECT_TRUE(brokenCopies().isEmpty());

    ctl.RegistryWrite(2, kTunora, "Lang", "English");
    const QStringList copies = brokenCopies();
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(readFile(QFileInfo(regPath).absolutePath() + "/" + copies.first()), broken);
    EXPECT_EQ(count(StoreNotice::MovedAside), 1);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "English");
    EXPECT_FALSE(Dorvanectrl::StoreUnreadable());

    // A second broken file in the same second gets a name of its own.
    writeFile(regPath, "garbage");
    ctl.RegistryWrite(2, kTunora, "Lang", "German");
    EXPECT_EQ(brokenCopies().size(), 2);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "German");
}

TEST_F(StoreTest, BrokenForms)
{
    const char* const cases[] = {
        "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"y\"\n",          // no header
        "REGEDIT4\n\"x\"=\"y\"\n",                           // value outside a key
        "REGEDIT4\n[HKEY_NOWHERE\\A]\n",                     // unknown root
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n",          // empty key name
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:1g\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:00,\\",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"y\" trailing\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nloose text\n",
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n",
    };
    for (const char* c : cases)
        EXPECT_FALSE(store::RegDocument::Parse(c)) << c;
    EXPECT_TRUE(store::RegDocument::Parse(""));
    EXPECT_TRUE(store::RegDocument::Parse("REGEDIT4"));
}

TEST_F(StoreTest, SizeIsBoundedBeforeReading)
{
    const QString path = dir.path() + "/big";
    writeFile(path, QByteArray(5000, 'x'));
    QByteArray out;
    bool missing = true, tooBig = false;
    int err = 0;
    EXPECT_FALSE(dorvane::io::ReadSmallFile(path, 4999, &out, &missing, &tooBig, &err));
    EXPECT_TRUE(tooBig);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(dorvane::io::ReadSmallFile(path, 5000, &out, &missing, &tooBig, &err));
    EXPECT_EQ(out.size(), 5000);

    // A value that would make the file larger than a settings file may be is refused.
    ctl.RegistryWrite(2, kTunora, "Small", "kept");
    ctl.RegistryWrite(2, kTunora, "Huge", QString(int(store::kMaxStoreBytes) + 10, QChar('h')));
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Huge"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Small"), "kept");
    EXPECT_EQ(count(StoreNotice::WriteFailed), 1);
}

TEST_F(StoreTest, UnwritableStoreIsReportedNotClobbered)
{
    // The store's folder is a file: nothing can be written and the user hears of it once.
    writeFile(dir.path() + "/config/tunora", "a file where the folder should be");
    ctl.RegistryWrite(2, kTunora, "A", "1");
    ctl.RegistryWrite(2, kTunora, "B", "2");
    EXPECT_EQ(count(StoreNotice::WriteFailed), 1);
    EXPECT_EQ(readFile(dir.path() + "/config/tunora"), "a file where the folder should be");

    // A store path naming a folder is never replaced.
    QDir().remove(dir.path() + "/config/tunora");
    QDir().mkpath(regPath);
    ctl.RegistryWrite(2, kTunora, "A", "1");
    EXPECT_TRUE(QFileInfo(regPath).isDir());
    EXPECT_EQ(count(StoreNotice::WriteFailed), 2);
}

TEST_F(StoreTest, AFifoAtTheStorePathNeitherFreezesNorIsReplaced)
{
    QDir().mkpath(QFileInfo(regPath).absolutePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(regPath).constData(), 0600), 0);
    ::alarm(20); // a read that waits for a writer would hang here for good
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "");
    ctl.RegistryWrite(2, kTunora, "Lang", "English");
    ::alarm(0);
    EXPECT_EQ(count(StoreNotice::Unreadable), 1);
    EXPECT_EQ(count(StoreNotice::WriteFailed), 1);
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(regPath).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(StoreTest, ALockHeldTooLongFailsTheWriteAndIsReportedOnce)
{
    ctl.RegistryWrite(2, kTunora, "Before", "1");
    const int oldWait = store::SetLockWaitMs(300);
    // Another program that took the lock and hangs.
    const int held = ::open(QFile::encodeName(regPath + ".lock").constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ctl.RegistryWrite(2, kTunora, "A", "1");
    ctl.RegistryWrite(2, kTunora, "B", "2");
    EXPECT_EQ(count(StoreNotice::WriteFailed), 1);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "A"), "");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Before"), "1") << "reads never wait for the lock";
    ::close(held);
    ctl.RegistryWrite(2, kTunora, "C", "3");
    store::SetLockWaitMs(oldWait);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "C"), "3");
    EXPECT_EQ(count(StoreNotice::WriteFailed), 1);
}

TEST_F(StoreTest, LinkedStoreStaysALink)
{
    const QString real = dir.path() + "/dotfiles/registry.reg";
    QDir().mkpath(dir.path() + "/dotfiles");
    QDir().mkpath(QFileInfo(regPath).absolutePath());
    ASSERT_TRUE(QFile::link(real, regPath));
    ctl.RegistryWrite(2, kTunora, "Lang", "English");
    EXPECT_TRUE(QFileInfo(regPath).isSymLink());
    EXPECT_TRUE(readFile(real).contains("\"Lang\"=\"English\""));
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "English");
}

TEST_F(StoreTest, SeesChangesMadeByOthers)
{
    ctl.RegistryWrite(2, kTunora, "Lang", "English");
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "English");
    // Same size, edited in place by hand.
    QByteArray bytes = readFile(regPath);
    bytes.replace("English", "Spanish");
    QFile f(regPath);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(bytes);
    f.close();
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "Spanish");
    QFile::remove(regPath);
    EXPECT_EQ(ctl.RegistryRead(2, kTunora, "Lang"), "");
}

QString writerProgram()
{
    return QStringLiteral(DORVANE_STORE_WRITER);
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kEach = 500;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TUNORA_REGISTRY", regPath);
    QProcess a, b;
    a.setProcessEnvironment(env);
    b.setProcessEnvironment(env);
    a.start(writerProgram(), {"write", "a", QString::number(kEach)});
    b.start(writerProgram(), {"write", "b", QString::number(kEach)});
    ASSERT_TRUE(a.waitForStarted());
    ASSERT_TRUE(b.waitForStarted());
    // Whatever moment a reader picks, the file is whole.
    int looks = 0;
    while (a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) {
        const QByteArray now = readFile(regPath);
        if (!now.isEmpty()) {
            ++looks;
            QString error;
            ASSERT_TRUE(store::RegDocument::Parse(now, &error)) << error.toStdString();
        }
        a.waitForFinished(20);
        b.waitForFinished(20);
    }
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().constData();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().constData();
    EXPECT_GT(looks, 0);
    for (int i = 0; i < kEach; ++i) {
        for (const char* p : {"a", "b"}) {
            const QString name = p + QString::number(i);
            ASSERT_EQ(ctl.RegistryRead(2, kTestPath, name), "v-" + name) << name.toStdString();
        }
    }
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_TRUE(QDir(QFileInfo(regPath).absolutePath()).entryList({"*.tmp-*"}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(StoreTest, WriterKilledMidWriteLeavesAWholeFile)
{
    constexpr int kChars = 600000; // large enough that a kill often lands inside a write
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TUNORA_REGISTRY", regPath);
    QRandomGenerator rng(77);
    QString lastSeen;
    for (int round = 0; round < 12; ++round) {
        QProcess w;
        w.setProcessEnvironment(env);
        w.start(writerProgram(), {"churn", QString::number(kChars)});
        ASSERT_TRUE(w.waitForStarted());
        ASSERT_TRUE(w.waitForReadyRead(60000)) << "writer did not start";
        QThread::msleep(rng.bounded(1, 60));
        ::kill(pid_t(w.processId()), SIGKILL);
        w.waitForFinished();

        QString error;
        const auto doc = store::RegDocument::Parse(readFile(regPath), &error);
        ASSERT_TRUE(doc) << "round " << round << ": " << error.toStdString();
        const QString payload = ctl.RegistryRead(2, kTestPath, "payload");
        const qsizetype bar = payload.indexOf('|');
        ASSERT_EQ(bar, kChars) << "round " << round;
        const qint64 n = payload.mid(bar + 1).toLongLong();
        ASSERT_GT(n, 0);
        EXPECT_EQ(payload.left(bar), QString(kChars, QChar(u'a' + char16_t(n % 26)))) << "round " << round;
        lastSeen = payload;
    }
    // The next writer clears what killed writers left behind.
    ctl.RegistryWrite(2, kTestPath, "after", "x");
    EXPECT_TRUE(QDir(QFileInfo(regPath).absolutePath()).entryList({"*.tmp-*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(ctl.RegistryRead(2, kTestPath, "payload"), lastSeen);
}

} // namespace
