// MP3 files for the audio tests, made once per test program in a temporary folder.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tunora::test {

enum class Lame {
    Cbr128,    // stereo, 128 kbit/s, 44.1 kHz
    Vbr,       // stereo, VBR with a Xing header
    MonoVbr,   // one channel, VBR, Xing tag at offset 21
};

// Path of a lame-made file of the kind (made on first use; the test fails when lame fails).
// Copy before changing it.
QString LameFile(Lame kind);
double LameSeconds();

// A scratch copy of source in a fresh temporary folder of the test program.
QString ScratchCopy(const QString& source, const QString& name = QStringLiteral("track.mp3"));
QString ScratchDir();

// ID3v2 header bytes: "ID3", version, revision, flags, syncsafe size.
QByteArray V2Header(int major, int flags, quint32 size);
// An ID3v2.3 tag holding one APIC picture whose data contains 0xFF 0xFB pairs.
QByteArray PictureTag();

// mutagen's reading of the file: {"v2": {...frames...}, "v2version": "2.3.0", "v1": {...}}.
QJsonObject MutagenRead(const QString& path);

// Loads the genre names shipped with the program into the genre table.
void LoadShippedGenres();

} // namespace tunora::test
