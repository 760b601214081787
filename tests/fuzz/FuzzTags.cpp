// Files of every format but MP3 come from anywhere: the tag layer's reading of them (format
// detection, TagLib's file classes over Tunora's stream, the field tables) never faults and
// answers only sane values, whatever the bytes.
#include "tags/Tags.h"

#include <QFile>
#include <cstdint>
#include <unistd.h>

static QString scratchPath()
{
    static const QString p = QStringLiteral("/tmp/tunora-fuzz-tags-%1.bin").arg(::getpid());
    return p;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tunora;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const AudioFormat kTaglibFormats[] = {
        AudioFormat::Flac, AudioFormat::OggVorbis, AudioFormat::Opus, AudioFormat::Mp4, AudioFormat::Wma,
        AudioFormat::Ape, AudioFormat::WavPack, AudioFormat::Musepack, AudioFormat::Aiff, AudioFormat::Wav};
    AudioFormat format = tags::SniffFormat(bytes.left(64));
    if (format == AudioFormat::Unknown || format == AudioFormat::Mp3 || format == AudioFormat::Vqf)
        format = kTaglibFormats[size % std::size(kTaglibFormats)]; // the glue of each format sees garbage too
    {
        // The quick FLAC and MP4 length readers work on the file itself.
        QFile f(scratchPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(bytes);
    }
    qint64 ms = -1;
    if (tags::ReadLength(scratchPath(), &ms) && ms < 0)
        __builtin_trap();
    tags::FileTags t;
    if (!tags::ReadTagsFromBytes(bytes, format, &t))
        return 0;
    const tags::TagFields& f = t.fields;
    if (t.format != format || t.lengthMs < -1 || f.track < 0 || f.trackTotal < 0 || f.disc < 0 || f.discTotal < 0)
        __builtin_trap();
    if (!f.cover.isEmpty() && (f.cover.mime.isEmpty() || f.cover.bytes.size() > bytes.size()))
        __builtin_trap();
    return 0;
}
