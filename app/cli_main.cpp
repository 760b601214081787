// tunora-cli: the program's work for batch use, on the same settings store.
#include "album/AlbumCli.h"
#include "album/MusicBrainzCli.h"
#include "audio/AudioCli.h"
#include "bulk/BulkCli.h"
#include "freedb/FreedbCli.h"
#include "lister/ListerCli.h"
#include "playlist/PlaylistCli.h"
#include "shell/core/Product.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList&);
    const char* usage;
};

const Command kCommands[] = {
    {"length", tunora::RunLengthCommand, "length FILE...                 playing time in milliseconds"},
    {"tag", tunora::RunTagCommand,
     "tag [--v1] [--v2] [--title T] [--artist A] [--album B] [--year Y] [--track N]\n"
     "      [--genre G] [--comment C] FILE...   write ID3 tags"},
    {"search", tunora::RunSearchCommand,
     "search [--source cddb|musicbrainz] WORDS...   search the CDDB web site or MusicBrainz"},
    {"read", tunora::RunReadCommand,
     "read CATEGORY DISCID | read --source musicbrainz RELEASE-ID   read one disc record"},
    {"query", tunora::RunQueryCommand,
     "query DIR [--source cddb|musicbrainz] [--format mp3]   find the disc by the files' playing times"},
    {"album", tunora::RunAlbumCommand,
     "album DIR (--read CATEGORY DISCID | --mb RELEASE-ID | --xmcd FILE) [--format mp3]\n"
     "      [--sort none|fast|optimal] [--no-rename] [--no-v1] [--no-v2] [--no-playlist]\n"
     "      [--genre G] [--dry-run]   tag, rename and list an album"},
    {"rename", tunora::RunRenameCommand,
     "rename [--multi] [--case lc|uc|fluc] [--unmerge | --merge] [--under | --space]\n"
     "      [--recurse] [--dry-run] PATH...   bulk renamer"},
    {"list", tunora::RunListCommand,
     "list DIR [--recurse] [--formats mp3,ogg,...] [--pattern P] --output FILE   file listing"},
    {"playlist", tunora::RunPlaylistCommand,
     "playlist --output FILE.m3u [--recurse] [--force] PATH...   M3U playlist"},
};

void printHelp(FILE* out)
{
    std::fprintf(out, "Usage: tunora-cli COMMAND [OPTIONS]\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n", c.usage);
    std::fprintf(out, "%s", tunora::kMusicBrainzUsage);
    std::fprintf(out, "\n  --help       this text\n  --version    the program's version\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tunora-cli");
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        printHelp(stderr);
        return 2;
    }
    const QString cmd = args.takeFirst();
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h") || cmd == QLatin1String("help")) {
        printHelp(stdout);
        return 0;
    }
    if (cmd == QLatin1String("--version")) {
        std::printf("%s %s\n", tunora::product::kName, tunora::product::kVersion);
        return 0;
    }
    if (const int code = tunora::RunSourceCommand(cmd, args); code >= 0)
        return code;
    for (const Command& c : kCommands)
        if (cmd == QLatin1String(c.name))
            return c.run(args);
    std::fprintf(stderr, "tunora-cli: unknown command '%s' (try --help)\n", cmd.toLocal8Bit().constData());
    return 2;
}
