// WriteID3Tags on files: where the tags go, what stays of the old ones, and that no
// failure changes or loses the user's file.
#include "audio/Id3.h"
#include "audio/Id3Frames.h"
#include "shell/core/Genres.h"
#include "tests/audio/AudioTestFiles.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tunora;
using namespace tunora::test;

namespace {

// Extras that only record the tags before and after the write.
TagWriteExtras RecordingInto(TagUndo* undo)
{
    TagWriteExtras extras;
    extras.undo = undo;
    return extras;
}

QByteArray B(const char* s, qsizetype n)
{
    return QByteArray(s, n);
}

// Audio stand-in: bytes that differ from position to position.
QByteArray Audio(qsizetype n)
{
    QByteArray a(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        a[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return a;
}

TrackTag SampleTag()
{
    TrackTag t;
    t.title = "Song";
    t.track = "3";
    t.artist = "Band";
    t.album = "Record";
    t.year = "2001";
    t.comment = "Tagged";
    t.genre = "Rock";
    return t;
}

QStringList Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

class Id3Write : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadShippedGenres();
        dir = ScratchDir();
    }
    QString put(const QString& name, const QByteArray& bytes)
    {
        const QString p = dir + "/" + name;
        EXPECT_TRUE(WriteAll(p, bytes));
        return p;
    }
    QByteArray v1() const { return B("TAG", 3) + BuildID3v1(SampleTag()); }
    QByteArray v2() const { return BuildID3v2(SampleTag()); }
    QString dir;
};

TEST_F(Id3Write, Id3v1IsAppendedOnceAndThenReplacedInPlace)
{
    const QByteArray audio = Audio(4000000);
    const QString p = put("a.mp3", audio);
    TagUndo first, second;
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, false, nullptr, RecordingInto(&first)));
    QByteArray after = ReadAll(p);
    EXPECT_EQ(after.size(), 4000128);
    EXPECT_TRUE(after.startsWith(audio));
    EXPECT_EQ(after.right(128), v1());

    TrackTag other = SampleTag();
    other.title = "Other";
    ASSERT_TRUE(WriteID3Tags(other, p, true, false, nullptr, RecordingInto(&second)));
    after = ReadAll(p);
    EXPECT_EQ(after.size(), 4000128);
    EXPECT_EQ(after.right(128), B("TAG", 3) + BuildID3v1(other));
    EXPECT_TRUE(after.startsWith(audio));

    // Undone in turn: the first ID3v1 tag is back, then no tag at all.
    EXPECT_FALSE(RestoreID3Tags(p, first)); // the file no longer holds what that write left
    ASSERT_TRUE(RestoreID3Tags(p, second));
    EXPECT_TRUE(ReadAll(p) == audio + v1());
    ASSERT_TRUE(RestoreID3Tags(p, first));
    EXPECT_TRUE(ReadAll(p) == audio);
}

TEST_F(Id3Write, LowerCaseTagAndShortFilesGetANewId3v1)
{
    const QByteArray lower = Audio(500) + B("tag", 3) + QByteArray(125, 'q');
    QString p = put("lower.mp3", lower);
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, false));
    EXPECT_EQ(ReadAll(p), lower + v1());

    const QByteArray tiny = B("\0\0", 2) + B("TAG", 3) + QByteArray(125, 'q'); // 130 bytes
    p = put("tiny.mp3", tiny);
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, false));
    EXPECT_EQ(ReadAll(p), tiny + v1());
}

