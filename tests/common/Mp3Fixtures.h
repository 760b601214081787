// Real MP3 files for tests, encoded by lame from a generated tone.
#pragma once

#include <QString>
#include <QStringList>

namespace tunora::test {

// Writes a 16-bit PCM WAV file of a tone: seconds long, channels 1 or 2, at sampleRate.
bool MakeWav(const QString& path, double seconds, int channels = 2, int sampleRate = 44100, int frequency = 440);

// Encodes a tone with lame into path. lameArgs such as {"-b","128"} (CBR) or {"-V","4"} (VBR with
// a Xing header), {"-m","m"} for mono. Answers false when lame is missing or fails.
bool MakeMp3(const QString& path, double seconds, const QStringList& lameArgs = {"-b", "128"}, int channels = 2,
             int sampleRate = 44100);

// Duration in seconds as ffprobe reports it; negative when ffprobe fails.
double FfprobeDuration(const QString& path);

// /usr/bin/python3, which carries Debian's mutagen and pyftpdlib.
QString SystemPython();

} // namespace tunora::test
