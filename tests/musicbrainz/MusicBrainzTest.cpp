// MusicBrainz as a lookup source, against the loopback stand-in, which fails a request that
// comes less than a second after the previous one, carries another User-Agent or a wrong
// table of contents (it computes the disc ID itself).
#include "lookup/MusicBrainzSource.h"
#include "freedb/DiscId.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QSslConfiguration>
#include <gtest/gtest.h>
#include <optional>

using namespace tunora;
using namespace tunora::test;

namespace {

const QString kDozen = "a1b2c3d4-0000-4000-8000-000000000012";
const QString kPair = "a1b2c3d4-0000-4000-8000-000000000022";

// The first check vector: 22 tracks, lead-out 303602.
const QList<qint64> kOffsets22{150,    9700,   25887,  39297,  53795,  63735,  77517,  94877,
                               107270, 123552, 135522, 148422, 161197, 174790, 192022, 205545,
                               218010, 228700, 239590, 255470, 266932, 288750};
const qint64 kLeadOut22 = 303602;

struct Outcome {
    bool done = false;
    QList<LookupHit> hits;
    std::optional<LookupDisc> disc;
    QString failure;
};

// Starts a request of the source and waits for its one outcome.
Outcome Await(LookupSource& source, const std::function<void()>& start)
{
    Outcome o;
    QObject context;
    QObject::connect(&source, &LookupSource::hitsReady, &context, [&](const QList<LookupHit>& h) {
        o.hits = h;
        o.done = true;
    });
    QObject::connect(&source, &LookupSource::discReady, &context, [&](const LookupDisc& d) {
        o.disc = d;
        o.done = true;
    });
    QObject::connect(&source, &LookupSource::failed, &context, [&](const QString& why) {
        o.failure = why;
        o.done = true;
    });
    start();
    EXPECT_TRUE(WaitUntil([&] { return o.done; }, 30000));
    EXPECT_FALSE(source.isRunning());
    return o;
}

LookupHit Hit(const QString& id, int medium = 0)
{
    return {MusicBrainzSource::sourceName(), id, {}, medium, {}};
}

class MusicBrainzTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(server.violations().isEmpty()) << server.violations().join("\n").toStdString();
    }
    TempAppEnv env;
    MusicBrainzServer server{env.root(), {"--busy", "3"}};
    MusicBrainzSource source;
};

} // namespace

TEST(MusicBrainzData, DiscIdsOfTheCheckVectors)
{
    const struct {
        QList<qint64> offsets;
        qint64 leadOut;
        QString discId, cddbId;
    } rows[] = {
        {kOffsets22, kLeadOut22, "xUp1F2NkfP8s8jaeFn_Av3jNEI4-", "370fce16"},
        {{150, 6614, 32287, 54041, 61236, 88129, 92729, 115276, 153877}, 189343, "IeldkVfIh1wep_M8CMuDvA0nQ7Q-", {}},
    };
    for (const auto& row : rows) {
        const DiscLayout layout{row.offsets, row.leadOut / 75, row.leadOut};
        EXPECT_EQ(MusicBrainzDiscId(layout), row.discId);
        if (!row.cddbId.isEmpty()) {
            EXPECT_EQ(DiscIdText(CddbDiscId(layout.offsets, layout.totalSeconds)), row.cddbId);
        }
    }
}

