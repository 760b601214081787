// The tag layer over every format, against real peers: files made by ffmpeg (APE and Musepack
// from tests/tags/fixtures), tagged first by mutagen, measured by mutagen and ffprobe, read
// back by mutagen after Tunora's write, audio compared packet for packet by ffmpeg.
#include "audio/Id3.h"
#include "shell/core/Genres.h"
#include "tags/Tags.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tunora;
using namespace tunora::tags;
using namespace tunora::test;

namespace {

QString Tool()
{
    return SourceDir() + "/tests/tags/mutagen_tool.py";
}

QJsonObject Mutagen(const char* command, const QString& path)
{
    QByteArray out, err;
    const int rc = RunProgram("/usr/bin/python3", {Tool(), command, path}, &out, &err);
    EXPECT_EQ(rc, 0) << command << " " << path.toStdString() << ": " << err.toStdString();
    return QJsonDocument::fromJson(out).object();
}

// A 4-second sine in the row's codec, or a copy of a committed fixture.
QString MakeFile(const QString& dir, const QString& name, const QStringList& codec)
{
    const QString path = dir + "/" + name;
    if (codec.isEmpty()) {
        EXPECT_TRUE(QFile::copy(SourceDir() + "/tests/tags/fixtures/" + name, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    } else if (codec.first() == "lame") {
        EXPECT_TRUE(QFile::copy(LameFile(Lame::Cbr128), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    } else {
        QByteArray err;
        EXPECT_EQ(RunProgram("ffmpeg", QStringList {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=4"} +
                                           codec + QStringList {path},
                             nullptr, &err),
                  0)
            << err.toStdString();
    }
    return path;
}

const QByteArray kPng("\x89PNG\r\n\x1a\n" "\0\0\0\rIHDR" "new cover bytes", 8 + 8 + 15);

struct Row {
    const char* name;
    QStringList codec; // ffmpeg's codec options; {"lame"}: an MP3; empty: a committed fixture
    AudioFormat format;
};

TEST(Tags, EveryFormatReadWrittenAndUndone)
{
    const QString dir = ScratchDir();
    LoadShippedGenres();
    const Row rows[] = {
        {"a.flac", {"-c:a", "flac"}, AudioFormat::Flac},
        {"b.ogg", {"-c:a", "libvorbis"}, AudioFormat::OggVorbis},
        {"c.opus", {"-c:a", "libopus"}, AudioFormat::Opus},
        {"d.m4a", {"-c:a", "aac"}, AudioFormat::Mp4},
        {"e.m4a", {"-c:a", "alac"}, AudioFormat::Mp4},
        {"f.wma", {"-c:a", "wmav2"}, AudioFormat::Wma},
        {"g.wv", {"-c:a", "wavpack"}, AudioFormat::WavPack},
        {"h.wav", {"-c:a", "pcm_s16le"}, AudioFormat::Wav},
        {"i.aiff", {"-c:a", "pcm_s16be"}, AudioFormat::Aiff},
        {"j.mp3", {"lame"}, AudioFormat::Mp3},
        {"short.ape", {}, AudioFormat::Ape},
        {"short.mpc", {}, AudioFormat::Musepack},
    };
    TagFields values;
    values.title = QString::fromUtf8("New Ω");
    values.track = 3, values.trackTotal = 9;
    values.disc = 1, values.discTotal = 2;
    values.comment = "new comment", values.albumArtist = "VA", values.genre = "Rock", values.year = "2004";
    values.cover = {kPng, "image/png"};
    const Fields fields = Field::Title | Field::Track | Field::Disc | Field::Comment | Field::AlbumArtist |
                          Field::Genre | Field::Year | Field::Cover;
    const QJsonObject expected {{"title", values.title}, {"artist", "Old Artist"}, {"album", "Old Album"},
                                {"year", "2004"}, {"comment", "new comment"}, {"genre", "Rock"},
                                {"albumartist", "VA"}, {"track", "3/9"}, {"disc", "1/2"},
                                {"cover", QString("image/png %1").arg(kPng.size())}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = MakeFile(dir, row.name, row.codec);
        Mutagen("prepare", path);
        const QJsonObject before = Mutagen("dump", path);
        const QByteArray bytes0 = ReadAll(path);

        FileTags read;
        QString why;
        ASSERT_TRUE(ReadFileTags(path, &read, &why)) << why.toStdString();
        EXPECT_EQ(read.format, row.format);
        for (const char* peer : {"length", "ffprobe"}) {
            const double peerMs = before[peer].toDouble() * 1000;
            EXPECT_NEAR(double(read.lengthMs), peerMs, peerMs / 100) << peer;
        }
        qint64 ms = 0;
        ASSERT_TRUE(ReadLength(path, &ms, &why)) << why.toStdString();
        EXPECT_EQ(ms, read.lengthMs);
        const QJsonObject model = before["model"].toObject();
        EXPECT_EQ(read.fields.title, model["title"].toString());
        EXPECT_EQ(read.fields.artist, "Old Artist");
        EXPECT_EQ(read.fields.comment, "old comment");
        EXPECT_EQ(read.fields.genre, "Jazz");
        EXPECT_EQ(read.fields.track, 1);
        EXPECT_EQ(QString("%1 %2").arg(read.fields.cover.mime).arg(read.fields.cover.bytes.size()),
                  model["cover"].toString());

        WritePlan plan;
        ASSERT_TRUE(PlanWrite(path, values, fields, WriteOptions(), &plan, &why)) << why.toStdString();
        EXPECT_EQ(ReadAll(path), bytes0); // a plan touches nothing
        ASSERT_FALSE(plan.changes.isEmpty());
        EXPECT_EQ(plan.identity, IdentityOf(path));
        FileIdentity written;
        ASSERT_TRUE(CarryOut(plan, &why, &written)) << why.toStdString();
        EXPECT_EQ(written, IdentityOf(path));
        bool sameSizes = plan.oldSize == plan.newSize;
        for (const ByteChange& c : std::as_const(plan.changes))
            sameSizes = sameSizes && c.oldBytes.size() == c.newBytes.size();
        // Written in place when every region keeps its size, else a new file took the name.
        EXPECT_EQ(written.inode == plan.identity.inode, sameSizes);
        const QByteArray bytes1 = ReadAll(path);
        EXPECT_EQ(bytes1, Applied(bytes0, plan));
        EXPECT_EQ(bytes1.size(), plan.newSize);

        const QJsonObject after = Mutagen("dump", path);
        EXPECT_EQ(after["model"].toObject(), expected) << QJsonDocument(after["model"].toObject()).toJson().toStdString();
        const QJsonObject kept = before["others"].toObject(), now = after["others"].toObject();
        for (auto it = kept.begin(); it != kept.end(); ++it)
            EXPECT_EQ(now[it.key()], it.value()) << it.key().toStdString();
        if (row.format == AudioFormat::Ape) {
            // ffmpeg sizes the last APE frame by the file's end: the fixture's frames, compared
            // as bytes, stay in front of the tag.
            EXPECT_TRUE(bytes1.startsWith(ReadAll(SourceDir() + "/tests/tags/fixtures/short.ape")));
        } else {
            EXPECT_EQ(after["audio"].toString(), before["audio"].toString());
            EXPECT_TRUE(before["audio"].toString().startsWith("MD5=")) << before["audio"].toString().toStdString();
        }

        WritePlan journalled;
        ASSERT_TRUE(PlanFromJson(PlanToJson(plan), &journalled)); // as a journal keeps it
        EXPECT_EQ(Applied(bytes0, journalled), bytes1);
        EXPECT_EQ(journalled.identity, plan.identity);

        // Undo, byte for byte; once undone the plan's new bytes are gone, so undoing again
        // leaves the file alone.
        ASSERT_TRUE(CarryOut(Reversed(plan), &why)) << why.toStdString();
        EXPECT_EQ(ReadAll(path), bytes0);
        EXPECT_FALSE(CarryOut(Reversed(plan), &why));
        EXPECT_EQ(ReadAll(path), bytes0);
    }
}

TEST(Tags, BytesDecideTheFormat)
{
    const QString dir = ScratchDir();
    const QString flac = MakeFile(dir, "real.flac", {"-c:a", "flac"});
    ASSERT_TRUE(QFile::copy(flac, dir + "/named.mp3"));
    EXPECT_EQ(FormatOfFile(dir + "/named.mp3"), AudioFormat::Flac);
    FileTags t;
    QString why;
    EXPECT_TRUE(ReadFileTags(dir + "/named.mp3", &t, &why)) << why.toStdString();
    EXPECT_EQ(t.formatName(), "FLAC");

    // A WAV file's RIFF INFO fields show where its ID3v2 chunk has none.
    const QString wav = MakeFile(dir, "info.wav", {"-metadata", "title=From INFO", "-c:a", "pcm_s16le"});
    ASSERT_TRUE(ReadFileTags(wav, &t, &why)) << why.toStdString();
    EXPECT_EQ(t.fields.title, "From INFO");

    // A header that made TagLib's playing time negative (found by fuzzing): not known.
    ASSERT_TRUE(ReadTagsFromBytes(ReadAll(SourceDir() + "/tests/fuzz/corpus/tags/ogg-negative-length.ogg"),
                                  AudioFormat::OggVorbis, &t, &why));
    EXPECT_EQ(t.lengthMs, -1);
    // An ASF header object reaching past the header: no WMA file, refused before TagLib reads it.
    // A picture without MIME type gets the one its bytes name.
    ASSERT_TRUE(ReadTagsFromBytes(ReadAll(SourceDir() + "/tests/fuzz/corpus/tags/opus-cover-without-mime.opus"),
                                  AudioFormat::Opus, &t, &why));
    EXPECT_EQ(t.fields.cover.mime, "image/jpeg");
    // A WMA file that counts more attributes than it has room for: refused too (both found by fuzzing).
    for (const char* name : {"wma-oversized-object.wma", "wma-metadata-count.wma"})
        EXPECT_FALSE(ReadTagsFromBytes(ReadAll(SourceDir() + "/tests/fuzz/corpus/tags/" + name), AudioFormat::Wma,
                                       &t, &why))
            << name;

    // No audio at all: reported, never tagged.
    ASSERT_TRUE(WriteAll(dir + "/text.flac", QByteArray(4000, 'x')));
    ASSERT_TRUE(WriteAll(dir + "/picture.png", kPng + QByteArray(4000, 'y')));
    TagFields title;
    title.title = "x";
    for (const QString name : {"text.flac", "picture.png"}) {
        const QByteArray before = ReadAll(dir + "/" + name);
        WritePlan plan;
        EXPECT_FALSE(ReadFileTags(dir + "/" + name, &t, &why)) << name.toStdString();
        EXPECT_FALSE(PlanWrite(dir + "/" + name, title, Field::Title, {}, &plan, &why));
        EXPECT_EQ(ReadAll(dir + "/" + name), before);
    }
    // A FIFO is refused at once, never waited on.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/pipe.flac").constData(), 0600), 0);
    qint64 ms = 0;
    EXPECT_FALSE(ReadLength(dir + "/pipe.flac", &ms, &why));
    EXPECT_EQ(why, "not a regular file");
    EXPECT_EQ(SniffFormat(QByteArray("OggS") + QByteArray(24, '\0') + "OpusHead"), AudioFormat::Opus);
    EXPECT_EQ(SniffFormat("MAC \x96\x0f"), AudioFormat::Ape);
    EXPECT_EQ(SniffFormat(QByteArray("\0\0\0\x20" "ftypM4A ", 12)), AudioFormat::Mp4);
}

} // namespace

namespace {

// MP3 through the tag layer gives the bytes the album page's own write gives.
TEST(Tags, Mp3PlanIsTheAlbumPagesWrite)
{
    LoadShippedGenres();
    const QByteArray tagged = PictureTag() + ReadAll(LameFile(Lame::Cbr128));
    const QString dir = ScratchDir();
    const QString ours = dir + "/ours.mp3", theirs = dir + "/theirs.mp3";
    ASSERT_TRUE(WriteAll(ours, tagged) && WriteAll(theirs, tagged));
    const QByteArray cover = QByteArray("\x89PNG\r\n\x1a\n", 8) + "cover";
    TrackTag seven {"Title", "5", "Artist", "Album", "1999", "Tagged By Tunora", "Rock"};
    TagWriteExtras extras;
    extras.frontCover = cover;
    extras.partOfSet = "2/3";
    ASSERT_TRUE(WriteID3Tags(seven, theirs, true, true, nullptr, extras));

    TagFields v;
    v.title = "Title", v.track = 5, v.artist = "Artist", v.album = "Album", v.year = "1999", v.genre = "Rock";
    v.disc = 2, v.discTotal = 3, v.cover = {cover, "image/png"};
    WriteOptions options;
    options.defaultComment = "Tagged By Tunora";
    WritePlan plan;
    QString why;
    const Fields fields =
        Field::Title | Field::Track | Field::Artist | Field::Album | Field::Year | Field::Genre | Field::Disc | Field::Cover;
    // By default the new tag fills the old one's room when it fits, else gets room for later
    // edits (1 KiB and 0.1 % of the audio); either way the same frames, then zeros.
    for (const QByteArray& start : {tagged, ReadAll(LameFile(Lame::Cbr128))}) {
        ASSERT_TRUE(WriteAll(ours, start));
        ASSERT_TRUE(PlanWrite(ours, v, fields, options, &plan, &why)) << why.toStdString();
        const QByteArray padded = Applied(start, plan);
        options.padding = false;
        ASSERT_TRUE(PlanWrite(ours, v, fields, options, &plan, &why)) << why.toStdString();
        options.padding = true;
        const QByteArray exact = Applied(start, plan);
        const qint64 oldTag = ID3v2TotalSize(start, start.size()), exactTag = ID3v2TotalSize(exact, exact.size()),
                     paddedTag = ID3v2TotalSize(padded, padded.size());
        const qint64 audio = start.size() - oldTag;
        EXPECT_EQ(paddedTag, exactTag - 1 <= oldTag ? oldTag : exactTag - 1 + 1024 + audio / 1000);
        EXPECT_EQ(padded.mid(10, exactTag - 11), exact.mid(10, exactTag - 11));
        EXPECT_EQ(padded.mid(exactTag - 1, paddedTag - exactTag + 1), QByteArray(paddedTag - exactTag + 1, '\0'));
        EXPECT_EQ(padded.mid(paddedTag), exact.mid(exactTag));
    }
    ASSERT_TRUE(WriteAll(ours, tagged));
    options.padding = false;
    ASSERT_TRUE(PlanWrite(ours, v, fields, options, &plan, &why)) << why.toStdString();
    ASSERT_EQ(plan.changes.size(), 2); // the ID3v2 tag in front, the ID3v1 tag appended
    ASSERT_TRUE(CarryOut(plan, &why)) << why.toStdString();
    EXPECT_EQ(ReadAll(ours), ReadAll(theirs));
    ASSERT_TRUE(CarryOut(Reversed(plan), &why)) << why.toStdString();
    EXPECT_EQ(ReadAll(ours), tagged);

    // A journalled plan that does not add up is no plan.
    QJsonObject json = PlanToJson(plan);
    json["newSize"] = 1;
    EXPECT_FALSE(PlanFromJson(json, &plan));
    json = PlanToJson(plan);
    QJsonArray changes = json["changes"].toArray();
    changes.append(changes.first()); // overlapping the first
    json["changes"] = changes;
    EXPECT_FALSE(PlanFromJson(json, &plan));
}

} // namespace