TEST_F(Id3Write, Id3v2ReplacesTheOldTagWhole)
{
    const QByteArray audio = Audio(50000);
    struct Row {
        const char* what;
        QByteArray before;
        QByteArray kept; // what follows the new tag
    } rows[] = {
        {"no tag", audio, audio},
        {"2,000-byte tag", V2Header(3, 0, 1990) + QByteArray(1990, 'o') + audio, audio},
        {"2 MiB tag", V2Header(3, 0, 0x200000) + QByteArray(0x200000, 'o') + audio, audio},
        {"empty tag", V2Header(3, 0, 0) + audio, audio},
        {"v2.4 footer goes with its tag", V2Header(4, 0x10, 90) + QByteArray(90, 'o') + B("3DI\x04\0\x10\0\0\0\x5A", 10) + audio,
         audio},
        {"a second tag stays", V2Header(3, 0, 20) + QByteArray(20, 'o') + V2Header(3, 0, 20) + QByteArray(20, 'p') + audio,
         V2Header(3, 0, 20) + QByteArray(20, 'p') + audio},
        {"lower case id3", B("id3\x03\0\0\0\0\0\x10", 10) + audio, B("id3\x03\0\0\0\0\0\x10", 10) + audio},
        // A damaged header is not a tag: not one byte of the audio may go.
        {"size past the end", V2Header(3, 0, 60000) + audio, V2Header(3, 0, 60000) + audio},
        {"size not syncsafe", B("ID3\x03\0\0\0\0\x8F\x10", 10) + audio, B("ID3\x03\0\0\0\0\x8F\x10", 10) + audio},
    };
    for (const Row& r : rows) {
        const QString p = put("v2.mp3", r.before);
        ASSERT_TRUE(WriteID3Tags(SampleTag(), p, false, true)) << r.what;
        EXPECT_TRUE(ReadAll(p) == v2() + r.kept) << r.what;
    }
}

TEST_F(Id3Write, BothTagsInOneRewriteAndTheSecondRunChangesNothing)
{
    const QByteArray audio = Audio(30000);
    const QByteArray oldV1 = B("TAG", 3) + QByteArray(125, 'z');
    const QString p = put("both.mp3", V2Header(3, 0, 500) + QByteArray(500, 'o') + audio + oldV1);
    QStringList told;
    int beats = 0;
    TagWriteExtras extras;
    extras.progress = {[&](const QString& t) { told << t; }, [&] { ++beats; }};
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, true, nullptr, extras));
    // The status line's texts as the window shows them, the last one clearing it; a beat
    // after each text, per chunk of the copy, after its sync and at the end.
    EXPECT_EQ(told, QStringList({"Updating ID3v1 : " + p, "Updating ID3v2 : " + p, ""}));
    EXPECT_GE(beats, 5);
    const QByteArray once = ReadAll(p);
    EXPECT_TRUE(once == v2() + audio + v1());
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, true));
    EXPECT_TRUE(ReadAll(p) == once);
}

TEST_F(Id3Write, UserFilesBesideTheTrackAreLeftAlone)
{
    const QByteArray userTemp = "a file the user called temp";
    put("temp", userTemp);
    const QString p = put("x.mp3", Audio(1000));
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, true));
    EXPECT_EQ(ReadAll(dir + "/temp"), userTemp);
    EXPECT_EQ(Entries(dir), (QStringList {"temp", "x.mp3"}));
}

