// Every reader of bytes from outside, fed the empty input, each cut-short form of a valid
// input, and inputs that claim far more than they hold. Run under ASan and UBSan, a read past
// a buffer or an allocation sized by a file's claim fails the test even when the answer is right.
#include "audio/Id3.h"
#include "audio/Mp3Length.h"
#include "dorvane/Dorvanectrl.h"
#include "dorvane/IniFile.h"
#include "dorvane/RegStore.h"
#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/Search.h"
#include "freedb/WebClient.h"
#include "musicbrainz/MusicBrainz.h"
#include "shell/core/Language.h"
#include "shell/core/Shared.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"
#include "tests/fuzz/RetagOracle.h"
#include "updater/UpdateCore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

// A fuzzing seed, or (folder "servers/") one of the test servers' answers.
QByteArray Seed(const QString& relative)
{
    const QString path = relative.startsWith("servers/") ? "/tests/" + relative : "/tests/fuzz/corpus/" + relative;
    const QByteArray bytes = ReadAll(SourceDir() + path);
    EXPECT_FALSE(bytes.isEmpty()) << relative.toStdString();
    return bytes;
}

// A file of `bytes` bytes that occupies no disk: reading it whole, or allocating by its size,
// is what the readers must never do. Empty when the file system cannot hold it.
QString SparseFile(const QTemporaryDir& dir, const QString& name, qint64 bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(bytes))
        return QString();
    return path;
}

constexpr qint64 kFourTebibytes = qint64(4) << 40;

} // namespace

TEST(ParserBounds, LanguageFiles)
{
    EXPECT_TRUE(ParseLanguageFile(QByteArray()).isEmpty());

    const QByteArray valid = Seed("language/english.lf");
    const QStringList full = ParseLanguageFile(valid);
    ASSERT_EQ(full.size(), kLanguageTextCount);
    for (qsizetype n = 0; n <= valid.size(); ++n) {
        const QStringList part = ParseLanguageFile(valid.left(n));
        ASSERT_LE(part.size(), full.size()) << n;
        // Whole lines come out as they are; only the line that was cut may be shorter.
        for (qsizetype i = 0; i + 1 < part.size(); ++i)
            ASSERT_EQ(part.at(i), full.at(i)) << n;
        if (!part.isEmpty()) {
            ASSERT_TRUE(full.at(part.size() - 1).startsWith(part.last())) << n;
        }
    }

    // A file of four tebibytes is read no further than a language file can reach.
    QTemporaryDir dir;
    const QString huge = SparseFile(dir, "huge.lf", kFourTebibytes);
    if (huge.isEmpty())
        GTEST_SKIP() << "no sparse files here";
    QFile f(huge);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_LE(ReadLanguageFile(f).size(), 1);
    EXPECT_EQ(f.pos(), kMaxLanguageFileBytes);
}

