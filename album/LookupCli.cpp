#include "album/LookupCli.h"

#include "album/MusicBrainzCli.h"
#include "freedb/FreedbCli.h"
#include "freedb/WebClient.h"
#include "shell/core/CliCommand.h"

#include <QFileInfo>

namespace tunora {

namespace {

// Reads the command line and which source answers. Answers -1 when the command goes on,
// else its exit code.
int Parse(CliCommand& cmd, const QStringList& args, bool& musicBrainz)
{
    const QString option = QStringLiteral("source"), timeout = QStringLiteral("timeout");
    cmd.addValue(option, QStringLiteral("cddb|musicbrainz"), QStringLiteral("where to look (cddb: the default)"));
    cmd.addValue(timeout, QStringLiteral("SECONDS"), QStringLiteral("how long the CDDB server may stay silent"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    if (cmd.isSet(timeout)) {
        bool ok = false;
        const int seconds = cmd.value(timeout).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 86400 || cmd.values(timeout).size() > 1)
            return cmd.usage(QStringLiteral("--timeout takes one whole number of seconds from 1 to 86400"));
        WebClient::instance().setStallTimeoutMs(seconds * 1000);
    }
    const QString source = cmd.value(option).toLower();
    musicBrainz = source == QLatin1String("musicbrainz");
    if (!source.isEmpty() && source != QLatin1String("cddb") && !musicBrainz)
        return cmd.usage(QStringLiteral("--source takes cddb or musicbrainz"));
    return -1;
}

} // namespace

int RunSearchCommand(const QStringList& args)
{
    CliCommand cmd("search");
    bool musicBrainz = false;
    if (const int code = Parse(cmd, args, musicBrainz); code >= 0)
        return code;
    return musicBrainz ? RunMusicBrainzSearch(cmd.words()) : RunCddbSearch(cmd.words());
}

int RunReadCommand(const QStringList& args)
{
    CliCommand cmd("read");
    bool musicBrainz = false;
    if (const int code = Parse(cmd, args, musicBrainz); code >= 0)
        return code;
    const QStringList words = cmd.words();
    if (words.size() != (musicBrainz ? 1 : 2))
        return cmd.usage(musicBrainz ? QStringLiteral("one release ID") : QStringLiteral("a category and a disc ID"));
    return musicBrainz ? RunMusicBrainzRead(words.at(0)) : RunCddbRead(words.at(0), words.at(1));
}

int RunQueryCommand(const QStringList& args)
{
    CliCommand cmd("query");
    cmd.addValue(QStringLiteral("format"), QStringLiteral("EXT"), QStringLiteral("the files' extension (mp3: the default)"));
    bool musicBrainz = false;
    if (const int code = Parse(cmd, args, musicBrainz); code >= 0)
        return code;
    const QStringList words = cmd.words();
    if (words.size() != 1 || !QFileInfo(words.at(0)).isDir())
        return cmd.usage(QStringLiteral("one folder"));
    const QString format = cmd.isSet(QStringLiteral("format")) ? cmd.value(QStringLiteral("format")) : QStringLiteral("mp3");
    return musicBrainz ? RunMusicBrainzQuery(words.at(0), format) : RunCddbQuery(words.at(0), format);
}

} // namespace tunora