TEST_F(Id3Write, PermissionBitsAndLinksSurviveTheRewrite)
{
    const QString p = put("perm.mp3", Audio(1000));
    ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0640), 0);
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, false, true));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(p).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const QString link = dir + "/link.mp3";
    ASSERT_TRUE(QFile::link(p, link));
    TagUndo undo;
    ASSERT_TRUE(WriteID3Tags(SampleTag(), link, true, true, nullptr, RecordingInto(&undo)));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(ReadAll(p) == v2() + Audio(1000) + "TAG" + BuildID3v1(SampleTag()));
    // Undo through the link: the link stays, the file gets its tags back.
    ASSERT_TRUE(RestoreID3Tags(link, undo));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(ReadAll(p) == v2() + Audio(1000));
    ASSERT_EQ(::stat(QFile::encodeName(p).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(Id3Write, RefusesWithoutTouchingTheFile)
{
    const QByteArray audio = Audio(2000);
    const QString p = put("r.mp3", audio);
    QString why;
    EXPECT_FALSE(WriteID3Tags(SampleTag(), p, false, false, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(WriteID3Tags(SampleTag(), "/x", true, true));
    EXPECT_FALSE(WriteID3Tags(SampleTag(), dir + "/missing.mp3", true, true));
    EXPECT_FALSE(QFile::exists(dir + "/missing.mp3"));
    EXPECT_FALSE(WriteID3Tags(SampleTag(), dir, true, true)); // a folder

    // A read-only file stays as it is, for root as well.
    ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0444), 0);
    EXPECT_FALSE(WriteID3Tags(SampleTag(), p, true, false, &why));
    EXPECT_FALSE(WriteID3Tags(SampleTag(), p, false, true));
    EXPECT_FALSE(WriteID3Tags(SampleTag(), p, true, true));
    EXPECT_EQ(ReadAll(p), audio);
    EXPECT_EQ(Entries(dir), QStringList {"r.mp3"});
}

int WriteWithSizeLimit(const QString& path, qint64 limit, bool v1, bool v2)
{
    return InChild([&](QByteArray&) {
        ::signal(SIGXFSZ, SIG_IGN); // the write answers EFBIG instead of killing the process
        const rlimit rl {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0)
            return 3;
        TrackTag t;
        t.title = "Limit";
        return WriteID3Tags(t, path, v1, v2) ? 0 : 1;
    });
}

TEST_F(Id3Write, AWriteStoppedHalfwayLeavesTheSourceAsItWas)
{
    const QByteArray original = V2Header(3, 0, 100) + QByteArray(100, 'o') + Audio(400000);
    const QString p = put("limit.mp3", original);
    // The rewrite stops inside the copied audio.
    EXPECT_EQ(WriteWithSizeLimit(p, 200000, false, true), 1);
    EXPECT_TRUE(ReadAll(p) == original);
    EXPECT_EQ(Entries(dir), QStringList {"limit.mp3"});
    // Both tags: the rewrite carries the ID3v1 tag as well, and fails as a whole.
    EXPECT_EQ(WriteWithSizeLimit(p, 200000, true, true), 1);
    EXPECT_TRUE(ReadAll(p) == original);
    // The ID3v1 append gets 50 of its 128 bytes out, and is cut back.
    EXPECT_EQ(WriteWithSizeLimit(p, original.size() + 50, true, false), 1);
    EXPECT_TRUE(ReadAll(p) == original);
    EXPECT_EQ(Entries(dir), QStringList {"limit.mp3"});
    // With room enough the same call succeeds.
    EXPECT_EQ(WriteWithSizeLimit(p, original.size() + 128, true, false), 0);
    EXPECT_EQ(ReadAll(p).size(), original.size() + 128);
}

TEST_F(Id3Write, AFolderWithoutWritePermissionFailsCleanly)
{
    // A folder of its own under /tmp, reachable by the unprivileged user the child becomes.
    QByteArray tmpl = "/tmp/tunora-ro-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const QString ro = QString::fromLocal8Bit(tmpl);
    const QByteArray original = Audio(5000);
    const QString p = ro + "/song.mp3";
    ASSERT_TRUE(WriteAll(p, original));
    ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0666), 0);
    ASSERT_EQ(::chmod(tmpl.constData(), 0555), 0);

    // Root may write anywhere: the child gives up root first.
    const int rc = InChild([&](QByteArray&) { return WriteID3Tags(SampleTag(), p, false, true) ? 0 : 1; }, nullptr,
                           true);
    ::chmod(tmpl.constData(), 0755);
    const QByteArray after = ReadAll(p);
    const QStringList left = Entries(ro);
    QDir(ro).removeRecursively();
    if (rc == 3)
        GTEST_SKIP() << "running as root without the right to drop to an unprivileged user";
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(after, original);
    EXPECT_EQ(left, QStringList {"song.mp3"});
}

TEST_F(Id3Write, FilesOfFourGibibytesAndMore)
{
    // A sparse file: 4 GiB of nothing, then some audio bytes.
    const QString p = dir + "/big.mp3";
    const qint64 size = (qint64(1) << 32) + 5000;
    {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(size));
    }
    ASSERT_TRUE(WriteID3Tags(SampleTag(), p, true, false));
    EXPECT_EQ(QFileInfo(p).size(), size + 128);
    EXPECT_TRUE(HasID3v1(p));
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(f.seek(size));
    EXPECT_EQ(f.read(128), v1());
    f.close();
    // Replaced in place at an offset past 4 GiB.
    TrackTag other = SampleTag();
    other.album = "Other";
    ASSERT_TRUE(WriteID3Tags(other, p, true, false));
    EXPECT_EQ(QFileInfo(p).size(), size + 128);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(f.seek(size + 3));
    EXPECT_EQ(f.read(125), BuildID3v1(other));
    QFile::remove(p);
}

} // namespace