TEST(ParserBounds, IniFilesAndTheUpdateDescription)
{
    using dorvane::ini::FindValue;
    using dorvane::ini::WithValue;
    EXPECT_FALSE(FindValue(QByteArray(), "Tunora", "build").has_value());
    const auto created = WithValue(QByteArray(), "Tunora", "build", "78");
    ASSERT_TRUE(created.has_value());
    EXPECT_EQ(*created, QByteArray("[Tunora]\r\nbuild=78\r\n"));

    const QByteArray valid = Seed("upddat/upd.dat");
    ASSERT_EQ(FindValue(valid, "Tunora", "FileName").value_or(QString()), "setup.run");
    for (qsizetype n = 0; n <= valid.size(); ++n) {
        const QByteArray part = valid.left(n);
        // A cut value reads as the start of the whole one, never as anything else.
        const auto name = FindValue(part, "Tunora", "FileName");
        if (name) {
            ASSERT_TRUE(QStringLiteral("setup.run").startsWith(*name)) << n;
        }
        const auto written = WithValue(part, "Tunora", "build", "79");
        ASSERT_TRUE(written.has_value()) << n;
        ASSERT_EQ(FindValue(*written, "Tunora", "build").value_or(QString()), "79") << n;
    }

    QTemporaryDir dir;
    const QString empty = dir.filePath("upd.dat");
    ASSERT_TRUE(WriteAll(empty, QByteArray()));
    UpdateDescription d = ReadUpdateDescription(empty);
    EXPECT_EQ(d.build, 0);
    EXPECT_TRUE(d.fileName.isEmpty());
    for (qsizetype n = 0; n <= valid.size(); ++n) {
        ASSERT_TRUE(WriteAll(empty, valid.left(n)));
        d = ReadUpdateDescription(empty);
        ASSERT_TRUE(d.build == 0 || d.build == 7 || d.build == 78) << n << " " << d.build;
        ASSERT_TRUE(QStringLiteral("setup.run").startsWith(d.fileName)) << n;
        ASSERT_TRUE(QStringLiteral("/veldmarkco/files").startsWith(d.path)) << n;
    }

    // Claims without the bytes: a size beyond any INI file, and a build number beyond any count.
    const QString huge = SparseFile(dir, "huge.dat", kFourTebibytes);
    if (!huge.isEmpty()) {
        dorvane::Dorvanectrl ctl;
        EXPECT_EQ(ctl.LireINI(huge, "Tunora", "build", "none"), "none");
        EXPECT_EQ(ReadUpdateDescription(huge).build, 0);
        EXPECT_EQ(QFileInfo(huge).size(), kFourTebibytes);
    }
    ASSERT_TRUE(WriteAll(empty, "[Tunora]\nbuild=" + QByteArray(400, '9') + "\nFileName=setup.run\n"));
    d = ReadUpdateDescription(empty);
    EXPECT_FALSE(std::isnan(d.build));
    EXPECT_GT(d.build, 78);
}

TEST(ParserBounds, SettingsStore)
{
    using dorvane::store::RegDocument;
    const QByteArray valid = Seed("regstore/basic.reg");
    const auto whole = RegDocument::Parse(valid);
    ASSERT_TRUE(whole.has_value());
    for (qsizetype n = 0; n <= valid.size(); ++n) {
        // A cut file either reads (and then writes back as it reads) or is refused whole.
        const auto doc = RegDocument::Parse(valid.left(n));
        if (!doc)
            continue;
        const QByteArray once = doc->Serialize();
        const auto again = RegDocument::Parse(once);
        ASSERT_TRUE(again.has_value()) << n;
        ASSERT_EQ(again->Serialize(), once) << n;
    }

    // A settings file of four tebibytes is neither read nor moved aside by reading.
    QTemporaryDir dir;
    const QString huge = SparseFile(dir, "registry.reg", kFourTebibytes);
    if (huge.isEmpty())
        GTEST_SKIP() << "no sparse files here";
    const QByteArray old = qgetenv("TUNORA_REGISTRY");
    qputenv("TUNORA_REGISTRY", QFile::encodeName(huge));
    auto oldHandler = dorvane::Dorvanectrl::SetStoreNoticeHandler([](const dorvane::StoreNotice&) {});
    {
        dorvane::Dorvanectrl ctl;
        EXPECT_EQ(ctl.RegistryRead(2, "Software\\Veldmark Corp.\\Tunora", "langue"), "");
    }
    dorvane::Dorvanectrl::SetStoreNoticeHandler(oldHandler);
    qputenv("TUNORA_REGISTRY", old);
    EXPECT_EQ(QFileInfo(huge).size(), kFourTebibytes);
}

