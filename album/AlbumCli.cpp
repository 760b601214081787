#include "album/AlbumCli.h"

#include "album/AlbumApply.h"
#include "album/AlbumJournal.h"
#include "album/AlbumPatterns.h"
#include "album/AlbumSession.h"
#include "album/AutoSort.h"
#include "folders/AudioFormats.h"
#include "folders/FolderWalk.h"
#include "lookup/CddbSource.h"
#include "lookup/MusicBrainzSource.h"
#include "freedb/Cddb.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Genres.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "tags/Journal.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace tunora {

namespace {

void printLine(FILE* out, const QString& text)
{
    std::fprintf(out, "%s\n", dorvane::io::EncodeName(text).constData()); // a name's own bytes
}

// DGENRE of an xmcd entry (a value may continue over several lines).
QString XmcdGenre(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString text = DecodeText(f.read(16 << 20));
    QString genre;
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.startsWith(QLatin1String("DGENRE="), Qt::CaseInsensitive))
            genre += line.mid(7);
    }
    return genre.trimmed();
}

// Apply's questions on the command line: asked on the terminal when standard input is one;
// else answered as the setup page's defaults, each answer said on standard error. Messages
// go to standard error.
class CliApplyTalk : public ApplyTalk {
public:
    explicit CliApplyTalk(const CliCommand& cmd) : m_cmd(cmd), m_terminal(::isatty(STDIN_FILENO) == 1) {}

    bool playlistInAlbumFolder() override
    {
        if (m_terminal)
            return ask(text::AskPlaylistInAlbumFolder());
        m_cmd.tell(QStringLiteral("no playlist folder is set up: the playlist goes into the album folder"));
        return true;
    }
    bool replacePlaylist(const QString& path) override
    {
        if (m_terminal)
            return ask(text::AskReplacePlaylist());
        m_cmd.tell(QStringLiteral("%1 is there already: it stays as it is, and no playlist is written").arg(path));
        return false;
    }
    void tell(const QString& message) override { m_cmd.tell(message); }
    // --journal FILE: each change on disk before it is made; a journal that cannot be
    // written stops the run there.
    bool before(const ApplyStep& step) override
    {
        QString why;
        if (!journal || journal->append(step, &why))
            return true;
        m_cmd.tell(QStringLiteral("the journal cannot be written, so the run stops: ") + why);
        return false;
    }
    ApplyJournalFile* journal = nullptr;

private:
    // Yes for an answer that begins as "yes" (or the language's Yes) does.
    bool ask(const QString& question) const
    {
        std::fprintf(stderr, "%s [y/N] ", question.toLocal8Bit().constData());
        std::fflush(stderr);
        char line[64] = {};
        if (!std::fgets(line, sizeof line, stdin))
            return false;
        const QString answer = QString::fromLocal8Bit(line).trimmed().toLower();
        const QString yes = LanguageText(0).toLower();
        return !answer.isEmpty() && (answer.at(0) == 'y' || (!yes.isEmpty() && answer.at(0) == yes.at(0)));
    }

    const CliCommand& m_cmd;
    bool m_terminal;
};

} // namespace