// --- Real files read back by mutagen and decoded by ffprobe ----------------------------

namespace {

// Frames ffprobe decodes in the file, and whatever it complained about.
int DecodedFrames(const QString& path, QByteArray* complaints)
{
    QByteArray out;
    const int rc = RunProgram("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "a", "-show_entries",
                                          "stream=nb_read_frames", "-of", "default=nokey=1:noprint_wrappers=1", path},
                              &out, complaints);
    return rc == 0 ? out.trimmed().toInt() : -1;
}

QString Text(const QJsonObject& frames, const char* id)
{
    return frames[id].toObject()["text"].toString();
}

} // namespace

TEST(Id3RealFiles, MutagenReadsWhatWasWrittenAndTheAudioIsUntouched)
{
    LoadShippedGenres();
    struct Row {
        const char* what;
        QString source;
        QByteArray prefix; // bytes in front of the audio in the source
        TrackTag tag;
        int v2Encoding;
    } rows[] = {
        {"Latin-1", LameFile(Lame::Cbr128), {},
         {QString::fromUtf8("Café del Mar"), "4", "Ärzte", "Best Of", "1998", "Nice one", "Blues"}, 0},
        {"UTF-16", LameFile(Lame::Vbr), PictureTag(),
         {QString::fromUtf8("東京 Night"), "12", QString::fromUtf8("Ωmega"), QString::fromUtf8("Пора"), "2020",
          QString::fromUtf8("€ sign"), "Jazz"},
         1},
    };
    for (const Row& r : rows) {
        const QByteArray audio = ReadAll(r.source);
        const QString p = ScratchDir() + "/t.mp3";
        ASSERT_TRUE(WriteAll(p, r.prefix + audio));
        QString why;
        ASSERT_TRUE(WriteID3Tags(r.tag, p, true, true, &why)) << why.toStdString();
        const QByteArray once = ReadAll(p);
        const QByteArray v2 = BuildID3v2(r.tag, r.prefix); // the picture of the old tag stays
        EXPECT_TRUE(once.left(v2.size()) == v2) << r.what;
        EXPECT_TRUE(once.mid(v2.size(), audio.size()) == audio) << r.what;
        EXPECT_EQ(once.size(), v2.size() + audio.size() + 128) << r.what;

        const QJsonObject read = MutagenRead(p);
        EXPECT_EQ(read["v2version"].toString(), "2.3.0") << r.what;
        const QJsonObject f2 = read["v2"].toObject();
        QStringList keys {"COMM", "TALB", "TCON", "TIT2", "TPE1", "TRCK", "TYER"};
        if (!r.prefix.isEmpty()) {
            // The old tag's picture, as the test made it, not as the writer under test would.
            keys.insert(0, "APIC");
            const QJsonObject apic = f2["APIC"].toObject();
            EXPECT_EQ(apic["type"].toInt(), 3) << r.what;
            EXPECT_EQ(apic["mime"].toString(), "image/jpeg") << r.what;
            EXPECT_EQ(apic["data"].toString(), QString(r.prefix.mid(10 + 10 + 14, 4 + 500 * 4).toHex())) << r.what;
        }
        EXPECT_EQ(f2.keys(), keys) << r.what;
        EXPECT_EQ(Text(f2, "TIT2"), r.tag.title) << r.what;
        EXPECT_EQ(Text(f2, "TPE1"), r.tag.artist) << r.what;
        EXPECT_EQ(Text(f2, "TALB"), r.tag.album) << r.what;
        EXPECT_EQ(Text(f2, "TYER"), r.tag.year) << r.what;
        EXPECT_EQ(Text(f2, "TCON"), r.tag.genre) << r.what;
        EXPECT_EQ(Text(f2, "TRCK"), r.tag.track) << r.what;
        EXPECT_EQ(Text(f2, "COMM"), r.tag.comment) << r.what;
        EXPECT_EQ(f2["COMM"].toObject()["desc"].toString(), "Comments") << r.what;
        EXPECT_EQ(f2["COMM"].toObject()["lang"].toString(), "eng") << r.what;
        EXPECT_EQ(f2["TIT2"].toObject()["encoding"].toInt(), r.v2Encoding) << r.what;
        EXPECT_EQ(f2["TRCK"].toObject()["encoding"].toInt(), 0) << r.what;

        const QJsonObject f1 = read["v1"].toObject();
        auto v1Text = [](const QString& s, int width) {
            QString out;
            for (const char32_t c : s.toUcs4())
                out += c <= 0xFF ? QString(QChar(c)) : QStringLiteral("?");
            return out.left(width);
        };
        EXPECT_EQ(Text(f1, "TIT2"), v1Text(r.tag.title, 30)) << r.what;
        EXPECT_EQ(Text(f1, "TPE1"), v1Text(r.tag.artist, 30)) << r.what;
        EXPECT_EQ(Text(f1, "TALB"), v1Text(r.tag.album, 30)) << r.what;
        EXPECT_EQ(Text(f1, "COMM"), v1Text(r.tag.comment, 28)) << r.what;
        EXPECT_EQ(Text(f1, "TRCK"), r.tag.track) << r.what;
        EXPECT_EQ(Text(f1, "TCON"), QString::number(GenreByteForName(r.tag.genre))) << r.what;

        ASSERT_TRUE(WriteID3Tags(r.tag, p, true, true));
        EXPECT_TRUE(ReadAll(p) == once) << r.what << ": a second run changed the file";

        QByteArray complaints;
        const int frames = DecodedFrames(p, &complaints);
        // The kept picture is no real JPEG; only the audio's complaints count.
        QList<QByteArray> lines = complaints.split('\n');
        lines.removeIf([](const QByteArray& l) { return l.startsWith("[mjpeg"); });
        complaints = lines.join('\n').trimmed();
        EXPECT_GT(frames, 0) << r.what;
        EXPECT_EQ(frames, DecodedFrames(r.source, nullptr)) << r.what;
        EXPECT_TRUE(complaints.isEmpty()) << r.what << ": " << complaints.toStdString();
    }
}

