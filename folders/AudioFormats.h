// The one list of the audio formats Tunora knows: their names as the format box and the
// lister show them, their file extensions, and what Tunora can do with each.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tunora {

enum class AudioFormat {
    Unknown,
    Mp3,
    Flac,
    OggVorbis,
    Opus,
    Mp4,
    Wma,
    Ape,
    WavPack,
    Musepack,
    Aiff,
    Wav,
    Vqf,
};

struct AudioFormatInfo {
    AudioFormat format;
    QString name;           // "MP3", "FLAC", ...: the format box's entry and the lister's %3
    QStringList extensions; // lower case, no dot; the first is the one new files get
    bool measured;          // Tunora reads its playing time
    bool tagged;            // Tunora writes its tags
};

// Every known format, in the format box's order (MP3 first).
const QList<AudioFormatInfo>& AudioFormats();

// The entry of one format; the Unknown entry (empty name, no extension) for Unknown.
const AudioFormatInfo& FormatInfo(AudioFormat format);

// The format a file extension (no dot, any letter case) belongs to, else Unknown.
AudioFormat FormatOfExtension(QStringView ext);

// The format a path's extension names (the text after its last dot), else Unknown.
AudioFormat FormatOfPath(QStringView path);

// The format whose name (any letter case) is given, else Unknown: "mp3", "FLAC", "m4a"
// (an extension names its format too, so the command line takes either).
AudioFormat FormatNamed(QStringView nameOrExtension);

// The names of the formats, in order, for format boxes and usage lines.
QStringList AudioFormatNames();

// Every extension of every format, lower case, in order.
QStringList AudioExtensions();

// A file dialog's filter for every format: "<caption> (*.mp3 *.flac ...)".
QString AudioFileFilter(const QString& caption);

} // namespace tunora
