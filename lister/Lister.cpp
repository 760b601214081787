#include "lister/Lister.h"

#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "folders/FolderWalk.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QLocale>

#include <algorithm>

namespace tunora {

QStringList ListerFormats()
{
    return AudioFormatNames();
}

QStringList ListerPatterns()
{
    return {"[%3] %1%2", "[%3] %1%2 (%4)", "%5%1%2"};
}

QString ListerPatternSetting()
{
    return toolctl().RegistryRead(kSettingsRoot, QString::fromLatin1(kListerSettingsPath),
                                  QString::fromLatin1(kListerPatternSetting));
}

void SetListerPatternSetting(const QString& pattern)
{
    toolctl().RegistryWrite(kSettingsRoot, QString::fromLatin1(kListerSettingsPath),
                            QString::fromLatin1(kListerPatternSetting), pattern);
}

QString ListerFill(const QString& pattern, const QString& v1, const QString& v2, const QString& v3,
                   const QString& v4, const QString& v5)
{
    return FillPlaceholders(pattern.trimmed(), {v1, v2, v3, v4, v5});
}

static QString megabytes(double mb)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(mb, 'f', 2) + QLatin1String(" Mb");
}

QString ListerSizeText(qint64 bytes)
{
    return megabytes(static_cast<double>(bytes) / 1048576.0);
}

QString ListerSample(const QString& pattern)
{
    return ListerFill(pattern, QStringLiteral("01 - Zero"), QStringLiteral(".mp3"), QStringLiteral("MP3"),
                      megabytes(5.56), QStringLiteral("/MP3/Rock/SP/"));
}

QString ListerStartPattern(const QString& saved)
{
    if (ListerSample(saved) != saved)
        return saved;
    return ListerPatterns().first();
}

bool ListerWantsName(const QString& name, const QStringList& formats)
{
    if (name.size() < 4)
        return false;
    const AudioFormat format = FormatOfName(name);
    if (format == AudioFormat::Unknown)
        return false;
    for (const QString& f : formats)
        if (FormatNamed(f) == format)
            return true;
    return false;
}

QString ListerLine(const QString& pattern, const QString& name, const QString& folder, qint64 bytes)
{
    // The size is written only when the line shows it.
    const QString size = pattern.contains(QLatin1String("%4")) ? ListerSizeText(bytes) : QString();
    // Name and extension part at the last dot; a name without one ("xmp3") keeps the split
    // before its last four characters.
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot >= 0 ? dot : std::max<qsizetype>(0, name.size() - 4);
    const QString formatName = FormatInfo(FormatOfName(name)).name;
    return ListerFill(pattern, name.left(cut), name.mid(cut),
                      formatName.isEmpty() ? name.mid(dot + 1).toUpper() : formatName, size,
                      JoinFolder(folder, QString()));
}

QString ListingFileName(const QString& typed)
{
    QString name = CleanFileName(typed).trimmed();
    if (name.size() >= 4 && !name.endsWith(QLatin1String(".txt")))
        name += QLatin1String(".txt");
    return name;
}

QString JoinFolder(const QString& folder, const QString& name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

ListingResult BuildListing(const QString& input, const QString& pattern, const QStringList& formats, bool recurse,
                           const std::function<bool(const QString& fileName)>& keepGoing)
{
    ListingResult result;
    QString lastName;
    const bool needsSize = pattern.contains(QLatin1String("%4"));
    const WalkOutcome walk = WalkFolders(input, recurse, [&](const WalkedFolder& folder) {
        // Once per folder the caller may show the file last listed and stop the walk.
        if (keepGoing && !keepGoing(lastName))
            return WalkStep::Stop;
        QString text;
        for (const FolderEntry& e : folder.entries) {
            if (e.kind == EntryKind::Other || (e.kind == EntryKind::Folder && recurse))
                continue;
            if (!ListerWantsName(e.name, formats))
                continue;
            // The size is read only when the line shows it; a folder listed as a file (no
            // recursion) shows a size of 0.
            const qint64 size = e.kind == EntryKind::File && needsSize ? folder.sizeOf(e) : 0;
            text += ListerLine(pattern, e.name, folder.path, size);
            text += QLatin1String("\r\n");
            ++result.filesListed;
            lastName = e.name;
        }
        if (!text.trimmed().isEmpty()) {
            result.bytes += '[' + dorvane::io::EncodeName(folder.path) + "]\r\n";
            result.bytes += dorvane::io::EncodeName(text); // a name's own bytes, as they are
            result.bytes += "\r\n";
        }
        return WalkStep::Go;
    });
    result.foldersWalked = walk.folders;
    if (walk.stopped) {
        result.cancelled = true;
        result.bytes.clear(); // nothing of a stopped listing is written
    }
    return result;
}

} // namespace tunora