namespace {

// mutagen writes a tag of the given version (3 or 4) into a file, full of frames the seven do
// not replace. A v2.3 tag also carries a frame mutagen does not know, with flags.
const char kWriteOldTag[] = R"PY(
import sys
from mutagen.id3 import (ID3, TIT2, TYER, TDRC, COMM, TPE2, TPOS, TXXX, USLT, APIC, POPM, PRIV, UFID, TDOR,
                         TIPL, TMCL, TSOP, RVA2, CHAP, CTOC, CTOCFlags)
path, version = sys.argv[1], int(sys.argv[2])
enc = 3 if version == 4 else 1
t = ID3()
t.add(TIT2(encoding=enc, text="Old title"))
t.add(TYER(encoding=0, text="1971") if version == 3 else TDRC(encoding=enc, text="2004-05-06T07:08"))
t.add(COMM(encoding=enc, lang="eng", desc="Comments", text="replaced"))
t.add(COMM(encoding=enc, lang="fra", desc="", text="gard\u00e9"))
t.add(TPE2(encoding=enc, text=["Band \u00c5", "Second \u6771"] if version == 4 else "Band \u00c5"))
t.add(TPOS(encoding=0, text="1/2"))
t.add(TXXX(encoding=enc, desc="MOOD", text="calm \u263a"))
t.add(USLT(encoding=enc, lang="eng", desc="", text="la la\nla"))
t.add(APIC(encoding=enc, mime="PNG" if version == 4 else "image/jpeg", type=3, desc="cover \u00e9",
           data=bytes(range(256)) * 1200))
t.add(APIC(encoding=0, mime="image/jpeg", type=4, desc="back", data=b"\xff\xd8\xff back"))
t.add(POPM(email="me@example.org", rating=196, count=7))
t.add(PRIV(owner="org.example", data=b"\x00\x01\xff"))
t.add(UFID(owner="http://example.org", data=b"id-1"))
if version == 4:
    t.add(TDOR(encoding=enc, text="1990"))
    t.add(TIPL(encoding=enc, people=[["producer", "P \u00e9"]]))
    t.add(TMCL(encoding=0, people=[["guitar", "G"]]))
    t.add(TSOP(encoding=enc, text="Sort"))
    t.add(RVA2(desc="track", channel=1, gain=-2.0, peak=0.5))
    t.add(CHAP(element_id="ch0", start_time=0, end_time=1000,
               sub_frames=[TIT2(encoding=3, text="Intro \u00e9"), TDRC(encoding=3, text="2001-02-03")]))
    t.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED, child_element_ids=["ch0"],
               sub_frames=[TIT2(encoding=0, text="Chapters")]))
