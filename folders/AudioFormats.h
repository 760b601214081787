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

// The format a file name belongs to, by its extension (the text after the last dot, any
// letter case). A name of four or more characters without a dot is taken by its last three
// letters when they spell a three-letter extension ("xmp3"), as the walks always took them.
AudioFormat FormatOfName(QStringView name);

// "*.ext" for every extension of format, or of every format when format is Unknown.
QStringList AudioFileMasks(AudioFormat format = AudioFormat::Unknown);

// A file dialog entry that shows its masks in its name as well:
// "<caption> (*.mp3; *.ogg; ...) (*.mp3 *.ogg ...)".
QString MediaFileFilter(const QString& caption);

// The extension a file of the chosen format keeps when it is renamed, lower case: its own
// when it is one of the format's ("Song.M4A" under MP4: "m4a"), else the format's first; a
// text that names no format is taken, in lower case, as the extension itself.
QString RenamedExtension(QStringView fileName, QStringView format);

// The formats for a usage line, lower case: "mp3, ogg, ... or aiff".
QString AudioFormatChoices();

} // namespace tunora
