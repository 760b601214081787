#include "playlist/PlaylistCli.h"

#include "album/FolderWalk.h"
#include "playlist/M3u.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace tunora {

namespace {
int usage(const QString& why)
{
    std::fprintf(stderr, "tunora-cli playlist: %s\n", why.toLocal8Bit().constData());
    std::fprintf(stderr, "usage: tunora-cli playlist --output FILE.m3u [--recurse] [--force] PATH...\n");
    return 2;
}

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

int RunPlaylistCommand(const QStringList& args)
{
    QString output;
    QStringList paths;
    bool recurse = false, force = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--output")) {
            if (i + 1 >= args.size())
                return usage(QStringLiteral("--output needs a file"));
            output = args.at(++i);
        } else if (a == QLatin1String("--recurse")) {
            recurse = true;
        } else if (a == QLatin1String("--force")) {
            force = true;
        } else if (a == QLatin1String("--")) {
            paths += args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("unknown option '%1'").arg(a));
        } else {
            paths << a;
        }
    }
    if (output.isEmpty())
        return usage(QStringLiteral("no --output file given"));
    if (paths.isEmpty())
        return usage(QStringLiteral("no file or folder given"));

    // Files in the order given; a folder adds its audio files in walk order.
    QStringList files;
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (info.isDir()) {
            files += WalkAudioFolder(absolute(p), recurse).files;
        } else if (info.isFile()) {
            files << absolute(p);
        } else {
            std::fprintf(stderr, "tunora-cli playlist: no such file or folder '%s'\n", p.toLocal8Bit().constData());
            return 1;
        }
    }

    const QString target = absolute(output);
    if (QFileInfo::exists(target) && !force) {
        std::fprintf(stderr, "tunora-cli playlist: '%s' exists (use --force to replace it)\n",
                     output.toLocal8Bit().constData());
        return 1;
    }
    QString error;
    if (!WriteFileAtomically(target, M3uText(files, QFileInfo(target).absolutePath()), &error, force)) {
        std::fprintf(stderr, "tunora-cli playlist: cannot write '%s': %s\n", output.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%lld entries written to %s\n", static_cast<long long>(files.size()),
                output.toLocal8Bit().constData());
    return 0;
}

} // namespace tunora