else:
    t._unknown_v2_version = 3
    t.unknown_frames = [b"XUNK\x00\x00\x00\x04\x60\x40abcd"]
t.save(path, v2_version=version, v1=0)
# What mutagen never writes: unsynchronisation (v2.3 the whole tag, v2.4 each frame, behind its
# data length) or an extended header in front of the frames (v2.4 both). mutagen reads as far
# past a v2.3 tag as its extended header is long, so one tag does not hold both.
shape = sys.argv[3] if len(sys.argv) > 3 else ""
if shape:
    def unsync(d):
        return bytes(b for i, c in enumerate(d) for b in ((c, 0) if c == 0xFF and
                     (i + 1 == len(d) or d[i + 1] >= 0xE0 or d[i + 1] == 0) else (c,)))
    def safe(n):
        return bytes([n >> 21 & 127, n >> 14 & 127, n >> 7 & 127, n & 127])
    data = open(path, "rb").read()
    size = 10 + sum(b << (21 - 7 * i) for i, b in enumerate(data[6:10]))
    body, rest = data[10:size], data[size:]
    if version == 3 and shape == "unsync":
        body, flags = unsync(body), 0x80
    elif version == 3:
        body, flags = b"\0\0\0\x06\0\0\0\0\0\0" + body, 0x40
    else:
        frames, at = b"", 0
        while at + 10 <= len(body) and body[at] != 0:
            n = sum(b << (21 - 7 * i) for i, b in enumerate(body[at + 4:at + 8]))
            d = body[at + 10:at + 10 + n]
            u = safe(len(d)) + unsync(d)
            frames += body[at:at + 4] + safe(len(u)) + body[at + 8:at + 9] + b"\x03" + u
            at += 10 + n
        body, flags = safe(6) + b"\x01\0" + frames, 0x40
    open(path, "wb").write(b"ID3" + bytes([version, 0, flags]) + safe(len(body)) + body + rest)
)PY";

// The frames of the tagged file that are not the seven (as mutagen would write them in v2.3),
// and those of mutagen's own update_to_v23() of the source.
const char kCompareKept[] = R"PY(
import sys, json
from mutagen.id3 import ID3
from mutagen.id3._tags import save_frame, ID3SaveConfig
src, out = ID3(sys.argv[1], translate=False), ID3(sys.argv[2], translate=False)
src.update_to_v23()
# v2.3 has no RVA2; mutagen's clean-up misses it because its key carries the description.
src.delall("RVA2")
cfg = ID3SaveConfig(3, "/")
seven = {"TIT2", "TPE1", "TALB", "TYER", "TCON", "TRCK", "COMM:Comments:eng"}
def kept(t):
    return sorted(save_frame(f, config=cfg).hex() for k, f in t.items() if k not in seven)
def unknown(t):
    return sorted(d.hex() for d in t.unknown_frames) if t._unknown_v2_version == 3 else []
print(json.dumps({"version": out.version[1], "kept": kept(out) + unknown(out),
                  "expected": kept(src) + unknown(src)}))
)PY";

// A v2.2 tag as an old tagger wrote it: 3-character IDs, 24-bit sizes.
QByteArray V22Tag()
{
    auto frame = [](const char* id, const QByteArray& data) {
        const auto n = static_cast<quint32>(data.size());
        return QByteArray(id, 3) + char(n >> 16) + char(n >> 8) + char(n) + data;
    };
    QByteArray utf16("\xFF\xFE", 2);
    for (const char16_t c : u"Text \u00e9\u6771")
        if (c)
            utf16.append(char(c & 0xFF)).append(char(c >> 8));
    const QByteArray frames = frame("TT2", B("\0Old", 4)) + frame("TYE", B("\0" "1980", 5)) +
                              frame("TP2", B("\x01", 1) + utf16) + frame("TXX", B("\0desc\0value", 11)) +
                              frame("COM", B("\0engnote\0body", 13)) +
                              frame("PIC", B("\0PNG\x03" "cover\0", 10) + QByteArray(3000, '\x89')) +
                              frame("ULT", B("\0eng\0words", 10)) + frame("CNT", B("\0\0\0\x05", 4)) +
                              frame("CRM", B("owner\0x", 7)) + QByteArray(20, '\0');
    return V2Header(2, 0, static_cast<quint32>(frames.size())) + frames;
}

