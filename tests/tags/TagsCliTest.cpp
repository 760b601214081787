// tunora-cli show and tag over the formats, run as the built program.
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace tunora::test;

TEST(TagsCli, ShowAndTagChangeOnlyTheGivenFields)
{
    TempAppEnv env;
    const QString dir = ScratchDir();
    const QString flac = dir + "/song.flac";
    ASSERT_EQ(RunProgram("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=duration=3", "-c:a", "flac",
                                    "-metadata", "TITLE=Old", "-metadata", "ARTIST=Band", "-metadata", "TRACKNUMBER=2",
                                    flac}),
              0);
    const QString cover = dir + "/front.png";
    ASSERT_TRUE(WriteAll(cover, QByteArray("\x89PNG\r\n\x1a\n" "0123456789", 18)));
    CliRun r = RunTunoraCli({"tag", "--album", "Record", "--disc", "1/2", "--cover", cover, "--comment", "a\nb", flac});
    ASSERT_EQ(r.rc, 0) << r.err.toStdString();
    r = RunTunoraCli({"show", flac});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, flac + "\nformat=FLAC\nlength=3000\ntitle=Old\ntrack=2\nartist=Band\nalbum=Record\n"
                            "comment=a\\nb\ndisc=1/2\ncover=image/png 18\n\n");

    // An MP3's other fields stay when one is given; the old main comment goes with a new one.
    const QString mp3 = ScratchCopy(LameFile(Lame::Cbr128));
    ASSERT_EQ(RunProgram("/usr/bin/python3", {"-c", "import sys\nfrom mutagen.id3 import ID3, COMM, TPE1\n"
                                                    "t = ID3(); t.add(TPE1(encoding=3, text='Band'))\n"
                                                    "t.add(COMM(encoding=3, lang='eng', desc='', text='old'))\n"
                                                    "t.save(sys.argv[1])", mp3}),
              0);
    ASSERT_EQ(RunTunoraCli({"tag", "--title", "X", "--track", "4/7", mp3}).rc, 0);
    ASSERT_EQ(RunTunoraCli({"tag", "--album", "Y", "--v2", mp3}).rc, 0);
    QJsonObject v2 = MutagenRead(mp3)["v2"].toObject();
    EXPECT_EQ(v2["TPE1"].toObject()["text"].toString(), "Band");
    EXPECT_EQ(v2["TIT2"].toObject()["text"].toString(), "X");
    EXPECT_EQ(v2["TRCK"].toObject()["text"].toString(), "4/7");
    EXPECT_EQ(v2["COMM"].toObject()["text"].toString(), "old");
    ASSERT_EQ(RunTunoraCli({"tag", "--comment", "new", mp3}).rc, 0);
    r = RunTunoraCli({"show", mp3});
    EXPECT_TRUE(r.out.contains("\ncomment=new\n")) << r.out.toStdString();
    EXPECT_FALSE(ReadAll(mp3).contains("old"));

    // Failures: no audio, not an image, a missing file; the rest goes on.
    const QString text = dir + "/notes.flac";
    ASSERT_TRUE(WriteAll(text, "just text, no audio"));
    r = RunTunoraCli({"tag", "--title", "T", text, flac});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.err.contains("notes.flac")) << r.err.toStdString();
    EXPECT_EQ(ReadAll(text), "just text, no audio");
    EXPECT_TRUE(RunTunoraCli({"show", flac}).out.contains("\ntitle=T\n"));
    EXPECT_EQ(RunTunoraCli({"tag", "--cover", text, flac}).rc, 2);
    EXPECT_EQ(RunTunoraCli({"tag", "--track", "x", flac}).rc, 2);
    r = RunTunoraCli({"length", flac, text});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "3000\t" + flac + "\n");
    EXPECT_EQ(RunTunoraCli({"show", dir + "/missing.ogg"}).rc, 1);
}
