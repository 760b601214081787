// Every input the fuzzers once found is kept under tests/fuzz/regressions/<parser>/ and
// replayed here with the property its fuzz target checks.
#include "audio/Id3.h"
#include "dorvane/IniFile.h"
#include "dorvane/RegStore.h"
#include "freedb/Cddb.h"
#include "shell/core/Language.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QList<QByteArray> inputs(const QString& parser)
{
    QList<QByteArray> out;
    const QDir dir(QStringLiteral(TUNORA_FUZZ_DIR) + "/regressions/" + parser);
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

} // namespace

TEST(FuzzRegressions, IniValueWrittenReadsBack)
{
    const auto cases = inputs("ini");
    ASSERT_FALSE(cases.isEmpty());
    for (const QByteArray& bytes : cases) {
        const auto written = dorvane::ini::WithValue(bytes, "Tunora", "build", "78");
        ASSERT_TRUE(written.has_value());
        const auto back = dorvane::ini::FindValue(*written, "Tunora", "build");
        ASSERT_TRUE(back.has_value()) << written->toStdString();
        EXPECT_EQ(*back, QStringLiteral("78"));
    }
}

TEST(FuzzRegressions, IniLastLineEndingInCarriageReturn)
{
    // The section header stays one line: the value lands inside it, not in a new section.
    const auto written = dorvane::ini::WithValue(QByteArray("[Tunora]\r"), "Tunora", "build", "78");
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, QByteArray("[Tunora]\r\nbuild=78\r\n"));
}

TEST(FuzzRegressions, SettingsFilesRoundTrip)
{
    for (const QByteArray& bytes : inputs("regstore")) {
        const auto doc = dorvane::store::RegDocument::Parse(bytes);
        if (!doc)
            continue;
        const QByteArray once = doc->Serialize();
        const auto again = dorvane::store::RegDocument::Parse(once);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->Serialize(), once);
    }
}

TEST(FuzzRegressions, XmcdRefusalLeavesNoTracks)
{
    for (const QByteArray& bytes : inputs("xmcd")) {
        tunora::DiscRecord record;
        if (!tunora::ParseXmcd(tunora::DecodeText(bytes), record)) {
            EXPECT_TRUE(record.tracks.isEmpty());
        }
    }
}

TEST(FuzzRegressions, LanguageTextsAreTrimmed)
{
    for (const QByteArray& bytes : inputs("language"))
        for (const QString& t : tunora::ParseLanguageFile(bytes))
            EXPECT_EQ(t, t.trimmed());
}

TEST(FuzzRegressions, RetaggingDropsTheOldTag)
{
    // First byte: the tag texts' flavour; the rest is the file. The result is the new tag
    // followed by every byte behind the old one: behind the header and the bytes its size
    // field counts, so an ID3v2.4 footer (not counted there) stays in front of the audio.
    const auto cases = inputs("id3write");
    ASSERT_FALSE(cases.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath("track.mp3");
    for (const QByteArray& bytes : cases) {
        ASSERT_FALSE(bytes.isEmpty());
        const QByteArray source = bytes.mid(1);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(source), source.size());
        f.close();
        tunora::TrackTag tag;
        tag.title = (bytes.at(0) & 1) ? QStringLiteral("Titre \u00e9t\u00e9 \u4e2d") : QStringLiteral("Title");
        tag.track = QStringLiteral("3");
        tag.artist = QStringLiteral("Artist");
        tag.album = QStringLiteral("Album");
        tag.year = QStringLiteral("2001");
        tag.comment = QStringLiteral("Tagged By Tunora");
        tag.genre = QStringLiteral("Rock");
        qint64 oldTag = 0;
        if (tunora::ID3v2TotalSize(source.left(10), source.size()) > 0) {
            for (int i = 6; i < 10; ++i)
                oldTag = oldTag * 128 + static_cast<quint8>(source.at(i));
            oldTag += 10;
        }
        ASSERT_TRUE(tunora::WriteID3Tags(tag, path, false, true));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), tunora::BuildID3v2(tag) + source.mid(oldTag));
    }
}