// The tag with its frames unsynchronised as a whole (0xFF before 0x00 or 0xE0 and up, or last,
// gets a 0x00 behind it), flagged in its header.
QByteArray Unsynchronised(const QByteArray& tag)
{
    QByteArray body;
    const QByteArray frames = tag.mid(10);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        body += frames.at(i);
        const bool ff = quint8(frames.at(i)) == 0xFF;
        if (ff && (i + 1 == frames.size() || frames.at(i + 1) == 0 || quint8(frames.at(i + 1)) >= 0xE0))
            body += '\0';
    }
    return V2Header(quint8(tag.at(3)), 0x80, static_cast<quint32>(body.size())) + body;
}

} // namespace

TEST(Id3RealFiles, FramesBesideTheSevenAreKeptAsMutagenConvertsThem)
{
    LoadShippedGenres();
    const QByteArray audio = ReadAll(LameFile(Lame::Cbr128));
    const QByteArray second = V2Header(3, 0, 11) + B("TIT1\0\0\0\x01\0\0\0", 11); // a second tag stays
    struct Row {
        const char* what;
        int version; // 0: the hand-made v2.2 tag
        int atLeastKept;
        const char* shape = ""; // "unsync" or "extended": a tag mutagen would not write
    } rows[] = {{"v2.2", 0, 6},
                {"v2.3", 3, 10},
                {"v2.4", 4, 14},
                {"v2.2 unsynchronised", 0, 6, "unsync"},
                {"v2.3 unsynchronised", 3, 10, "unsync"},
                {"v2.3 extended header", 3, 10, "extended"},
                {"v2.4 frames unsynchronised, extended header", 4, 14, "extended"}};
    for (const Row& r : rows) {
        const QString dir = ScratchDir();
        const QString source = dir + "/source.mp3";
        if (r.version == 0) {
            ASSERT_TRUE(WriteAll(source, (*r.shape ? Unsynchronised(V22Tag()) : V22Tag()) + second + audio));
        } else {
            ASSERT_TRUE(WriteAll(source, second + audio));
            QByteArray err;
            QStringList args {"-c", kWriteOldTag, source, QString::number(r.version)};
            if (*r.shape)
                args << r.shape;
            ASSERT_EQ(RunProgram(SystemPython(), args, nullptr, &err), 0) << err.toStdString();
        }
        const QByteArray before = ReadAll(source);
        const qint64 oldTag = ID3v2TotalSize(before.left(10), before.size());
        ASSERT_GT(oldTag, 0) << r.what;
        const QString tagged = dir + "/tagged.mp3";
        ASSERT_TRUE(QFile::copy(source, tagged));
        QString why;
        ASSERT_TRUE(WriteID3Tags(SampleTag(), tagged, false, true, &why)) << r.what << why.toStdString();

        const QByteArray after = ReadAll(tagged);
        const QByteArray seven = BuildID3v2(SampleTag());
        const qint64 newTag = ID3v2TotalSize(after.left(10), after.size());
        EXPECT_TRUE(after.left(seven.size() - 1).mid(10) == seven.left(seven.size() - 1).mid(10)) << r.what;
        EXPECT_TRUE(after.mid(newTag) == before.mid(oldTag)) << r.what << ": behind the first tag";

        QByteArray out, err;
        ASSERT_EQ(RunProgram(SystemPython(), {"-c", kCompareKept, source, tagged}, &out, &err), 0) << err.toStdString();
        const QJsonObject read = QJsonDocument::fromJson(out).object();
        EXPECT_EQ(read["version"].toInt(), 3) << r.what;
        const QJsonArray kept = read["kept"].toArray();
        EXPECT_EQ(kept, read["expected"].toArray()) << r.what << "\n" << out.toStdString();
        EXPECT_GE(kept.size(), r.atLeastKept) << r.what;
    }
}

