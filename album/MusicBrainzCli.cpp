#include "album/MusicBrainzCli.h"

#include "album/FolderWalk.h"
#include "album/MusicBrainzSource.h"
#include "freedb/Cddb.h"
#include "freedb/FreedbCli.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QEventLoop>
#include <cstdio>
#include <type_traits>

namespace tunora {

namespace {

void Out(FILE* stream, const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int Fail(const QString& command, const QString& why, int code = 1)
{
    Out(stderr, QStringLiteral("tunora-cli %1: %2").arg(command, why));
    return code;
}

// Runs the event loop until the client's request has told its outcome.
template <class Answer>
bool Await(MusicBrainzClient& client, void (MusicBrainzClient::*signal)(Answer), std::remove_cvref_t<Answer>& into,
           QString* why)
{
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&client, signal, &loop, [&](Answer answer) {
        into = answer;
        ok = true;
        loop.quit();
    });
    QObject::connect(&client, &MusicBrainzClient::failed, &loop, [&](const QString& text) {
        if (why)
            *why = text;
        loop.quit();
    });
    if (client.isRunning())
        loop.exec();
    return ok;
}

int PrintReleases(const QString& command, const QList<MbRelease>& releases)
{
    if (releases.isEmpty())
        return Fail(command, QStringLiteral("no release found"));
    for (const MbRelease& r : releases)
        Out(stdout, r.id + QLatin1Char('\t') + OutputField(r.artist + QStringLiteral(" / ") + r.title) + QLatin1Char('\t') +
                        OutputField(r.date) + QLatin1Char('\t') + QString::number(r.trackCount));
    return 0;
}

} // namespace

int RunMusicBrainzSearch(const QStringList& words)
{
    const QString text = words.join(QLatin1Char(' ')).simplified();
    if (LuceneQuery(text, false).isEmpty())
        return Fail(QStringLiteral("search"), QStringLiteral("usage: tunora-cli search --source musicbrainz WORDS..."), 2);
    MusicBrainzClient client;
    client.searchReleases(text, false);
    QList<MbRelease> releases;
    QString why;
    if (!Await(client, &MusicBrainzClient::releasesReady, releases, &why))
        return Fail(QStringLiteral("search"), why);
    return PrintReleases(QStringLiteral("search"), releases);
}

int RunMusicBrainzQuery(const QString& dir, const QString& format)
{
    // The album's files in the album page's order.
    QStringList names = ListFolderFiles(dir, format);
    SortListBox(names);
    if (names.isEmpty() || names.size() > kMaxDiscTracks)
        return Fail(QStringLiteral("query"), QStringLiteral("%1 .%2 files in %3; a disc holds 1 to %4")
                                                 .arg(names.size()).arg(format, dir).arg(kMaxDiscTracks));
    QStringList paths;
    for (const QString& n : std::as_const(names))
        paths << QDir(dir).filePath(n);
    QList<qint64> lengths;
    QString why;
    if (!MeasurePlayingTimes(paths, lengths, &why))
        return Fail(QStringLiteral("query"), why);
    MusicBrainzClient client;
    client.lookupLayout(LayoutFromLengths(lengths));
    QList<MbRelease> releases;
    if (!Await(client, &MusicBrainzClient::releasesReady, releases, &why))
        return Fail(QStringLiteral("query"), why);
    return PrintReleases(QStringLiteral("query"), releases);
}

int RunMusicBrainzRead(const QString& releaseId)
{
    LookupDisc disc;
    QString why;
    if (!ReadMusicBrainzDisc(releaseId, 0, false, disc, &why))
        return Fail(QStringLiteral("read"), why);
    DiscRecord record;
    record.artist = disc.artist;
    record.album = disc.album;
    record.year = disc.year;
    for (const LookupTrack& t : std::as_const(disc.tracks))
        record.tracks << CddbTrack{t.title, t.frames};
    PrintDiscRecord(record);
    return 0;
}

bool ReadMusicBrainzDisc(const QString& releaseId, qsizetype fileCount, bool cover, LookupDisc& disc, QString* error)
{
    MusicBrainzSource source;
    source.setFileCount(fileCount);
    source.setFetchCover(cover);
    const LookupOutcome o = AwaitLookup(source, [&] { source.read(LookupHit{source.name(), releaseId, {}, 0, {}}); });
    if (o.ok)
        disc = o.disc;
    else if (error)
        *error = o.failure;
    return o.ok;
}

} // namespace tunora
