#include "playlist/PlaylistCli.h"

#include "dorvane/FileIo.h"
#include "folders/FolderWalk.h"
#include "playlist/M3u.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace tunora {

namespace {
QString absolute(const QString& path)
{
    return dorvane::io::AbsolutePath(path);
}
} // namespace

int RunPlaylistCommand(const QStringList& args)
{
    CliCommand cmd("playlist");
    cmd.addValue(QStringLiteral("output"), QStringLiteral("FILE.m3u"), QStringLiteral("the playlist written"));
    cmd.addFlag(QStringLiteral("recurse"), QStringLiteral("a folder adds the folders below it too"));
    cmd.addFlag(QStringLiteral("force"), QStringLiteral("replace an existing playlist"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    const QString output = cmd.value(QStringLiteral("output"));
    const bool recurse = cmd.isSet(QStringLiteral("recurse")), force = cmd.isSet(QStringLiteral("force"));
    const QStringList paths = cmd.words();
    if (output.isEmpty())
        return cmd.usage(QStringLiteral("no --output file given"));
    if (paths.isEmpty())
        return cmd.usage(QStringLiteral("no file or folder given"));

    // Files in the order given; a folder adds its audio files in walk order.
    QStringList files;
    for (const QString& p : paths) {
        if (dorvane::io::IsFolder(p)) {
            files += WalkAudioFolder(absolute(p), recurse).files;
        } else if (dorvane::io::IsFile(p)) {
            files << absolute(p);
        } else {
            return cmd.fail(QStringLiteral("no such file or folder '%1'").arg(p));
        }
    }

    const QString target = absolute(output);
    if (dorvane::io::Exists(target) && !force)
        return cmd.fail(QStringLiteral("'%1' exists (use --force to replace it)").arg(output));
    QString error;
    QStringList leftOut;
    const QByteArray bytes = M3uText(files, dorvane::io::AbsoluteFolder(target), &leftOut);
    if (!WriteFileAtomically(target, bytes, &error, force))
        return cmd.fail(QStringLiteral("cannot write '%1': %2").arg(output, error));
    if (!leftOut.isEmpty())
        cmd.tell(LeftOutMessage(leftOut));
    std::printf("%lld entries written to %s\n", static_cast<long long>(files.size() - leftOut.size()),
                output.toLocal8Bit().constData());
    return leftOut.isEmpty() ? 0 : 1;
}

} // namespace tunora