TEST(Id3Frames, CompressedFramesInflateWithinBounds)
{
    auto be32 = [](quint32 n) { return QByteArray(1, char(n >> 24)) + char(n >> 16) + char(n >> 8) + char(n); };
    auto safe = [](quint32 n) { return QByteArray(1, char(n >> 21 & 127)) + char(n >> 14 & 127) + char(n >> 7 & 127) + char(n & 127); };
    auto zlib = [](const QByteArray& plain) { return qCompress(plain, 9).mid(4); };
    // A v2.4 frame compressed behind its data-length indicator (by default its inflated size).
    auto packed = [&](const char* id, const QByteArray& plain, qsizetype announced = -1) {
        const QByteArray data = safe(quint32(announced < 0 ? plain.size() : announced)) + zlib(plain);
        return QByteArray(id, 4) + safe(quint32(data.size())) + B("\0\x09", 2) + data;
    };
    auto v23 = [&](const char* id, const QByteArray& data, char flags = 0) {
        return QByteArray(id, 4) + be32(quint32(data.size())) + '\0' + flags + data;
    };
    auto asIs = [&](const QByteArray& plain) { return v23("PRIV", be32(quint32(plain.size())) + zlib(plain), '\x80'); };
    const QByteArray big = "o" + QByteArray(17 << 20, '\0'), text = "\x03" "d" + QByteArray(17 << 20, 'x');
    const QByteArray fifteen(15 << 20, 'z');
    const QByteArray kept = v23("TIT1", B("\0kept", 5));
    struct Row {
        const char* what;
        QList<QByteArray> frames, expected;
    } rows[] = {
        {"small", {packed("PRIV", B("o\0ab", 4))}, {v23("PRIV", B("o\0ab", 4))}},
        {"zip bomb v2.3 holds compressed", {packed("PRIV", big)}, {asIs(big)}},
        {"zip bomb needing conversion", {packed("TXXX", text)}, {}},
        {"more than announced", {packed("TXXX", B("\x03" "d\0long text", 12), 4)}, {}},
        {"past the tag's budget", QList<QByteArray>(5, packed("PRIV", fifteen)),
         QList<QByteArray>(4, v23("PRIV", fifteen)) << asIs(fifteen)},
    };
    for (const Row& r : rows) {
        const QByteArray frames = r.frames.join() + kept;
        EXPECT_TRUE(ID3v2FramesAsV23(V2Header(4, 0, quint32(frames.size())) + frames) == r.expected + QList {kept})
            << r.what;
    }
}

TEST(Id3RealFiles, AFrontCoverReplacesTheOldOneAndKeepsTheOtherPictures)
{
    LoadShippedGenres();
    const QString path = ScratchDir() + "/cover.mp3";
    ASSERT_TRUE(WriteAll(path, ReadAll(LameFile(Lame::Cbr128))));
    ASSERT_EQ(RunProgram(SystemPython(), {"-c", kWriteOldTag, path, "3"}), 0);
    const char kPictures[] = R"PY(
import sys, json
from mutagen.id3 import ID3
print(json.dumps(sorted([p.type, p.mime, p.desc, p.data.hex()] for p in ID3(sys.argv[1]).getall("APIC"))))
)PY";
    const QJsonArray back {4, "image/jpeg", "back", QString(B("\xff\xd8\xff back", 8).toHex())};
    struct Row {
        QByteArray image;
        const char* mime;
    } rows[] = {{B("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "image/png"},
                {B("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + QByteArray(70000, '\xFF'), "image/jpeg"},
                {B("GIF89a\x01\0", 8), "image/gif"},
                {"not a known picture", "image/"}};
    for (const Row& r : rows) {
        TagWriteExtras extras;
        extras.frontCover = r.image;
        QString why;
        ASSERT_TRUE(WriteID3Tags(SampleTag(), path, false, true, &why, extras)) << r.mime << why.toStdString();
        QByteArray out;
        ASSERT_EQ(RunProgram(SystemPython(), {"-c", kPictures, path}, &out), 0);
        const QJsonArray front {3, r.mime, "", QString(r.image.toHex())};
        EXPECT_EQ(QJsonDocument::fromJson(out).array(), (QJsonArray {front, back})) << r.mime;
    }
}
