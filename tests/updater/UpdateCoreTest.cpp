#include "shell/core/Language.h"
#include "shell/core/Shared.h"
#include "updater/Ferrix.h"
#include "updater/UpdateCore.h"
#include "tests/common/TestSupport.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <limits>


using namespace tunora;
using namespace tunora::test;

namespace {
QString unit(int n)
{
    return ' ' + LanguageText(n);
}
} // namespace

TEST(DisplaySize, UnitsAndCutDecimals)
{
    TempAppEnv env;
    EXPECT_EQ(DisplaySize(0), "0" + unit(162));
    EXPECT_EQ(DisplaySize(1024), "1024" + unit(162));
    EXPECT_EQ(DisplaySize(1025), "1" + unit(163)); // 1.0009 KB, cut to 1
    EXPECT_EQ(DisplaySize(1536), "1.5" + unit(163));
    EXPECT_EQ(DisplaySize(1048576), "1024" + unit(163));
    EXPECT_EQ(DisplaySize(1048576 + 524288), "1.5" + unit(164));
    // 2047 bytes = 1.999 KB: hundredths are cut, never rounded up to 2.
    EXPECT_EQ(DisplaySize(2047), "1.99" + unit(163));
    EXPECT_EQ(DisplaySize(1024 + 51), "1.04" + unit(163));
    // Beyond 21474836 bytes a 32-bit "bytes x 100" would overflow.
    EXPECT_EQ(DisplaySize(qint64(700) * 1048576), "700" + unit(164));
    EXPECT_EQ(DisplaySize(qint64(5) * 1024 * 1048576 + 1048576 / 4), "5120.25" + unit(164));
    // A size no file has, as a server may announce it: even 64-bit "bytes x 100" overflows.
    EXPECT_EQ(DisplaySize(std::numeric_limits<qint64>::max()), "8796093022207.99" + unit(164));
}

TEST(DisplaySize, ProgressAndSpeedTexts)
{
    TempAppEnv env;
    // 50 % of 2048 bytes after 500 ms: 1024 bytes done, 2048 bytes per second.
    EXPECT_EQ(ProgressText(50, 2048.0), LanguageText(27) + " 1024" + unit(162) + " of 2" + unit(163) + " [50%]");
    EXPECT_EQ(SpeedText(50, 2048.0, 500), LanguageText(161) + " 2" + unit(163) + "/s");
    // A progress event in the very first millisecond does not divide by zero.
    EXPECT_EQ(AverageSpeed(100, 3000.0, 0), 3000 * 1000);
    EXPECT_EQ(BytesDone(33, 3e9), 990000000);
    EXPECT_EQ(AverageSpeed(100, 3e9, 1000), 3000000000LL);
}

TEST(UpdateDescription, BuildNumbers)
{
    EXPECT_EQ(BuildNumberValue("78"), 78);
    EXPECT_EQ(BuildNumberValue("  78 "), 78);
    EXPECT_EQ(BuildNumberValue("78b"), 78);
    EXPECT_EQ(BuildNumberValue("77.5"), 77.5);
    EXPECT_EQ(BuildNumberValue(""), 0);
    EXPECT_EQ(BuildNumberValue("beta"), 0);
    EXPECT_EQ(BuildNumberValue("-3"), -3);
}

TEST(UpdateDescription, RefusesNamesThatLeaveTheFolder)
{
    EXPECT_TRUE(IsSafeInstallerName("tunora-setup-78.sh"));
    EXPECT_TRUE(IsSafeInstallerName("setup v2.run"));
    for (const char* bad : {"", ".", "..", "../evil", "a/b", "/etc/passwd", "x..y", "a\nb"})
        EXPECT_FALSE(IsSafeInstallerName(QString::fromLatin1(bad))) << bad;
    EXPECT_TRUE(IsSafeServerFolder("/veldmarkco/files"));
    EXPECT_TRUE(IsSafeServerFolder("pub"));
    for (const char* bad : {"", "/a/../b", "..", "/a\r\nDELE x"})
        EXPECT_FALSE(IsSafeServerFolder(QString::fromLatin1(bad))) << bad;
}

