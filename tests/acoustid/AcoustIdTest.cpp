// tunora-cli fingerprint against fpcalc, and tunora-cli query --source acoustid against the
// loopback AcoustID stand-in, whose fixtures are made here from fpcalc's fingerprints of the
// test's own files.
#include "fingerprint/Fingerprint.h"
#include "lookup/AcoustIdSource.h"
#include "tests/acoustid/AcoustIdServer.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

const QString kAlbum = "a1b2c3d4-0000-4000-8000-0000000000a1";
const QString kHits = "a1b2c3d4-0000-4000-8000-0000000000b2";
const QString kSingle = "a1b2c3d4-0000-4000-8000-0000000000c3";

class AcoustIdTest : public ::testing::Test {
protected:
    int cli(const QStringList& args)
    {
        out.clear();
        err.clear();
        return RunProgram(BuiltAppDir() + "/tunora-cli", args, &out, &err, 120000);
    }
    // Five FLAC files, the third longer than 120 s (its fingerprint goes as a form). The
    // stand-in knows the first four: all on the album at their own track numbers; the first
    // two also, more surely, on a compilation at the same numbers; the third also on a single
    // as its track 1.
    void makeAlbum(const AcoustIdServer& server)
    {
        album = env.makeDir("album");
        for (int n = 1; n <= 5; ++n) {
            const QString path = album + QStringLiteral("/%1.flac").arg(n);
            ASSERT_TRUE(MakeAudio(path, 10 + n, n == 3 ? 125 : 6, {}, n != 3));
            if (n == 5)
                continue;
            const auto [seconds, fingerprint] = Fpcalc(path);
            ASSERT_FALSE(fingerprint.isEmpty());
            QJsonArray releases{AcoustIdRelease(kAlbum, "The Album", "The Band", 5, n,
                                                QJsonObject{{"year", 2001}, {"month", 5}, {"day", 14}})};
            if (n == 3)
                releases << AcoustIdRelease(kSingle, "The Single", "The Band", 2, 1);
            QJsonArray results{QJsonObject{
                {"id", QStringLiteral("fp-%1").arg(n)},
                {"score", 0.9},
                {"recordings", QJsonArray{QJsonObject{{"id", QStringLiteral("rec-%1").arg(n)}, {"releases", releases}}}}}};
            if (n <= 2)
                results << QJsonObject{{"id", QStringLiteral("fp-%1b").arg(n)},
                                       {"score", 1.0},
                                       {"recordings", QJsonArray{QJsonObject{
                                                          {"id", QStringLiteral("rec-%1b").arg(n)},
                                                          {"releases", QJsonArray{AcoustIdRelease(kHits, "Hits", "Various", 12, n, "1998")}}}}}};
            const QJsonObject entry{{"fingerprint", QString::fromLatin1(fingerprint)}, {"duration", seconds}, {"results", results}};
            ASSERT_TRUE(WriteAll(server.extra() + QStringLiteral("/%1.json").arg(n), QJsonDocument(entry).toJson()));
        }
    }
    TempAppEnv env;
    QString album;
    QByteArray out, err;
};

} // namespace

TEST_F(AcoustIdTest, FingerprintsAreFpcalcsOnEveryFormat)
{
    const QString dir = env.makeDir("formats");
    ASSERT_TRUE(MakeAudio(dir + "/a.wav", 1, 7));
    ASSERT_EQ(RunProgram("/usr/bin/lame", {"--quiet", dir + "/a.wav", dir + "/a.mp3"}), 0);
    ASSERT_TRUE(MakeAudio(dir + "/b.flac", 2, 5));
    ASSERT_TRUE(MakeAudio(dir + "/c.ogg", 4, 9, {"-c:a", "libvorbis"}));
    // Long enough to meet a sample that a resampler working in 16 bits rounds apart (at 25 s).
    ASSERT_TRUE(MakeAudio(dir + "/d.m4a", 3, 100, {"-c:a", "aac"}));
    // Mono at another rate, and past the 120 s that a fingerprint covers.
    ASSERT_TRUE(MakeAudio(dir + "/e.flac", 5, 131, {"-ac", "1", "-ar", "22050"}));
    ASSERT_TRUE(WriteAll(dir + "/f.mp3", "no audio here"));
    const QStringList files{dir + "/a.mp3", dir + "/b.flac", dir + "/c.ogg", dir + "/d.m4a", dir + "/e.flac",
                            dir + "/a.wav", dir + "/f.mp3"};

    QByteArray expected;
    for (const QString& f : files.first(6)) {
        const auto [seconds, fingerprint] = Fpcalc(f);
        ASSERT_FALSE(fingerprint.isEmpty()) << f.toStdString();
        expected += QByteArray::number(seconds) + '\t' + fingerprint + '\t' + f.toUtf8() + '\n';
    }
    EXPECT_EQ(cli(QStringList{"fingerprint"} + files), 1);
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(err.contains("f.mp3: ")) << err.constData();
    EXPECT_TRUE(expected.startsWith("7\t")) << expected.constData();
    EXPECT_TRUE(expected.contains("\n131\t")) << expected.constData();

    // The library itself: answers in the order asked, progress once per file.
    QList<qsizetype> told;
    const QList<FileFingerprint> prints =
        FingerprintFiles(files, [&](qsizetype done, qsizetype total) { told << done * 100 + total; }, nullptr, 2);
    EXPECT_EQ(told, (QList<qsizetype>{107, 207, 307, 407, 507, 607, 707}));
    ASSERT_EQ(prints.size(), 7);
    EXPECT_EQ(prints.at(4).path, files.at(4));
    EXPECT_EQ(prints.at(4).fingerprint, Fpcalc(files.at(4)).second);
    EXPECT_FALSE(prints.at(6).ok());
    EXPECT_EQ(cli({"fingerprint"}), 2);
}

