// tunora-cli length and tag, run as the built program on temporary copies.
#include "audio/Id3.h"
#include "audio/Mp3Length.h"
#include "shell/core/Genres.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QString Cli()
{
    return BuiltAppDir() + "/tunora-cli";
}

struct CliRun {
    int rc;
    QByteArray out, err;
};

CliRun Tunora(const QStringList& args)
{
    CliRun r;
    r.rc = RunProgram(Cli(), args, &r.out, &r.err);
    return r;
}

class AudioCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(Cli())) << "build tunora-cli first";
        ASSERT_TRUE(QFile::exists(env.appDir() + "/styles.dat"));
    }
    TempAppEnv env;
};

TEST_F(AudioCli, LengthPrintsMillisecondsAndNamesEachFailure)
{
    const QString cbr = ScratchCopy(LameFile(Lame::Cbr128), "one.mp3");
    const QString mono = ScratchCopy(LameFile(Lame::MonoVbr), "two words.mp3");
    const QString tiny = ScratchDir() + "/tiny.mp3";
    ASSERT_TRUE(WriteAll(tiny, QByteArray(100, 'x')));
    double a = 0, b = 0;
    ASSERT_TRUE(GetMp3Length(cbr, a));
    ASSERT_TRUE(GetMp3Length(mono, b));

    CliRun r = Tunora({"length", cbr, mono});
    EXPECT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out),
              QString("%1\t%2\n%3\t%4\n").arg(qint64(a)).arg(cbr).arg(qint64(b)).arg(mono));
    EXPECT_TRUE(r.err.isEmpty());

    r = Tunora({"length", tiny, cbr, tiny + ".missing"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(QString::fromUtf8(r.out), QString("%1\t%2\n").arg(qint64(a)).arg(cbr));
    const QStringList errors = QString::fromUtf8(r.err).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(errors.size(), 2) << r.err.toStdString();
    EXPECT_TRUE(errors[0].contains(tiny) && errors[0].contains("256")) << errors[0].toStdString();
    EXPECT_TRUE(errors[1].contains(tiny + ".missing"));

    EXPECT_EQ(Tunora({"length"}).rc, 2);
}

TEST_F(AudioCli, TagWritesBothTagsWithTheDefaultComment)
{
    const QString source = LameFile(Lame::Cbr128);
    const QString p = ScratchCopy(source);
    const CliRun r = Tunora({"tag", "--title", "Song", "--artist", "Band", "--album", "Record", "--year", "2004",
                          "--track", "5", "--genre", "rock", p});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    const QByteArray bytes = ReadAll(p);
    const QByteArray v1 = QByteArray("TAG") +
                          QByteArray("Song") + QByteArray(26, ' ') +
                          QByteArray("Band") + QByteArray(26, ' ') +
                          QByteArray("Record") + QByteArray(24, ' ') +
                          QByteArray("2004") +
                          QByteArray("Tagged By Tunora") + QByteArray(12, ' ') +
                          QByteArray("\x00\x05\x11", 3); // zero, track 5, "Rock" = 17
    EXPECT_EQ(bytes.right(128), v1);

    const QJsonObject tags = MutagenRead(p);
    const QJsonObject v2 = tags["v2"].toObject();
    EXPECT_EQ(tags["v2version"].toString(), "2.3.0");
    EXPECT_EQ(v2["TIT2"].toObject()["text"].toString(), "Song");
    EXPECT_EQ(v2["TCON"].toObject()["text"].toString(), "rock"); // ID3v2 keeps the name as given
    EXPECT_EQ(v2["COMM"].toObject()["text"].toString(), "Tagged By Tunora");
    // Audio between the tags is the source's.
    const qsizetype v2size = 10 + GetID3v2Size(p);
    EXPECT_TRUE(bytes.mid(v2size, bytes.size() - v2size - 128) == ReadAll(source));
}

TEST_F(AudioCli, TagSwitchesAndFailures)
{
    const QByteArray original = ReadAll(LameFile(Lame::Cbr128));
    const QString only1 = ScratchCopy(LameFile(Lame::Cbr128), "v1.mp3");
    const QString only2 = ScratchCopy(LameFile(Lame::Cbr128), "v2.mp3");

    CliRun r = Tunora({"tag", "--v1", "--comment", "", only1});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_TRUE(ReadAll(only1) == original + "TAG" + QByteArray(90, ' ') + QByteArray(4 + 28, ' ') +
                                      QByteArray("\x00\x00\x0C", 3)); // no track, genre Other

    r = Tunora({"tag", "--v2", "--title", QString::fromUtf8("Ωmega"), only2});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_FALSE(HasID3v1(only2));
    const QJsonObject tit2 = MutagenRead(only2)["v2"].toObject()["TIT2"].toObject();
    EXPECT_EQ(tit2["text"].toString(), QString::fromUtf8("Ωmega"));
    EXPECT_EQ(tit2["encoding"].toInt(), 1);

    // A v2.4 frame whose size bytes are ff ff ff f6 once held the frame walk in place for ever.
    const QString wrapped = ScratchDir() + "/wrapped.mp3";
    const QByteArray crafted = ReadAll(SourceDir() + "/tests/fuzz/regressions/id3write/v24-frame-size-near-4gib.bin");
    ASSERT_TRUE(WriteAll(wrapped, crafted.mid(1, 256) + original));
    r.rc = RunProgram(Cli(), {"tag", "--v2", "--title", "X", wrapped}, &r.out, &r.err, 20000);
    EXPECT_EQ(r.rc, 0) << r.err.toStdString();
    EXPECT_EQ(MutagenRead(wrapped)["v2"].toObject()["TIT2"].toObject()["text"].toString(), "X");

    // A missing file fails the run; the other file is tagged all the same.
    const QString fine = ScratchCopy(LameFile(Lame::Cbr128), "fine.mp3");
    r = Tunora({"tag", only1 + ".missing", fine});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("v1.mp3.missing"));
    EXPECT_TRUE(HasID3v1(fine));
    EXPECT_GT(GetID3v2Size(fine), 0);

    // Usage errors touch nothing.
    const QByteArray before = ReadAll(fine);
    EXPECT_EQ(Tunora({"tag", "--bogus", fine}).rc, 2);
    EXPECT_EQ(Tunora({"tag", fine, "--title"}).rc, 2);
    EXPECT_EQ(Tunora({"tag"}).rc, 2);
    // Without the genre table only ID3v2 can be written.
    ASSERT_TRUE(QFile::remove(env.appDir() + "/styles.dat"));
    r = Tunora({"tag", "--v1", fine});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(r.err.contains("styles.dat"));
    EXPECT_EQ(ReadAll(fine), before);
    EXPECT_EQ(Tunora({"tag", "--v2", "--title", "New", fine}).rc, 0);
}

} // namespace