TEST(MusicBrainzData, SearchWordsBecomeAQuery)
{
    const struct {
        QString words;
        bool more;
        QString query;
    } rows[] = {
        {"Dozen Band - Twelve Songs", false, "artist:(Dozen Band) AND release:(Twelve Songs)"},
        {"Dozen Band - Twelve Songs", true, "artist:(Dozen Band) OR release:(Twelve Songs)"},
        {"AC/DC - Live: 1992 (Special) [Deluxe]", false,
         R"(artist:(AC\/DC) AND release:(Live\: 1992 \(Special\) \[Deluxe\]))"},
        {"Earth AND Fire OR NOT", false, "release:(Earth and Fire or not)"},
        {"Hits!+*? ~2", true, R"(release:(Hits\!\+\*\? \~2) OR artist:(Hits\!\+\*\? \~2))"},
        {" - Twelve", false, "release:(Twelve)"},
        {"  ", false, ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LuceneQuery(row.words, row.more), row.query) << row.words.toStdString();
}

TEST(MusicBrainzData, PictureTypesFromTheirFirstBytes)
{
    EXPECT_EQ(ImageMimeType(QByteArrayLiteral("\xFF\xD8\xFF\xE0\x00\x10JFIF")), "image/jpeg");
    EXPECT_EQ(ImageMimeType("\x89PNG\r\n\x1A\n\x00\x00"), "image/png");
    EXPECT_EQ(ImageMimeType("GIF89a\x01\x00"), "image/gif");
    EXPECT_EQ(ImageMimeType(QByteArrayLiteral("RIFF\x10\x00\x00\x00WEBPVP8 ")), "image/webp");
    EXPECT_EQ(ImageMimeType("<html><body>Not Found"), "");
    EXPECT_EQ(ImageMimeType("\x89PNG"), "");
}

TEST_F(MusicBrainzTest, PlayingTimesFindTheReleaseOfTheirDiscId)
{
    ASSERT_TRUE(server.running());
    // Playing times that lay out exactly as the check vector's disc.
    QList<qint64> lengths;
    for (qsizetype i = 0; i < kOffsets22.size(); ++i)
        lengths << ((i + 1 < kOffsets22.size() ? kOffsets22[i + 1] : kLeadOut22) - kOffsets22[i]) * 1000 / 75;
    const Outcome o = Await(source, [&] { source.searchLengths(lengths); });
    ASSERT_EQ(o.failure, "");
    EXPECT_EQ(o.hits, QList<LookupHit>({{"MusicBrainz", "a1b2c3d4-0000-4000-8000-000000000001", {}, 0,
                                         "Long Player / Twenty-Two (1998, US) [22]"}}));
    EXPECT_EQ(server.targets(),
              QStringList({"/ws/2/discid/xUp1F2NkfP8s8jaeFn_Av3jNEI4-?toc=1+22+303602+150+9700+25887+39297+53795+"
                           "63735+77517+94877+107270+123552+135522+148422+161197+174790+192022+205545+218010+228700+"
                           "239590+255470+266932+288750&inc=recordings+artist-credits&cdstubs=no&fmt=json"}));

    EXPECT_EQ(Await(source, [&] { source.searchLengths({}); }).failure,
              "MusicBrainz: a disc holds 1 to 99 tracks that all play");
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(MusicBrainzTest, ATwoDiscReleaseGivesARowAndADiscPerMedium)
{
    ASSERT_TRUE(server.running());
    const Outcome search = Await(source, [&] { source.searchWords("Pair - Double", false); });
    EXPECT_EQ(search.hits, QList<LookupHit>({
                               {"MusicBrainz", kDozen, {}, 0, "Dozen Band / Twelve Songs (2001, GB) [12]"},
                               {"MusicBrainz", kPair, {}, 1, "Pair & Band / Double Album (1999, XE) CD 1/2 [3]"},
                               {"MusicBrainz", kPair, {}, 2, "Pair & Band / Double Album (1999, XE) CD 2/2 [2]"},
                           }));
    EXPECT_TRUE(server.targets().value(0).startsWith(
        "/ws/2/release?query=artist%3A%28Pair%29%20AND%20release%3A%28Double%29&limit=25&fmt=json"));

    // The row's medium; without one, the medium with as many tracks as files, else the first.
    const struct {
        int medium;
        qsizetype files;
        int expectedDisc;
    } rows[] = {{2, 0, 2}, {0, 2, 2}, {0, 7, 1}};
    for (const auto& row : rows) {
        source.setFileCount(row.files);
        const Outcome o = Await(source, [&] { source.read(Hit(kPair, row.medium)); });
        ASSERT_TRUE(o.disc) << o.failure.toStdString();
        EXPECT_EQ(o.disc->artist, "Pair & Band");
        EXPECT_EQ(o.disc->album, "Double Album");
        EXPECT_EQ(o.disc->year, "1999");
        EXPECT_EQ(o.disc->discNumber, row.expectedDisc);
        EXPECT_EQ(o.disc->discCount, 2);
        EXPECT_EQ(o.disc->releaseId, kPair);
        if (row.expectedDisc == 2) // a title only on the recording; a length of null
            EXPECT_EQ(o.disc->tracks, QList<LookupTrack>({{"Side Two Opener", 150}, {"Closer", 0}}));
        else
            EXPECT_EQ(o.disc->tracks, QList<LookupTrack>({{"Alpha", 188}, {"Beta", 225}, {"Gamma", 263}}));
    }
    // Request 3 was answered 503 with Retry-After: 1 and asked again.
    const QList<QJsonObject> log = server.requests();
    ASSERT_EQ(log.size(), 5);
    EXPECT_EQ(log[2]["target"], log[3]["target"]);
    EXPECT_GE(log[3]["t"].toDouble() - log[2]["t"].toDouble(), 1.0);
}

TEST(MusicBrainzBusy, ABusyServiceIsAskedAgainAfterTheWaitItNames)
{
    TempAppEnv env;
    // The client's own pace is one second and its default wait two: only a longer wait shows
    // that Retry-After was read.
    const struct {
        const char* retryAfter;
        int busyAnswers;
        double minGap; // seconds between a 503 and the request asked again
        int requests;  // all the search sends; fewer answered than busyAnswers + 1: the search fails
    } rows[] = {
        {"", 1, 2.0, 2},       // no Retry-After: the client's own default wait
        {"3", 1, 3.0, 2},      // seconds
        {"date+4", 1, 2.9, 2}, // an HTTP date four seconds ahead (whole seconds: three and more)
        {"1", 5, 1.0, 4},      // asked again three times at most
        {"120", 1, 0, 1},      // longer than anybody waits at a window: the search fails at once
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.retryAfter);
        MusicBrainzServer server{env.root(), {"--busy", "1", "--busy-count", QString::number(row.busyAnswers),
                                              "--retry-after", row.retryAfter}};
        ASSERT_TRUE(server.running());
        MusicBrainzSource source;
        const Outcome o = Await(source, [&] { source.searchWords("Pair - Double", false); });
        const QList<QJsonObject> log = server.requests();
        ASSERT_EQ(log.size(), row.requests);
        EXPECT_EQ(o.hits.isEmpty(), row.requests <= row.busyAnswers) << o.failure.toStdString();
        EXPECT_EQ(o.failure.isEmpty(), row.requests > row.busyAnswers);
        for (qsizetype i = 1; i < log.size(); ++i)
            EXPECT_GE(log[i]["t"].toDouble() - log[i - 1]["t"].toDouble(), row.minGap) << i;
        EXPECT_TRUE(server.violations().isEmpty()) << server.violations().join("\n").toStdString();
    }
}

TEST_F(MusicBrainzTest, TheFrontCoverFollowsItsRedirect)
{
    ASSERT_TRUE(server.running());
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(3000, '\x07');
    ASSERT_TRUE(WriteAll(server.extra() + "/cover/" + kDozen + ".png", png));
    source.setFetchCover(true);
    const Outcome withCover = Await(source, [&] { source.read(Hit(kDozen)); });
    ASSERT_TRUE(withCover.disc) << withCover.failure.toStdString();
    EXPECT_EQ(withCover.disc->tracks.size(), 12);
    EXPECT_EQ(withCover.disc->tracks.value(11), (LookupTrack{"Song 12", 14400}));
    EXPECT_EQ(withCover.disc->frontCover, png);
    // The pair has no cover: its disc comes without one.
    const Outcome without = Await(source, [&] { source.read(Hit(kPair, 1)); });
    ASSERT_TRUE(without.disc);
    EXPECT_TRUE(without.disc->frontCover.isEmpty());
    // The picture (request 3) was answered 503 first and asked again.
    EXPECT_EQ(server.targets().mid(1),
              QStringList({"/release/" + kDozen + "/front-500", "/download/" + kDozen + ".png",
                           "/download/" + kDozen + ".png",
                           "/ws/2/release/" + kPair + "?inc=recordings+artist-credits+release-groups+genres&fmt=json",
                           "/release/" + kPair + "/front-500"}));
}

TEST_F(MusicBrainzTest, FailuresEndTheRequest)
{
    ASSERT_TRUE(server.running());
    MusicBrainzClient client;
    client.setStallTimeout(300);
    QString failure;
    QObject::connect(&client, &MusicBrainzClient::failed, [&](const QString& why) { failure = why; });
    const struct {
        QString id, failure;
    } rows[] = {
        {"deadbeef-0000-4000-8000-000000000001", "no data came for 0.3 s"},
        {"deadbeef-0000-4000-8000-000000000002", "the answer is larger than 16 MiB"},
        {"a1b2c3d4-0000-4000-8000-0000000000ff", "no such release"},
    };
    for (const auto& row : rows) {
        failure.clear();
        client.readRelease(row.id);
        EXPECT_TRUE(WaitUntil([&] { return !client.isRunning(); }, 20000));
        EXPECT_EQ(failure, row.failure);
    }
    EXPECT_EQ(Await(source, [&] { source.read(Hit("../../admin")); }).failure, "MusicBrainz: not a release ID: ../../admin");
    EXPECT_EQ(server.requests().size(), 4); // the 503 and the three above

    // A cancelled transfer tells nothing and leaves the pace to the next request.
    client.setStallTimeout(30000);
    bool answered = false;
    QObject::connect(&client, &MusicBrainzClient::releaseReady, [&] { answered = true; });
    client.readRelease("deadbeef-0000-4000-8000-000000000001");
    ASSERT_TRUE(WaitUntil([&] { return server.requests().size() == 5; }, 5000));
    client.cancel();
    EXPECT_FALSE(client.isRunning());
    failure.clear();
    client.readRelease(kPair);
    EXPECT_TRUE(WaitUntil([&] { return !client.isRunning(); }, 20000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(failure, "");
}

TEST(MusicBrainzTls, AnHttpsServiceTrustedThroughTheTestsAuthority)
{
    TempAppEnv env;
    auto makeCertificate = [&](const QString& name, const QString& altName) {
        return RunProgram("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                      "-nodes", "-days", "1", "-subj", "/CN=" + altName.section(':', 1), "-addext",
                                      "subjectAltName=" + altName, "-keyout", env.root() + "/" + name + ".key",
                                      "-out", env.root() + "/" + name + ".pem"});
    };
    ASSERT_EQ(makeCertificate("cert", "IP:127.0.0.1"), 0);
    ASSERT_EQ(makeCertificate("other", "DNS:other.example"), 0);
    const QString cert = env.root() + "/cert.pem", key = env.root() + "/cert.key";
    // Pacing is not what this test is about.
    MusicBrainzServer plain(env.root() + "/plain", {"--no-pace"});
    ASSERT_TRUE(plain.running());
    MusicBrainzServer server(env.root(), {"--tls", cert, key, "--no-pace"});
    ASSERT_TRUE(server.running());
    ASSERT_TRUE(server.root().startsWith("https://"));
    MusicBrainzSource source;

    // Not trusted yet: the certificate is refused before any request is sent.
    const Outcome refused = Await(source, [&] { source.searchWords("Dozen - Twelve", false); });
    EXPECT_TRUE(refused.hits.isEmpty());
    EXPECT_FALSE(refused.failure.isEmpty());
    EXPECT_TRUE(server.requests().isEmpty());

    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    ASSERT_TRUE(trusting.addCaCertificates(cert));
    ASSERT_TRUE(trusting.addCaCertificates(env.root() + "/other.pem"));
    QSslConfiguration::setDefaultConfiguration(trusting);
    {
        // A trusted certificate of another host is refused all the same.
        MusicBrainzServer elsewhere(env.root() + "/elsewhere",
                                    {"--tls", env.root() + "/other.pem", env.root() + "/other.key", "--no-pace"});
        ASSERT_TRUE(elsewhere.running());
        MusicBrainzSource asked;
        const Outcome wrongHost = Await(asked, [&] { asked.searchWords("Dozen - Twelve", false); });
        EXPECT_TRUE(wrongHost.hits.isEmpty());
        EXPECT_FALSE(wrongHost.failure.isEmpty());
        EXPECT_TRUE(elsewhere.requests().isEmpty());
    }
    MusicBrainzSource fresh; // a connection keeps the trust it was opened with
    const Outcome trusted = Await(fresh, [&] { fresh.searchWords("Dozen - Twelve", false); });
    // The front cover's 307 points to https as well.
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(900, '\0');
    ASSERT_TRUE(WriteAll(server.extra() + "/cover/" + kDozen + ".jpg", jpeg));
    fresh.setFetchCover(true);
    const Outcome read = Await(fresh, [&] { fresh.read(Hit(kDozen)); });
    std::optional<LookupDisc> downgraded;
    {
        // A redirect from https to http is refused: the plain server holding the cover hears nothing.
        ASSERT_TRUE(WriteAll(plain.extra() + "/cover/" + kDozen + ".jpg", jpeg));
        MusicBrainzServer downgrading(env.root() + "/downgrading",
                                      {"--tls", cert, key, "--no-pace", "--cover-host", plain.root().chopped(1)});
        MusicBrainzSource asked;
        asked.setFetchCover(true);
        downgraded = Await(asked, [&] { asked.read(Hit(kDozen)); }).disc;
        EXPECT_EQ(downgrading.targets().value(1), "/release/" + kDozen + "/front-500");
        EXPECT_TRUE(plain.requests().isEmpty());
    }
    QSslConfiguration::setDefaultConfiguration(before);
    EXPECT_EQ(trusted.failure, "");
    EXPECT_EQ(trusted.hits.size(), 3);
    ASSERT_TRUE(read.disc) << read.failure.toStdString();
    EXPECT_EQ(read.disc->frontCover, jpeg);
    EXPECT_EQ(server.targets().mid(2), QStringList({"/release/" + kDozen + "/front-500", "/download/" + kDozen + ".jpg"}));
    EXPECT_TRUE(server.violations().isEmpty()) << server.violations().join("\n").toStdString();
    ASSERT_TRUE(downgraded);
    EXPECT_TRUE(downgraded->frontCover.isEmpty());
}