TEST(ParserBounds, HttpAnswers)
{
    EXPECT_EQ(ClassifyHttpResponse(QString()).kind, HttpDisposition::Accept);

    const QString redirect = QStringLiteral("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:9/next\r\n\r\n");
    const QString target = QStringLiteral(" http://127.0.0.1:9/next");
    ASSERT_EQ(ClassifyHttpResponse(redirect).kind, HttpDisposition::Redirect);
    for (qsizetype n = 0; n <= redirect.size(); ++n) {
        const HttpDisposition d = ClassifyHttpResponse(redirect.left(n));
        // Only a whole Location line is followed; a cut one is never taken for a shorter address.
        if (d.kind == HttpDisposition::Redirect) {
            ASSERT_EQ(d.location, target) << n;
        }
        ASSERT_TRUE(d.kind != HttpDisposition::Redirect || n > redirect.indexOf(target) + target.size()) << n;
    }

    // A claimed length means nothing to the reader: the body is what arrived.
    const HttpDisposition big =
        ClassifyHttpResponse("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nshort");
    EXPECT_EQ(big.kind, HttpDisposition::Accept);
    const HttpDisposition refused = ClassifyHttpResponse("HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(refused.kind, HttpDisposition::Refuse);
    EXPECT_EQ(refused.refusal, "HTTP/1.0 404 Not Found");
    // A line break smuggled into an address never reaches a request.
    EXPECT_FALSE(AddressRefusal("http://127.0.0.1/a\rHost: elsewhere").isEmpty());
}

TEST(ParserBounds, SearchPages)
{
    SearchResults none;
    ExtractSearchResults(QString(), none);
    EXPECT_EQ(none.size(), 0);
    ExtractGnudbResults(QString(), none);
    EXPECT_EQ(none.size(), 0);

    const QString page = DecodeText(Seed("servers/fixtures/search/twenty.html")).replace("{PREFIX}", SearchLinkPrefix());
    SearchResults full;
    ExtractSearchResults(page, full);
    ASSERT_EQ(full.size(), 20);
    for (qsizetype n = 0; n <= page.size(); ++n) {
        SearchResults r;
        ExtractSearchResults(page.left(n), r);
        ASSERT_EQ(r.List2.size(), r.List3.size()) << n;
        ASSERT_EQ(r.List2.size(), r.categ_lst.size()) << n;
        ASSERT_LE(r.size(), full.size()) << n;
        // A cut link is dropped, never listed with a shortened disc ID.
        for (qsizetype i = 0; i < r.size(); ++i)
            ASSERT_EQ(r.List2.at(i), full.List2.at(i)) << n;
    }

    // Many thousands of links on one page stay aligned.
    QString many = QStringLiteral("<html>");
    for (int i = 0; i < 20000; ++i)
        many += QStringLiteral("<a href=\"%1misc&id=%2\">A %3 / B</a>\n")
                    .arg(SearchLinkPrefix())
                    .arg(i, 8, 16, QLatin1Char('0'))
                    .arg(i);
    SearchResults lots;
    ExtractSearchResults(many, lots);
    EXPECT_EQ(lots.List2.size(), lots.List3.size());
    EXPECT_EQ(lots.List2.size(), lots.categ_lst.size());
    EXPECT_GT(lots.size(), 0);
}

TEST(ParserBounds, XmcdEntries)
{
    DiscRecord r;
    r.tracks.append({"stale", 1});
    EXPECT_FALSE(ParseXmcd(QString(), r));
    EXPECT_TRUE(r.tracks.isEmpty());

    const QString entry = DecodeText(Seed("servers/fixtures/xmcd/rock/19033503"));
    DiscRecord full;
    ASSERT_TRUE(ParseXmcd(entry, full));
    ASSERT_EQ(full.tracks.size(), 3);
    for (qsizetype n = 0; n <= entry.size(); ++n) {
        DiscRecord part;
        if (!ParseXmcd(entry.left(n), part)) {
            ASSERT_TRUE(part.tracks.isEmpty()) << n;
            continue;
        }
        ASSERT_LE(part.tracks.size(), full.tracks.size()) << n;
        for (const CddbTrack& t : part.tracks)
            ASSERT_GE(t.frames, 0) << n;
        for (qsizetype i = 0; i + 1 < part.tracks.size(); ++i)
            ASSERT_EQ(part.tracks.at(i).title, full.tracks.at(i).title) << n;
    }

    // Numbers far past any disc: a track number of nine digits, offsets and a disc length
    // beyond 64 bits. No list grows to a claimed number, no length turns negative.
    const QString claims = QStringLiteral("# Track frame offsets:\n#\t150\n#\t99999999999999999999999\n"
                                          "# Disc length: 99999999999999999999999 seconds\n"
                                          "DTITLE=A / B\nTTITLE0=one\nTTITLE1=two\nTTITLE999999999=far\n");
    DiscRecord c;
    ASSERT_TRUE(ParseXmcd(claims, c));
    ASSERT_EQ(c.tracks.size(), 2);
    EXPECT_GT(c.tracks.at(0).frames, 0);
    EXPECT_GE(c.tracks.at(1).frames, 0);

    // An entry file as large as a disk is refused without being read.
    QTemporaryDir dir;
    const QString huge = SparseFile(dir, "huge.xmcd", kFourTebibytes);
    if (!huge.isEmpty()) {
        QString why;
        EXPECT_FALSE(ParseXmcdFile(huge, c, &why));
        EXPECT_TRUE(c.tracks.isEmpty());
        EXPECT_FALSE(why.isEmpty());
    }
}

TEST(ParserBounds, MusicBrainzCountsBeyondAnInt)
{
    // Each medium's count fits an int, their sum does not: the release counts as many as an int holds.
    const QByteArray json = R"({"id": "a1b2c3d4-0000-4000-8000-000000000012", "media": [{"track-count": 2147483647}, {"track-count": 2147483647}]})";
    MbRelease release;
    ASSERT_TRUE(ParseRelease(json, release));
    EXPECT_EQ(release.trackCount, 2147483647);
}

TEST(ParserBounds, QueryAnswers)
{
    QList<QueryMatch> matches;
    EXPECT_FALSE(ParseCddbQueryResponse(QString(), matches));
    EXPECT_TRUE(matches.isEmpty());

    const QString answer = DecodeText(Seed("cddbquery/inexact.txt"));
    QList<QueryMatch> full;
    ASSERT_TRUE(ParseCddbQueryResponse(answer, full));
    ASSERT_EQ(full.size(), 2);
    for (qsizetype n = 0; n <= answer.size(); ++n) {
        QList<QueryMatch> part;
        if (!ParseCddbQueryResponse(answer.left(n), part)) {
            ASSERT_TRUE(part.isEmpty()) << n;
            continue;
        }
        ASSERT_LE(part.size(), full.size()) << n;
        for (qsizetype i = 0; i < part.size(); ++i)
            ASSERT_EQ(part.at(i), full.at(i)) << n;
    }

    // A list of fifty thousand matches is read in one pass.
    QString many = QStringLiteral("HTTP/1.0 200 OK\r\n\r\n211 Found inexact matches\r\n");
    for (int i = 0; i < 50000; ++i)
        many += QStringLiteral("rock %1 Artist / Album %2\r\n").arg(i, 8, 16, QLatin1Char('0')).arg(i);
    many += QStringLiteral(".\r\n");
    QList<QueryMatch> lots;
    ASSERT_TRUE(ParseCddbQueryResponse(many, lots));
    EXPECT_EQ(lots.size(), 50000);
}

class Mp3Bounds : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.filePath("track.mp3");
        ASSERT_TRUE(MakeMp3(path, 0.3, {"-b", "128"})) << "lame is needed";
        tag = fuzz::RetagTag(0);
        ASSERT_TRUE(WriteID3Tags(tag, path, true, true));
        tagged = ReadAll(path);
        v2Size = GetID3v2Size(path);
        ASSERT_GT(v2Size, 0);
        ASSERT_TRUE(GetMp3Length(path, fullMs));
    }

    QTemporaryDir dir;
    QString path;
    TrackTag tag;
    QByteArray tagged;
    qint64 v2Size = 0;
    double fullMs = 0;
};

