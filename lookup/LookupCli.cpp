#include "lookup/LookupCli.h"

#include "lookup/AcoustIdSource.h"
#include "lookup/CddbSource.h"
#include "folders/FolderWalk.h"
#include "lookup/MusicBrainzSource.h"
#include "lookup/PlayingTimes.h"
#include "freedb/Search.h"
#include "freedb/WebClient.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>

namespace tunora {

namespace {

void Out(const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

// Tabs or line breaks inside a field would break the one-line-per-result output.
QString Field(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return text;
}

// CDDB rows: category, disc ID, title. MusicBrainz rows: release ID, artist / title, date,
// track count. AcoustID rows: as MusicBrainz's, best first.
int PrintHits(const CliCommand& cmd, const LookupSource& source, const QList<LookupHit>& hits)
{
    const auto* mb = qobject_cast<const MusicBrainzSource*>(&source);
    const auto* aid = qobject_cast<const AcoustIdSource*>(&source);
    if (mb || aid) {
        const QList<MbRelease>& releases = mb ? mb->lastReleases() : aid->lastReleases();
        if (releases.isEmpty())
            return cmd.fail(QStringLiteral("no release found"));
        for (const MbRelease& r : releases)
            Out(r.id + QLatin1Char('\t') + Field(r.artist + QStringLiteral(" / ") + r.title) + QLatin1Char('\t') +
                            Field(r.date) + QLatin1Char('\t') + QString::number(r.trackCount));
        return 0;
    }
    if (hits.isEmpty())
        return cmd.fail(QStringLiteral("no disc found"));
    for (const LookupHit& h : hits)
        Out(Field(h.group) + QLatin1Char('\t') + Field(h.id) + QLatin1Char('\t') + Field(h.display));
    return 0;
}

// The read output of a disc: ARTIST=, ALBUM=, YEAR=, then number, frames and title per track.
void PrintDisc(const LookupDisc& disc)
{
    Out(QLatin1String("ARTIST=") + Field(disc.artist));
    Out(QLatin1String("ALBUM=") + Field(disc.album));
    Out(QLatin1String("YEAR=") + Field(disc.year));
    for (qsizetype i = 0; i < disc.tracks.size(); ++i)
        Out(QString::number(i + 1) + QLatin1Char('\t') + QString::number(disc.tracks.at(i).frames) +
                        QLatin1Char('\t') + Field(disc.tracks.at(i).title));
}

// Reads the command line and builds the source that answers. Answers -1 when the command
// goes on, else its exit code.
int Parse(CliCommand& cmd, const QStringList& args, std::unique_ptr<LookupSource>& source)
{
    const QString option = QStringLiteral("source"), timeout = QStringLiteral("timeout");
    cmd.addValue(option, QStringLiteral("cddb|musicbrainz|acoustid"), QStringLiteral("where to look (cddb: the default)"));
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
    const QString name = cmd.value(option).toLower();
    if (name == QLatin1String("musicbrainz"))
        source = std::make_unique<MusicBrainzSource>();
    else if (name == QLatin1String("acoustid"))
        source = std::make_unique<AcoustIdSource>();
    else if (name.isEmpty() || name == QLatin1String("cddb"))
        source = std::make_unique<CddbSource>();
    else
        return cmd.usage(QStringLiteral("--source takes cddb, musicbrainz or acoustid"));
    return -1;
}

// AcoustID's hits are MusicBrainz releases, read from there.
bool IsMusicBrainz(const LookupSource& source)
{
    return source.name() == MusicBrainzSource::sourceName() || source.name() == AcoustIdSource::sourceName();
}

} // namespace

int RunSearchCommand(const QStringList& args)
{
    CliCommand cmd("search");
    std::unique_ptr<LookupSource> source;
    if (const int code = Parse(cmd, args, source); code >= 0)
        return code;
    const QString words = CleanQueryWords(cmd.words().join(QLatin1Char(' ')));
    if (IsMusicBrainz(*source) ? LuceneQuery(words, false).isEmpty() : words.isEmpty())
        return cmd.fail(IsMusicBrainz(*source) ? QStringLiteral("usage: tunora-cli search --source musicbrainz WORDS...")
                                               : QStringLiteral("usage: tunora-cli search [--timeout SECONDS] WORDS..."),
                        2);
    const LookupOutcome o = AwaitLookup(*source, [&] { source->searchWords(words, false); });
    if (!o.ok)
        return cmd.fail(source->lastError());
    return PrintHits(cmd, *source, o.hits);
}

int RunReadCommand(const QStringList& args)
{
    CliCommand cmd("read");
    std::unique_ptr<LookupSource> source;
    if (const int code = Parse(cmd, args, source); code >= 0)
        return code;
    const bool musicBrainz = IsMusicBrainz(*source);
    const QStringList words = cmd.words();
    if (words.size() != (musicBrainz ? 1 : 2))
        return cmd.usage(musicBrainz ? QStringLiteral("one release ID") : QStringLiteral("a category and a disc ID"));
    const LookupHit hit = musicBrainz ? LookupHit{source->name(), words.at(0), {}, 0, {}}
                                      : LookupHit{source->name(), words.at(1), words.at(0), 0, {}};
    LookupDisc disc;
    QString why;
    if (!ReadLookupDisc(*source, hit, disc, &why))
        return cmd.fail(why);
    PrintDisc(disc);
    return 0;
}

int RunQueryCommand(const QStringList& args)
{
    CliCommand cmd("query");
    cmd.addValue(QStringLiteral("format"), QStringLiteral("EXT"), QStringLiteral("the files' extension (mp3: the default)"));
    std::unique_ptr<LookupSource> source;
    if (const int code = Parse(cmd, args, source); code >= 0)
        return code;
    const QStringList words = cmd.words();
    if (words.size() != 1 || !dorvane::io::IsFolder(words.at(0)))
        return cmd.usage(QStringLiteral("one folder"));
    const QString dir = words.at(0);
    const QString format = cmd.isSet(QStringLiteral("format")) ? cmd.value(QStringLiteral("format")) : QStringLiteral("mp3");

    // The album's files in the album page's order.
    QStringList names = ListFolderFiles(dir, format);
    SortListBox(names);
    if (names.isEmpty() || names.size() > kMaxDiscTracks)
        return cmd.fail(QStringLiteral("%1 .%2 files in %3; a disc holds 1 to %4")
                            .arg(names.size()).arg(format, dir).arg(kMaxDiscTracks));
    QStringList paths;
    for (const QString& n : std::as_const(names))
        paths << (dir.endsWith('/') ? dir : dir + '/') + n;
    if (auto* aid = qobject_cast<AcoustIdSource*>(source.get())) {
        const LookupOutcome o = AwaitLookup(*aid, [&] { aid->searchFiles(paths); });
        if (!o.ok)
            return cmd.fail(aid->lastError());
        return PrintHits(cmd, *aid, o.hits);
    }
    QList<qint64> lengths;
    QString why;
    if (!MeasurePlayingTimes(paths, lengths, &why))
        return cmd.fail(why);
    const LookupOutcome o = AwaitLookup(*source, [&] { source->searchLengths(lengths); });
    if (!o.ok)
        return cmd.fail(source->lastError());
    return PrintHits(cmd, *source, o.hits);
}

} // namespace tunora
