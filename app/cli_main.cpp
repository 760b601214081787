// tunora-cli: the program's work for batch use, on the same settings store.
#include "album/AlbumCli.h"
#include "dorvane/FileIo.h"
#include "lookup/LookupCli.h"
#include "audio/AudioCli.h"
#include "bulk/BulkCli.h"
#include "fingerprint/FingerprintCli.h"
#include "album/ImportCli.h"
#include "lister/ListerCli.h"
#include "playlist/PlaylistCli.h"
#include "shell/core/CliHelp.h"
#include "shell/core/Product.h"
#include "tags/JournalCli.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

struct Runner {
    const char* name;
    int (*run)(const QStringList&);
};

// Each command word of the help table (shell/core/CliHelp.cpp) and what runs it.
const Runner kRunners[] = {
    {"length", tunora::RunLengthCommand}, {"tag", tunora::RunTagCommand},     {"search", tunora::RunSearchCommand},
    {"read", tunora::RunReadCommand},     {"query", tunora::RunQueryCommand}, {"album", tunora::RunAlbumCommand},
    {"undo", tunora::RunUndoCommand},     {"rename", tunora::RunRenameCommand}, {"list", tunora::RunListCommand},
    {"playlist", tunora::RunPlaylistCommand}, {"show", tunora::RunShowCommand},
    {"fingerprint", tunora::RunFingerprintCommand}, {"journal", tunora::RunJournalCommand},
    {"import", tunora::RunImportCommand},
};

void printHelp(FILE* out)
{
    std::fputs(tunora::cli::HelpText().toUtf8().constData(), out);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tunora-cli");
    // From the bytes themselves: arguments() would turn a name that is not UTF-8 into another.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << dorvane::io::DecodeName(QByteArray(argv[i]));
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
    // What an interrupted run left half done is settled before any command reads a file.
    tunora::RecoverJournalAtStart();
    // undo without a file: the last run of the write journal; with one: an album journal.
    if (cmd == QLatin1String("undo") && args.isEmpty())
        return tunora::RunJournalUndoCommand(args);
    for (const Runner& c : kRunners)
        if (cmd == QLatin1String(c.name))
            return c.run(args);
    std::fprintf(stderr, "tunora-cli: unknown command '%s' (try --help)\n", cmd.toLocal8Bit().constData());
    return 2;
}