TEST_F(Mp3Bounds, EveryCutOfATaggedFileIsMeasuredWithinItsBytes)
{
    const QString cut = dir.filePath("cut.mp3");
    for (qsizetype n = 0; n <= tagged.size(); ++n) {
        ASSERT_TRUE(WriteAll(cut, tagged.left(n)));
        double ms = -1;
        if (GetMp3Length(cut, ms)) {
            ASSERT_TRUE(std::isfinite(ms) && ms >= 0 && ms <= fullMs) << n;
        }
        const qint64 v2 = GetID3v2Size(cut);
        // A tag that would end past the file is not one.
        ASSERT_TRUE(v2 == 0 || (v2 == v2Size && n >= v2Size + 10)) << n;
        ASSERT_EQ(HasID3v1(cut), n > 130 && tagged.mid(n - 128, 3) == "TAG") << n;
    }
}

TEST_F(Mp3Bounds, RetaggingACutFileKeepsEveryByteBehindTheOldTags)
{
    const QString cut = dir.filePath("cut.mp3");
    TrackTag other = tag;
    other.title = "Another title";
    const QByteArray v2 = BuildID3v2(other);
    const QByteArray v1 = "TAG" + BuildID3v1(other);
    for (qsizetype n = 0; n <= tagged.size(); n += (n < 200 || n > tagged.size() - 200) ? 1 : 37) {
        const QByteArray src = tagged.left(n);
        ASSERT_TRUE(WriteAll(cut, src));
        const qint64 to = (n > 130 && src.mid(n - 128, 3) == "TAG") ? n - 128 : n;
        const qint64 from = std::min<qint64>(ID3v2TotalSize(src.left(10), n), to);
        ASSERT_TRUE(WriteID3Tags(other, cut, true, true)) << n;
        ASSERT_EQ(ReadAll(cut), v2 + src.mid(from, to - from) + v1) << n;
    }
}

