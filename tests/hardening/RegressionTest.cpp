// Every input the fuzzers once found is kept under tests/fuzz/regressions/<parser>/ and
// replayed here with the property its fuzz target checks.
#include "audio/Id3.h"
#include "dorvane/IniFile.h"
#include "dorvane/RegStore.h"
#include "freedb/Cddb.h"
#include "shell/core/Language.h"
#include "shell/core/Shared.h"
#include "tests/fuzz/RetagOracle.h"

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

TEST(FuzzRegressions, ByteOrderMarkInsideTheFileIsText)
{
    // A mark at the start of a later line neither makes nor hides a section, whichever way
    // the file's bytes are read: the value stays in [Tunora] after the legacy byte goes.
    const QByteArray file("[Tunora]\r\n\xEF\xBB\xBF[\r\nbuild='2\xFF");
    const auto written = dorvane::ini::WithValue(file, "Tunora", "build", "78");
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, QByteArray("[Tunora]\r\n\xEF\xBB\xBF[\r\nbuild=78"));
    EXPECT_EQ(dorvane::ini::FindValue(*written, "Tunora", "build").value_or(QString()), "78");

    // The file's own mark opens the first section however the rest is read.
    EXPECT_EQ(dorvane::ini::FindValue("\xEF\xBB\xBF[Tunora]\nbuild=7\xFF\n", "Tunora", "build"), "7\u00FF");
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
    // First byte: the tag's flavour and whether ID3v1 is written too; the rest is the file.
    const auto cases = inputs("id3write");
    ASSERT_FALSE(cases.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath("track.mp3");
    for (const QByteArray& bytes : cases) {
        ASSERT_FALSE(bytes.isEmpty());
        const QByteArray source = bytes.mid(1);
        const bool withV1 = bytes.at(0) & 2;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(source), source.size());
        f.close();
        const tunora::TrackTag tag = tunora::fuzz::RetagTag(static_cast<unsigned char>(bytes.at(0)));
        ASSERT_TRUE(tunora::WriteID3Tags(tag, path, withV1, true));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(tunora::fuzz::RetagMismatch(f.readAll(), tunora::fuzz::ExpectRetag(source, tag, withV1)).toStdString(), "");
    }
}
