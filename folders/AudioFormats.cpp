#include "folders/AudioFormats.h"

namespace tunora {

const QList<AudioFormatInfo>& AudioFormats()
{
    static const QList<AudioFormatInfo> formats {
        {AudioFormat::Mp3, QStringLiteral("MP3"), {QStringLiteral("mp3")}, true, true},
        {AudioFormat::OggVorbis, QStringLiteral("OGG"), {QStringLiteral("ogg"), QStringLiteral("oga")}, true, true},
        {AudioFormat::Vqf, QStringLiteral("VQF"), {QStringLiteral("vqf")}, false, false},
        {AudioFormat::Ape, QStringLiteral("APE"), {QStringLiteral("ape")}, true, true},
        {AudioFormat::Musepack, QStringLiteral("MPC"), {QStringLiteral("mpc")}, true, true},
        {AudioFormat::Mp4, QStringLiteral("MP4"), {QStringLiteral("mp4"), QStringLiteral("m4a")}, true, true},
        {AudioFormat::Wma, QStringLiteral("WMA"), {QStringLiteral("wma")}, true, true},
        {AudioFormat::Wav, QStringLiteral("WAV"), {QStringLiteral("wav")}, true, true},
        {AudioFormat::Flac, QStringLiteral("FLAC"), {QStringLiteral("flac")}, true, true},
        {AudioFormat::Opus, QStringLiteral("OPUS"), {QStringLiteral("opus")}, true, true},
        {AudioFormat::WavPack, QStringLiteral("WV"), {QStringLiteral("wv")}, true, true},
        {AudioFormat::Aiff, QStringLiteral("AIFF"), {QStringLiteral("aiff"), QStringLiteral("aif")}, true, true},
    };
    return formats;
}

const AudioFormatInfo& FormatInfo(AudioFormat format)
{
    static const AudioFormatInfo unknown {AudioFormat::Unknown, QString(), {}, false, false};
    for (const AudioFormatInfo& f : AudioFormats())
        if (f.format == format)
            return f;
    return unknown;
}

AudioFormat FormatOfExtension(QStringView ext)
{
    for (const AudioFormatInfo& f : AudioFormats())
        for (const QString& e : f.extensions)
            if (ext.compare(e, Qt::CaseInsensitive) == 0)
                return f.format;
    return AudioFormat::Unknown;
}

AudioFormat FormatOfPath(QStringView path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    if (dot < 0 || dot < slash)
        return AudioFormat::Unknown;
    return FormatOfExtension(path.mid(dot + 1));
}

AudioFormat FormatNamed(QStringView nameOrExtension)
{
    const QStringView t = nameOrExtension.trimmed();
    for (const AudioFormatInfo& f : AudioFormats())
        if (t.compare(f.name, Qt::CaseInsensitive) == 0)
            return f.format;
    return FormatOfExtension(t);
}

QStringList AudioFormatNames()
{
    QStringList names;
    for (const AudioFormatInfo& f : AudioFormats())
        names.append(f.name);
    return names;
}

QStringList AudioExtensions()
{
    QStringList exts;
    for (const AudioFormatInfo& f : AudioFormats())
        exts.append(f.extensions);
    return exts;
}

QString AudioFileFilter(const QString& caption)
{
    return caption + QStringLiteral(" (") + AudioFileMasks().join(u' ') + u')';
}

AudioFormat FormatOfName(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        return FormatOfExtension(name.mid(dot + 1));
    if (name.size() < 4)
        return AudioFormat::Unknown;
    const QStringView tail = name.right(3);
    for (const AudioFormatInfo& f : AudioFormats())
        for (const QString& e : f.extensions)
            if (e.size() == 3 && tail.compare(e, Qt::CaseInsensitive) == 0)
                return f.format;
    return AudioFormat::Unknown;
}

QStringList AudioFileMasks(AudioFormat format)
{
    QStringList masks;
    for (const QString& e : format == AudioFormat::Unknown ? AudioExtensions() : FormatInfo(format).extensions)
        masks.append(QStringLiteral("*.") + e);
    return masks;
}

QString MediaFileFilter(const QString& caption)
{
    return AudioFileFilter(caption + QStringLiteral(" (") + AudioFileMasks().join(QStringLiteral("; ")) + u')');
}

QString RenamedExtension(QStringView fileName, QStringView format)
{
    const AudioFormat f = FormatNamed(format);
    if (f == AudioFormat::Unknown)
        return format.toString().toLower();
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot > 0 && FormatOfExtension(fileName.mid(dot + 1)) == f)
        return fileName.mid(dot + 1).toString().toLower();
    return FormatInfo(f).extensions.first();
}

QString AudioFormatChoices()
{
    QStringList names = AudioFormatNames();
    for (QString& n : names)
        n = n.toLower();
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace tunora