int RunAlbumCommand(const QStringList& args)
{
    CliCommand cmd("album");
    cmd.addPair(QStringLiteral("read"), QStringLiteral("CATEGORY DISCID"), QStringLiteral("the CDDB entry"));
    cmd.addValue(QStringLiteral("mb"), QStringLiteral("RELEASE-ID"), QStringLiteral("the MusicBrainz release"));
    cmd.addValue(QStringLiteral("xmcd"), QStringLiteral("FILE"), QStringLiteral("an xmcd entry on disk"));
    cmd.addValue(QStringLiteral("format"), QStringLiteral("EXT"),
                 QStringLiteral("the files' format: ") + AudioFormatChoices() + QStringLiteral(" (mp3: the default)"));
    cmd.addValue(QStringLiteral("sort"), QStringLiteral("none|fast|optimal"), QStringLiteral("order the files by playing time"));
    cmd.addValue(QStringLiteral("genre"), QStringLiteral("G"), QStringLiteral("the genre (else the entry's)"));
    cmd.addValue(QStringLiteral("journal"), QStringLiteral("FILE"), QStringLiteral("record the old names and tags (for undo)"));
    cmd.addFlag(QStringLiteral("cover"), QStringLiteral("embed the release's front cover (with --mb)"));
    cmd.addFlag(QStringLiteral("no-rename"), QStringLiteral("files keep their names"));
    cmd.addFlag(QStringLiteral("no-v1"), QStringLiteral("no ID3v1 tag"));
    cmd.addFlag(QStringLiteral("no-v2"), QStringLiteral("no ID3v2 tag"));
    cmd.addFlag(QStringLiteral("no-tags"), QStringLiteral("no tags of the format's own (a format other than mp3)"));
    cmd.addFlag(QStringLiteral("no-playlist"), QStringLiteral("no playlist"));
    cmd.addFlag(QStringLiteral("dry-run"),
                QStringLiteral("change nothing; print the rows Apply shows first (file, length, track, track length, "
                               "difference, new name, why left alone; tab-separated), then the playlist"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    const QString category = cmd.value(QStringLiteral("read")), discid = cmd.secondValue(QStringLiteral("read"));
    const QString mbid = cmd.value(QStringLiteral("mb")), xmcd = cmd.value(QStringLiteral("xmcd"));
    const QString format = cmd.isSet(QStringLiteral("format")) ? cmd.value(QStringLiteral("format")) : QStringLiteral("mp3");
    const QString sort = cmd.isSet(QStringLiteral("sort")) ? cmd.value(QStringLiteral("sort")) : QStringLiteral("none");
    const QString journal = cmd.value(QStringLiteral("journal"));
    const bool cover = cmd.isSet(QStringLiteral("cover"));
    const bool haveGenre = cmd.isSet(QStringLiteral("genre"));
    QString genre = cmd.value(QStringLiteral("genre"));
    const bool noRename = cmd.isSet(QStringLiteral("no-rename")), noV1 = cmd.isSet(QStringLiteral("no-v1")),
               noV2 = cmd.isSet(QStringLiteral("no-v2")), noTags = cmd.isSet(QStringLiteral("no-tags")), noPlaylist = cmd.isSet(QStringLiteral("no-playlist")),
               dryRun = cmd.isSet(QStringLiteral("dry-run"));
    const QStringList words = cmd.words();
    if (words.size() > 1)
        return cmd.usage(QStringLiteral("one folder only"));
    if (words.isEmpty())
        return cmd.usage(QStringLiteral("no folder given"));
    const QString dir = words.at(0);
    if (int(!category.isEmpty()) + int(!mbid.isEmpty()) + int(!xmcd.isEmpty()) != 1)
        return cmd.usage(QStringLiteral("give one of --read, --mb or --xmcd"));
    if (discid.isEmpty() && !category.isEmpty())
        return cmd.usage(QStringLiteral("--read needs a category and a disc identifier"));
    if (cover && mbid.isEmpty())
        return cmd.usage(QStringLiteral("--cover goes with --mb: only MusicBrainz releases have a cover"));
    if (sort != QLatin1String("none") && sort != QLatin1String("fast") && sort != QLatin1String("optimal"))
        return cmd.usage(QStringLiteral("--sort takes none, fast or optimal"));
    const QString ext = FormatInfo(FormatNamed(format)).name;
    if (ext.isEmpty())
        return cmd.usage(QStringLiteral("--format takes ") + AudioFormatChoices());
    if (!dorvane::io::IsFolder(dir)) {
        return cmd.fail(dir + QStringLiteral(" is not a folder"), 2);
    }

    LoadSettingLanguage();
    const bool genresLoaded = LoadGenreTable(AppFile("styles.dat")) == GenreLoad::Ok;

    AlbumSession s;
    const PatternSamples samples = RefreshPatternSamples(s);
    s.path = DeliveredFolder(dorvane::io::AbsolutePath(dir));
    s.ext = ext;
    QStringList names = ListFolderFiles(s.path, ext);
    SortListBox(names);
    s.setFiles(names);

    LookupDisc disc;
    QString error;
    if (!xmcd.isEmpty()) {
        DiscRecord record;
        if (!ParseXmcdFile(xmcd, record, &error))
            return cmd.fail(text::DetailsNotRetrieved() + ' ' + error);
        disc.artist = record.artist;
        disc.album = record.album;
        disc.year = record.year;
        for (const CddbTrack& t : std::as_const(record.tracks))
            disc.tracks << LookupTrack{t.title, t.frames};
        if (!haveGenre)
            genre = XmcdGenre(xmcd);
    } else {
        // The disc is read as the album page reads a result row of its source.
        std::unique_ptr<LookupSource> source;
        LookupHit hit;
        if (!mbid.isEmpty()) {
            auto* musicBrainz = new MusicBrainzSource;
            musicBrainz->setFileCount(s.mp3.size());
            musicBrainz->setFetchCover(cover);
            source.reset(musicBrainz);
            hit = LookupHit{source->name(), mbid, {}, 0, {}};
        } else {
            source = std::make_unique<CddbSource>();
            hit = LookupHit{source->name(), discid, category, 0, {}};
        }
        if (!ReadLookupDisc(*source, hit, disc, &error))
            return cmd.fail(text::DetailsNotRetrieved() + ' ' + error);
        if (!haveGenre)
            genre = disc.genre; // as the window takes it from the source
        s.discNumber = disc.discNumber;
        s.discCount = disc.discCount;
        s.frontCover = disc.frontCover;
        if (cover && disc.frontCover.isEmpty())
            cmd.tell(QStringLiteral("the release has no front cover; the files are tagged without one"));
    }
    s.artist = disc.artist;
    s.album = disc.album;
    s.year = disc.year;
    s.genre = genre;
    for (int i = 0; i < disc.tracks.size(); ++i) {
        s.fetched.append({disc.tracks.at(i).title, disc.tracks.at(i).frames, disc.tracks.at(i).artist});
        s.tracks.append(AlbumSession::trackLine(i, disc.tracks.at(i).title));
    }

    if (sort != QLatin1String("none") && !s.mp3.isEmpty()) {
        if (s.mp3.size() != s.fetched.size()) {
            cmd.tell(text::AutoSortNeedsEqualCounts());
        } else {
            QList<ListItem> lst = s.mp3;
            for (ListItem& e : lst)
                e.data = MeasureMs(s.path + '/' + e.text);
            lst = sort == QLatin1String("fast") ? FastSort(lst, s.fetched) : OptimalSort(lst, s.fetched);
            QStringList order;
            for (const ListItem& e : lst)
                order.append(e.text);
            s.setFiles(order);
        }
    }

    const bool mp3 = ext == QLatin1String("MP3");
    ApplyOptions o;
    o.rename = !noRename && samples.renameEnabled;
    o.playlist = !noPlaylist && samples.playlistEnabled;
    o.id3v1 = !noV1 && mp3 && genresLoaded;
    o.id3v2 = !noV2 && mp3;
    o.tags = !noTags && !mp3 && FormatInfo(FormatNamed(ext)).tagged;
    o.dryRun = dryRun;
    o.embedCover = cover;
    if (cover && !o.id3v2 && !o.tags && !s.frontCover.isEmpty())
        cmd.tell(mp3 ? QStringLiteral("no ID3v2 tag is written, so the front cover is not embedded")
                     : QStringLiteral("no tags are written, so the front cover is not embedded"));
    if (!noRename && !samples.renameEnabled)
        cmd.tell(QStringLiteral("the naming pattern \"%1\" holds no placeholder; files keep their names").arg(s.namingPattern));
    if (!noPlaylist && !samples.playlistEnabled)
        cmd.tell(QStringLiteral("the playlist pattern \"%1\" cannot be filled; no playlist").arg(s.playlistPattern));

    // The journal is there before the first file changes, and an older one is never replaced.
    ApplyJournalFile steps;
    if (!journal.isEmpty() && !(dryRun ? WriteJournal(journal, {}, &error, false) : steps.create(journal, &error))) {
        return cmd.fail(QStringLiteral("the journal %1 cannot be written: %2").arg(journal, error), 2);
    }
    // A dry run prints the rows the page's preview shows before Apply.
    if (dryRun)
        MeasureMissingLengths(s);
    CliApplyTalk talk(cmd);
    if (!journal.isEmpty() && !dryRun)
        talk.journal = &steps;
    const ApplyResult r = ApplyAlbum(s, o, talk);
    if (dryRun) {
        for (const ApplyRow& row : r.rows)
            printLine(stdout, ApplyRowColumns(row).join('\t'));
    } else {
        for (const QString& line : r.plan)
            printLine(stdout, line);
    }
    if (!r.playlistPath.isEmpty())
        printLine(stdout, r.playlistPath);
    if (!r.started)
        return 1;
    return r.failures > 0 ? 1 : 0;
}

int RunUndoCommand(const QStringList& args)
{
    CliCommand cmd("undo");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    const QStringList words = cmd.words();
    if (words.size() != 1)
        return cmd.usage(QStringLiteral("one journal file"));
    const QString journal = words.at(0);
    QList<JournalEntry> entries;
    QString error, applyRun;
    if (!ReadJournal(journal, entries, &error, &applyRun)) {
        return cmd.fail(journal + QStringLiteral(": ") + error, 2);
    }
    LoadSettingLanguage();
    // One run of the write journal, which takes the apply's run back (when the file names it).
    const tags::JournalRun run(QStringLiteral("tunora-cli undo ") + journal, applyRun.isEmpty() ? QStringLiteral("-") : applyRun);
    if (!run.ok())
        return cmd.fail(QStringLiteral("nothing was changed: the write journal cannot be written: ") + run.why(), 2);
    bool left = false;
    // Undone last file first (a name one file gave up and the next took comes back in
    // turn); told in the journal's order.
    QStringList lines;
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const JournalEntry& e = *it;
        const FileUndo u = UndoFile(e.newPath, e.oldPath, e.tags, {}, e.tagPlan);
        QStringList reasons;
        if (u.nameTaken)
            reasons << QStringLiteral("another file is named ") + e.oldPath;
        if (u.renameFailed)
            reasons << QStringLiteral("it could not be renamed to ") + e.oldPath;
        if (!u.tagsLeft.isEmpty())
            reasons << u.tagsLeft;
        left = left || !reasons.isEmpty();
        lines.prepend(reasons.isEmpty() ? QStringLiteral("restored\t") + u.path
                                        : QStringLiteral("left\t") + u.path + '\t' + reasons.join(QStringLiteral("; ")));
    }
    for (const QString& line : std::as_const(lines))
        printLine(stdout, line);
    return left ? 1 : 0;
}

} // namespace tunora