TEST_F(Mp3Bounds, ClaimsBeyondTheFile)
{
    // An ID3v2 header claiming 256 MiB in front of a few kilobytes of audio is not a tag.
    QByteArray claim = tagged;
    claim[6] = claim[7] = claim[8] = claim[9] = char(0x7F);
    const QString p = dir.filePath("claim.mp3");
    ASSERT_TRUE(WriteAll(p, claim));
    EXPECT_EQ(GetID3v2Size(p), 0);
    double ms = -1;
    EXPECT_TRUE(GetMp3Length(p, ms));
    EXPECT_TRUE(std::isfinite(ms) && ms >= 0);
    ASSERT_TRUE(WriteID3Tags(tag, p, false, true));
    EXPECT_EQ(ReadAll(p), BuildID3v2(tag) + claim);

    // Tag detection on a file of four tebibytes reads its two ends only.
    const QString huge = SparseFile(dir, "huge.mp3", kFourTebibytes);
    if (huge.isEmpty())
        GTEST_SKIP() << "no sparse files here";
    EXPECT_EQ(GetID3v2Size(huge), 0);
    EXPECT_FALSE(HasID3v1(huge));
}

TEST_F(Mp3Bounds, AFileThatChangesLengthWhileItIsTaggedIsLeftToTheOtherWriter)
{
    // Another program acts at the first moment the rewrite lets the window breathe while its
    // temporary file exists: in the middle of the rewrite.
    auto duringRewrite = [&](std::function<void()> action) {
        auto* timer = new QTimer;
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [this, timer, action] {
            if (QDir(dir.path()).entryList({".*.tmp-*"}, QDir::Files | QDir::Hidden).isEmpty())
                return;
            timer->stop();
            action();
        });
        timer->start();
        return std::unique_ptr<QTimer>(timer);
    };
    TrackTag other = tag;
    other.title = "Another title";
    const QByteArray more(3000, 'z');
    // As the window's beat does, between the steps of the rewrite.
    TagWriteExtras breathing;
    breathing.progress.beat = [] { YieldEvents(); };
    QString why;
    {
        const auto t = duringRewrite([&] {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write(more);
        });
        EXPECT_FALSE(WriteID3Tags(other, path, true, true, &why, breathing));
        EXPECT_FALSE(t->isActive()) << "the other program never got its turn";
    }
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(ReadAll(path), tagged + more);

    // The same when the other program cuts the file short.
    {
        const auto t = duringRewrite([&] { ASSERT_TRUE(QFile::resize(path, 1000)); });
        EXPECT_FALSE(WriteID3Tags(other, path, false, true, &why, breathing));
    }
    EXPECT_EQ(ReadAll(path), tagged.left(1000));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "a temporary file was left";
}

TEST_F(Mp3Bounds, MeasuringWhileAnotherProgramResizesTheFile)
{
    std::atomic<bool> stop{false};
    std::thread other([&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        ASSERT_GE(fd, 0);
        for (qsizetype n = 0; !stop; n = (n + 397) % tagged.size()) {
            (void)!::ftruncate(fd, n);
            (void)!::pwrite(fd, tagged.constData(), size_t(tagged.size()), 0);
        }
        ::close(fd);
    });
    for (int i = 0; i < 400; ++i) {
        double ms = -1;
        if (GetMp3Length(path, ms)) {
            ASSERT_TRUE(std::isfinite(ms) && ms >= 0) << i;
        }
        const qint64 v2 = GetID3v2Size(path);
        ASSERT_TRUE(v2 == 0 || v2 == v2Size) << i;
        (void)HasID3v1(path);
    }
    stop = true;
    other.join();
}
