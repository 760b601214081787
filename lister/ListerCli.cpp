#include "lister/ListerCli.h"

#include "lister/Lister.h"
#include "shell/core/Shared.h"

#include <QFileInfo>
#include <cstdio>

namespace tunora {

namespace {
int usage(const QString& why)
{
    std::fprintf(stderr, "tunora-cli list: %s\n", why.toLocal8Bit().constData());
    std::fprintf(stderr,
                 "usage: tunora-cli list DIR [--recurse] [--formats mp3,ogg,...] [--pattern P] --output FILE\n");
    return 2;
}
} // namespace

int RunListCommand(const QStringList& args)
{
    QString dir, output, pattern = ListerPatterns().first();
    QStringList formats {QStringLiteral("MP3")};
    bool recurse = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](QString* into) {
            if (i + 1 >= args.size())
                return false;
            *into = args.at(++i);
            return true;
        };
        if (a == QLatin1String("--recurse")) {
            recurse = true;
        } else if (a == QLatin1String("--output")) {
            if (!value(&output))
                return usage(QStringLiteral("--output needs a file"));
        } else if (a == QLatin1String("--pattern")) {
            if (!value(&pattern))
                return usage(QStringLiteral("--pattern needs a pattern"));
        } else if (a == QLatin1String("--formats")) {
            QString list;
            if (!value(&list))
                return usage(QStringLiteral("--formats needs a list"));
            formats.clear();
            for (QString f : list.split(',', Qt::SkipEmptyParts)) {
                if (!ComboContains(f, ListerFormats()))
                    return usage(QStringLiteral("unknown format '%1' (the formats are %2)")
                                     .arg(f, ListerFormats().join(',').toLower()));
                formats << f.toUpper();
            }
            if (formats.isEmpty())
                return usage(QStringLiteral("--formats names no format"));
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("unknown option '%1'").arg(a));
        } else if (dir.isEmpty()) {
            dir = a;
        } else {
            return usage(QStringLiteral("one folder only ('%1')").arg(a));
        }
    }
    if (dir.isEmpty())
        return usage(QStringLiteral("no folder given"));
    if (output.isEmpty())
        return usage(QStringLiteral("no --output file given"));
    if (!QFileInfo(dir).isDir()) {
        std::fprintf(stderr, "tunora-cli list: '%s' is not a folder\n", dir.toLocal8Bit().constData());
        return 1;
    }

    const ListingResult result = BuildListing(dir, pattern, formats, recurse);
    QString error;
    if (result.cancelled || !WriteFileAtomically(output, result.bytes, &error)) {
        std::fprintf(stderr, "tunora-cli list: cannot write '%s': %s\n", output.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%d files in %d folders listed in %s\n", result.filesListed, result.foldersWalked,
                output.toLocal8Bit().constData());
    return 0;
}

} // namespace tunora
