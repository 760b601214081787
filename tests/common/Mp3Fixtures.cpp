#include "tests/common/Mp3Fixtures.h"

#include "tests/common/TestSupport.h"

#include <QFile>
#include <QtEndian>
#include <cmath>

namespace tunora::test {

bool MakeWav(const QString& path, double seconds, int channels, int sampleRate, int frequency)
{
    const qint64 frames = static_cast<qint64>(seconds * sampleRate);
    const quint32 dataBytes = static_cast<quint32>(frames * channels * 2);
    QByteArray b;
    auto u32 = [&](quint32 v) { char x[4]; qToLittleEndian(v, x); b.append(x, 4); };
    auto u16 = [&](quint16 v) { char x[2]; qToLittleEndian(v, x); b.append(x, 2); };
    b.append("RIFF");
    u32(36 + dataBytes);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(static_cast<quint16>(channels));
    u32(static_cast<quint32>(sampleRate));
    u32(static_cast<quint32>(sampleRate * channels * 2));
    u16(static_cast<quint16>(channels * 2));
    u16(16);
    b.append("data");
    u32(dataBytes);
    b.reserve(b.size() + static_cast<qsizetype>(dataBytes));
    for (qint64 i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        // A tone with a slow sweep, so VBR encoding varies its frame sizes.
        const double v = 0.4 * std::sin(2 * M_PI * (frequency + 200 * std::sin(t)) * t);
        const auto s = static_cast<qint16>(v * 32767);
        for (int c = 0; c < channels; ++c)
            u16(static_cast<quint16>(s));
    }
    return WriteAll(path, b);
}

bool MakeMp3(const QString& path, double seconds, const QStringList& lameArgs, int channels, int sampleRate)
{
    const QString wav = path + ".src.wav";
    if (!MakeWav(wav, seconds, channels, sampleRate))
        return false;
    QStringList args {"--quiet"};
    args << lameArgs << wav << path;
    const int rc = RunProgram("lame", args);
    QFile::remove(wav);
    return rc == 0 && QFile::exists(path);
}

double FfprobeDuration(const QString& path)
{
    QByteArray out;
    const int rc = RunProgram("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of",
                                          "default=noprint_wrappers=1:nokey=1", path},
                              &out);
    if (rc != 0)
        return -1;
    bool ok = false;
    const double d = out.trimmed().toDouble(&ok);
    return ok ? d : -1;
}

QString SystemPython()
{
    return QStringLiteral("/usr/bin/python3");
}

} // namespace tunora::test
