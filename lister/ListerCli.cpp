#include "lister/ListerCli.h"

#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "lister/Lister.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Shared.h"

#include <QFileInfo>
#include <cstdio>

namespace tunora {

int RunListCommand(const QStringList& args)
{
    CliCommand cmd("list");
    cmd.addFlag(QStringLiteral("recurse"), QStringLiteral("list the folders below DIR too"));
    cmd.addValue(QStringLiteral("formats"), QStringLiteral("LIST"), QStringLiteral("the formats listed (default mp3)"));
    cmd.addValue(QStringLiteral("pattern"), QStringLiteral("P"),
                 QStringLiteral("one line per file: %1 name, %2 extension, %3 format, %4 size, %5 folder"));
    cmd.addValue(QStringLiteral("output"), QStringLiteral("FILE"), QStringLiteral("the listing written"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    const QString output = cmd.value(QStringLiteral("output"));
    const QString pattern = cmd.isSet(QStringLiteral("pattern")) ? cmd.value(QStringLiteral("pattern"))
                                                                  : ListerPatterns().first();
    const bool recurse = cmd.isSet(QStringLiteral("recurse"));
    QStringList formats {QStringLiteral("MP3")};
    if (cmd.isSet(QStringLiteral("formats"))) {
        formats.clear();
        for (const QString& f : cmd.value(QStringLiteral("formats")).split(',', Qt::SkipEmptyParts)) {
            const AudioFormat format = FormatNamed(f);
            if (format == AudioFormat::Unknown)
                return cmd.usage(QStringLiteral("unknown format '%1' (the formats are %2)")
                                     .arg(f.trimmed(), ListerFormats().join(',').toLower()));
            formats << FormatInfo(format).name;
        }
        if (formats.isEmpty())
            return cmd.usage(QStringLiteral("--formats names no format"));
    }
    const QStringList words = cmd.words();
    if (words.size() > 1)
        return cmd.usage(QStringLiteral("one folder only ('%1')").arg(words.at(1)));
    const QString dir = words.value(0);
    if (dir.isEmpty())
        return cmd.usage(QStringLiteral("no folder given"));
    if (output.isEmpty())
        return cmd.usage(QStringLiteral("no --output file given"));
    if (!dorvane::io::IsFolder(dir))
        return cmd.fail(QStringLiteral("'%1' is not a folder").arg(dir));

    const ListingResult result = BuildListing(dir, pattern, formats, recurse);
    QString error;
    if (result.cancelled || !WriteFileAtomically(output, result.bytes, &error))
        return cmd.fail(QStringLiteral("cannot write '%1': %2").arg(output, error));
    std::printf("%d files in %d folders listed in %s\n", result.filesListed, result.foldersWalked,
                output.toLocal8Bit().constData());
    return 0;
}

} // namespace tunora