TEST(UpdateDescription, Sha256)
{
    TempAppEnv env;
    const QString f = env.root() + "/inst";
    ASSERT_TRUE(WriteAll(f, "installer"));
    const QString hex = QString::fromLatin1(QCryptographicHash::hash("installer", QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(FileMatchesSha256(f, hex));
    EXPECT_TRUE(FileMatchesSha256(f, " " + hex.toUpper() + " "));
    EXPECT_FALSE(FileMatchesSha256(f, QString(hex).replace(0, 1, hex[0] == '0' ? "1" : "0")));
    EXPECT_FALSE(FileMatchesSha256(env.root() + "/missing", hex));
    // The checksum is mandatory: none, or a cut one, matches nothing.
    EXPECT_FALSE(FileMatchesSha256(f, ""));
    EXPECT_FALSE(FileMatchesSha256(f, hex.left(63)));
    EXPECT_FALSE(FileMatchesSha256(f, hex + "0"));
}

// The first test vectors of RFC 8032 (7.1): an empty and a one-byte message.
TEST(UpdateDescription, Ed25519Signatures)
{
    const QByteArray key1 = QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    const QByteArray sig1 = QByteArray::fromHex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590"
                                                "a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
    const QByteArray key2 = QByteArray::fromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    const QByteArray sig2 = QByteArray::fromHex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e"
                                                "15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    EXPECT_TRUE(VerifyEd25519("", sig1, key1));
    EXPECT_TRUE(VerifyEd25519("\x72", sig2, key2));
    EXPECT_FALSE(VerifyEd25519("\x73", sig2, key2)); // another message
    EXPECT_FALSE(VerifyEd25519("\x72", sig2, key1)); // another key
    EXPECT_FALSE(VerifyEd25519("", sig1.left(63), key1));
    EXPECT_FALSE(VerifyEd25519("", sig1 + "x", key1));
    EXPECT_FALSE(VerifyEd25519("", sig1, key1.left(31)));
    EXPECT_FALSE(VerifyEd25519("", QByteArray(64, '\0'), key1));
    // The built-in key is a well-formed Ed25519 public key.
    EXPECT_EQ(QByteArray::fromHex(kUpdatePublicKeyHex).size(), 32);
}

TEST(UpdateServer, EnvironmentOverridesHostAndPort)
{
    qunsetenv("TUNORA_UPDATE_HOST");
    qunsetenv("TUNORA_UPDATE_PORT");
    EXPECT_EQ(UpdateServerAddress().host, QString::fromLatin1(kUpdateHost));
    EXPECT_EQ(UpdateServerAddress().port, 21);
    qputenv("TUNORA_UPDATE_HOST", "127.0.0.1");
    qputenv("TUNORA_UPDATE_PORT", "2121");
    EXPECT_EQ(UpdateServerAddress().host, "127.0.0.1");
    EXPECT_EQ(UpdateServerAddress().port, 2121);
    qputenv("TUNORA_UPDATE_PORT", "99999");
    EXPECT_EQ(UpdateServerAddress().port, 21);
    qunsetenv("TUNORA_UPDATE_HOST");
    qunsetenv("TUNORA_UPDATE_PORT");
}

TEST(Ferrix, Urls)
{
    EXPECT_EQ(Ferrix::BuildUrl("127.0.0.1", 2121, "/veldmarkco/files", "upd.dat"),
              "ftp://127.0.0.1:2121/%2Fveldmarkco/files/upd.dat");
    EXPECT_EQ(Ferrix::BuildUrl("h", 21, "pub/x y", "a b#.sh"), "ftp://h:21/pub/x%20y/a%20b%23.sh");
    EXPECT_EQ(Ferrix::BuildUrl("h", 21, "/", "f"), "ftp://h:21/%2F/f");
    EXPECT_EQ(Ferrix::BuildUrl("::1", 21, "/d", "f"), "ftp://[::1]:21/%2Fd/f");
}
