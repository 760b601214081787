#include "tests/audio/AudioTestFiles.h"

#include "shell/core/Genres.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tunora::test {

namespace {

QTemporaryDir& fixtureDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Reads both tags as mutagen sees them; prints one JSON object.
const char kMutagenScript[] = R"PY(
import json, sys
from mutagen.id3 import ID3, ParseID3v1, ID3NoHeaderError
path = sys.argv[1]
out = {"v2": {}, "v1": {}, "v2version": ""}
def frames(d):
    r = {}
    for key, f in d.items():
        if key.startswith("COMM"):
            r["COMM"] = {"lang": f.lang, "desc": f.desc, "text": str(f.text[0]) if f.text else "",
                         "encoding": int(f.encoding)}
        elif key.startswith("APIC"):
            r["APIC"] = {"type": int(f.type), "mime": f.mime, "desc": f.desc, "data": f.data.hex()}
        elif hasattr(f, "text"):
            r[f.FrameID] = {"text": str(f.text[0]) if f.text else "", "encoding": int(f.encoding)}
    return r
try:
    t = ID3(path, translate=False, load_v1=False)
    out["v2version"] = ".".join(str(v) for v in t.version)
    out["v2"] = frames(t)
except ID3NoHeaderError:
    pass
with open(path, "rb") as fh:
    fh.seek(0, 2)
    if fh.tell() >= 128:
        fh.seek(-128, 2)
        v1 = ParseID3v1(fh.read(128))
        if v1:
            out["v1"] = frames(v1)
print(json.dumps(out))
)PY";

} // namespace

double LameSeconds()
{
    return 10.0;
}

QString LameFile(Lame kind)
{
    static QString made[3];
    QString& path = made[static_cast<int>(kind)];
    if (!path.isEmpty())
        return path;
    const QString dir = fixtureDir().path() + "/lame";
    QDir().mkpath(dir);
    bool ok = false;
    switch (kind) {
    case Lame::Cbr128:
        path = dir + "/cbr128.mp3";
        ok = MakeMp3(path, LameSeconds(), {"-b", "128"});
        break;
    case Lame::Vbr:
        path = dir + "/vbr.mp3";
        ok = MakeMp3(path, LameSeconds(), {"-V", "0"});
        break;
    case Lame::MonoVbr:
        path = dir + "/mono.mp3";
        ok = MakeMp3(path, LameSeconds(), {"-V", "0", "-m", "m"}, 1);
        break;
    }
    EXPECT_TRUE(ok) << "lame could not make " << path.toStdString();
    return path;
}

QString ScratchDir()
{
    static int n = 0;
    const QString dir = fixtureDir().path() + "/scratch" + QString::number(++n);
    QDir().mkpath(dir);
    return dir;
}

QString ScratchCopy(const QString& source, const QString& name)
{
    const QString to = ScratchDir() + "/" + name;
    EXPECT_TRUE(QFile::copy(source, to)) << source.toStdString();
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return to;
}

QByteArray V2Header(int major, int flags, quint32 size)
{
    QByteArray h("ID3");
    h.append(static_cast<char>(major));
    h.append('\0');
    h.append(static_cast<char>(flags));
    h.append(static_cast<char>((size >> 21) & 0x7F));
    h.append(static_cast<char>((size >> 14) & 0x7F));
    h.append(static_cast<char>((size >> 7) & 0x7F));
    h.append(static_cast<char>(size & 0x7F));
    return h;
}

QByteArray PictureTag()
{
    // Picture data: a JPEG-like start and a run of bytes holding frame-sync look-alikes.
    QByteArray picture("\xFF\xD8\xFF\xE0", 4);
    for (int i = 0; i < 500; ++i)
        picture.append("\xFF\xFB\x90\x64", 4);
    const QByteArray data = QByteArray("\0image/jpeg\0\x03\0", 14) + picture; // enc, mime, type, desc
    QByteArray frame("APIC");
    const auto n = static_cast<quint32>(data.size());
    frame.append(static_cast<char>(n >> 24)).append(static_cast<char>(n >> 16));
    frame.append(static_cast<char>(n >> 8)).append(static_cast<char>(n));
    frame.append(2, '\0');
    frame += data;
    frame.append(64, '\0'); // padding
    return V2Header(3, 0, static_cast<quint32>(frame.size())) + frame;
}

QJsonObject MutagenRead(const QString& path)
{
    const QString script = fixtureDir().path() + "/read_tags.py";
    if (!QFile::exists(script))
        WriteAll(script, kMutagenScript);
    QByteArray out, err;
    const int rc = RunProgram(SystemPython(), {script, path}, &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return QJsonDocument::fromJson(out).object();
}

void LoadShippedGenres()
{
    ASSERT_EQ(LoadGenreTable(SourceDir() + "/data/styles.dat"), GenreLoad::Ok);
}

} // namespace tunora::test