TEST_F(AcoustIdTest, AlbumIsRankedToItsReleaseByTwoProcessesAtThePace)
{
    // Request 2 is answered "busy" and waited out.
    AcoustIdServer server(env.root(), {"--busy", "2"});
    ASSERT_TRUE(server.running());
    makeAlbum(server);
    SetSetting("AcoustIDKey", "tunora-test-key");

    // Two processes at once keep to 3 requests a second between them.
    QProcess other;
    other.start(BuiltAppDir() + "/tunora-cli", {"query", album, "--source", "acoustid", "--format", "flac"});
    ASSERT_EQ(cli({"query", album, "--source", "acoustid", "--format", "flac"}), 0) << err.constData();
    ASSERT_TRUE(other.waitForFinished(120000));
    const QByteArray ranked = "a1b2c3d4-0000-4000-8000-0000000000a1\tThe Band / The Album\t2001-05-14\t5\n"
                              "a1b2c3d4-0000-4000-8000-0000000000b2\tVarious / Hits\t1998\t12\n"
                              "a1b2c3d4-0000-4000-8000-0000000000c3\tThe Band / The Single\t\t2\n";
    EXPECT_EQ(out, ranked);
    EXPECT_EQ(other.readAllStandardOutput(), ranked);
    EXPECT_EQ(other.exitCode(), 0);

    EXPECT_TRUE(server.violations().isEmpty()) << server.violations().join("\n").toStdString();
    const QList<QJsonObject> requests = server.requests();
    ASSERT_EQ(requests.size(), 11); // five files twice, and the busy one again
    int unknown = 0, posted = 0;
    for (const QJsonObject& r : requests) {
        unknown += !r["known"].toBool();
        posted += r["method"].toString() == "POST";
    }
    EXPECT_EQ(unknown, 2);
    EXPECT_EQ(posted, 2 + (requests.at(1)["method"].toString() == "POST"));
}

TEST_F(AcoustIdTest, WithoutTheRightKey)
{
    AcoustIdServer server(env.root());
    ASSERT_TRUE(server.running());
    album = env.makeDir("album");
    ASSERT_TRUE(MakeAudio(album + "/1.mp3", 1, 3, {"-c:a", "libmp3lame"}));

    // No key: one line saying where to get one, and nothing sent.
    EXPECT_EQ(cli({"query", album, "--source", "acoustid"}), 1);
    EXPECT_EQ(err.count('\n'), 1) << err.constData();
    EXPECT_TRUE(err.contains("acoustid.org") && err.contains("non-commercial")) << err.constData();
    EXPECT_TRUE(server.requests().isEmpty());

    SetSetting("AcoustIDKey", "wrong");
    EXPECT_EQ(cli({"query", album, "--source", "acoustid"}), 1);
    EXPECT_TRUE(err.contains("invalid API key")) << err.constData();
    EXPECT_EQ(server.violations(), QStringList{"wrong client key 'wrong'"});

    EXPECT_EQ(cli({"query", album, "--source", "elsewhere"}), 2);
    EXPECT_EQ(cli({"search", "--source", "acoustid", "words"}), 1);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(AcoustIdTest, AStalledAnswerFailsAndACancelEndsQuietly)
{
    AcoustIdServer server(env.root(), {"--stall"});
    ASSERT_TRUE(server.running());
    const QString file = env.makeDir("album") + "/1.flac";
    ASSERT_TRUE(MakeAudio(file, 1, 3));
    SetSetting("AcoustIDKey", "tunora-test-key");
    AcoustIdSource source;
    source.setStallTimeout(300);
    QStringList status;
    bool failed = false;
    QObject::connect(&source, &LookupSource::statusChanged, [&](const QString& text) { status << text; });
    QObject::connect(&source, &LookupSource::failed, [&] { failed = true; });

    EXPECT_FALSE(AwaitLookup(source, [&] { source.searchFiles({file}); }).ok);
    EXPECT_EQ(source.lastError(), "no data came for 0.3 s");
    EXPECT_EQ(status, (QStringList{"Fingerprinting the files (0/1)...", "Fingerprinting the files (1/1)...",
                                   "Asking AcoustID (1/1)...", ""}));

    // A cancel while the answer is awaited tells nothing but the end.
    failed = false;
    source.setStallTimeout(5000);
    source.searchFiles({file});
    ASSERT_TRUE(WaitUntil([&] { return server.requests().size() == 2; }, 20000));
    source.cancel();
    EXPECT_FALSE(source.isRunning());
    EXPECT_FALSE(WaitUntil([&] { return failed; }, 800));
    EXPECT_TRUE(source.lastError().isEmpty());
}
