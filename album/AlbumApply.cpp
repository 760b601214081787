#include "album/AlbumApply.h"

#include "album/AlbumSession.h"
#include "album/AutoSort.h"
#include "audio/Id3.h"
#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "tags/Journal.h"

#include <QDate>
#include <QFile>
#include <QSet>

#include <optional>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tunora {

namespace {

const QString kComment = QStringLiteral("Tagged By Tunora");

// True when something of that name is in the folder (a dangling link too: it is not ours).
bool nameTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(dorvane::io::EncodeName(path).constData(), &st) == 0;
}

// The file itself, through a link: a dangling link has nothing to tag or rename.
bool fileThere(const QString& path)
{
    struct stat st {};
    return ::stat(dorvane::io::EncodeName(path).constData(), &st) == 0;
}

// As the tag writer sees it: no write permission bit at all (as the read-only attribute,
// whoever runs the program), or none for us.
bool readOnly(const QString& path)
{
    const QByteArray name = dorvane::io::EncodeName(path);
    struct stat st {};
    return ::stat(name.constData(), &st) != 0 || (st.st_mode & 0222) == 0 || ::access(name.constData(), W_OK) != 0;
}

// The folder as a dry run sees it: the real one with the planned renames made.
class FolderView {
public:
    FolderView(bool dryRun, ApplyTalk& talk) : m_dry(dryRun), m_talk(talk) {}
    bool exists(const QString& path) const
    {
        if (!m_dry)
            return nameTaken(path);
        if (m_added.contains(path))
            return true;
        return !m_gone.contains(path) && nameTaken(path);
    }
    // stopped: the talk refused the change (its journal cannot be written).
    bool rename(int index, const QString& from, const QString& to, bool* stopped)
    {
        if (!m_dry) {
            if (!m_talk.before({index, from, to, {}}))
                return !(*stopped = true);
            if (tags::RenameJournalled(from, to))
                return true;
            m_talk.tell(text::NotRenamed(from));
            return false;
        }
        m_gone.insert(from);
        m_added.remove(from);
        m_added.insert(to);
        m_gone.remove(to);
        return true;
    }

private:
    bool m_dry;
    ApplyTalk& m_talk;
    QSet<QString> m_gone, m_added;
};

QString joined(const QString& folder, const QString& name)
{
    return folder + '/' + name;
}

// A playlist larger than this is not kept for Undo: Undo then leaves the new one.
constexpr qint64 kMaxUndoPlaylistBytes = 16 << 20;

// Removes the playlist Apply wrote, or puts back the one it replaced, when the file still
// holds what Apply wrote; a playlist changed since is the user's and stays. False when
// the playlist could not be given back.
bool undoPlaylist(const AlbumSession::WrittenPlaylist& p, ApplyTalk& talk)
{
    if (p.path.isEmpty())
        return true;
    QByteArray now;
    bool missing = false, tooBig = false;
    int err = 0;
    if (!dorvane::io::ReadSmallFile(p.path, kMaxUndoPlaylistBytes, &now, &missing, &tooBig, &err) || now != p.written) {
        if (missing)
            return true;
        talk.tell(LocalText("%1 changed since Apply wrote it: it stays as it is.",
                            "%1 a changé depuis qu'Appliquer l'a écrite : elle reste telle quelle.")
                      .arg(p.path));
        return false;
    }
    QString error;
    if (p.replaced ? tags::WriteFileJournalled(p.path, p.before, true, &error)
                   : tags::RemoveFileJournalled(p.path, p.written, &error))
        return true;
    talk.tell(p.path + QStringLiteral(": ") + error);
    return false;
}

} // namespace

TagWriteProgress ApplyTalk::progress()
{
    return {[this](const QString& text) { status(text); }, [this] { beat(); }};
}

QString PlaylistFolder(const QString& mode, const QString& albumFolder, bool* configured)
{
    if (configured)
        *configured = !mode.isEmpty();
    if (mode.isEmpty())
        return {};
    const QChar c = mode.at(0);
    const int digit = (c >= '0' && c <= '9') ? c.unicode() - '0' : 0;
    switch (digit) {
    case 0:
        return albumFolder + '/';
    case 1: {
        const QStringList parts = albumFolder.split('/');
        const int n = static_cast<int>(parts.size()) - 1;
        if (n < 2)
            return {};
        QString out;
        for (int k = 0; k < n; ++k)
            out += parts.at(k) + '/';
        return out;
    }
    case 2: {
        const QString folder = mode.mid(1);
        if (folder.isEmpty() || !dorvane::io::IsFolder(folder))
            return {};
        return folder.endsWith('/') ? folder : folder + '/';
    }
    default:
        return {};
    }
}

QString NewFileName(const AlbumSession& s, int index)
{
    const QString title = index < s.fetched.size() ? s.fetched.at(index).text : QString();
    const QString stem = CleanFileName(FillPattern(s.namingPattern, s.artist, s.album, static_cast<qint16>(index + 1),
                                                   title, s.year, s.genre));
    return FileNameWithExtension(stem, RenamedExtension(index < s.mp3.size() ? s.mp3.at(index).text : QString(), s.ext));
}

QStringList ApplyRowCaptions()
{
    return {LanguageText(11),
            LocalText("Length", "Durée"),
            LocalText("Track", "Piste"),
            LocalText("Track length", "Durée de la piste"),
            LocalText("Difference", "Écart"),
            LocalText("New name", "Nouveau nom"),
            LocalText("Left alone because", "Laissé tel quel car")};
}

QStringList ApplyRowColumns(const ApplyRow& row)
{
    // m:ss.cc, so that the difference column reads against the two lengths.
    auto length = [](qint64 ms) {
        return ms <= 0 ? QString()
                       : QStringLiteral("%1:%2").arg(ms / 60000).arg(FormatSeconds((ms % 60000) / 1000.0), 5, '0');
    };
    const qint64 trackMs = row.trackFrames * 1000 / 75;
    QString diff;
    if (row.fileMs > 0 && row.trackFrames > 0) {
        const double d = Deviation(row.fileMs, row.trackFrames) / 1000.0;
        diff = (d > 0 ? QStringLiteral("+") : QString()) + FormatSeconds(d);
    }
    return {row.file, length(row.fileMs), row.track, length(trackMs), diff, row.newName, row.leftAlone};
}

bool LengthsDiffer(qint64 fileMs, qint64 trackFrames)
{
    return fileMs > 0 && trackFrames > 0 && std::fabs(Deviation(fileMs, trackFrames)) > double(kLengthWarningMs);
}

QString ShortLength(qint64 ms)
{
    if (ms <= 0)
        return {};
    const qint64 seconds = (ms + 500) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString LengthWarningLine(int count)
{
    if (count == 1)
        return LocalText("1 file differs from its track by more than 10 s. Auto Sort may put it right.",
                         "1 fichier diffère de sa piste de plus de 10 s. Le tri automatique peut le remettre en place.");
    return LocalText("%1 files differ from their tracks by more than 10 s. Auto Sort may put them right.",
                     "%1 fichiers diffèrent de leurs pistes de plus de 10 s. Le tri automatique peut les remettre en place.")
        .arg(count);
}

QString UndoCountsLine(int restored, int left)
{
    return LocalText("Undo: %1 restored, %2 left as they are.", "Annuler : %1 rétablis, %2 laissés tels quels.")
        .arg(restored)
        .arg(left);
}

QString ApplyCountsLine(const ApplyResult& r)
{
    return LocalText("Tagged: %1, renamed: %2, left alone: %3, playlist written: %4",
                     "Étiquetés : %1, renommés : %2, laissés tels quels : %3, liste de lecture écrite : %4")
        .arg(r.tagged)
        .arg(r.renamed)
        .arg(r.leftAlone)
        .arg(LanguageText(r.playlistPath.isEmpty() || !r.somethingDone ? 1 : 0));
}

tags::Fields AlbumTagFields(const AlbumSession& s, int index, const QString& year, bool embedCover,
                            tags::TagFields* values)
{
    using tags::Field;
    const ListItem& track = s.fetched.at(index);
    tags::TagFields& v = *values;
    v.title = track.text;
    v.track = index + 1;
    v.trackTotal = int(s.fetched.size());
    // A compilation's track names its own artist; the disc's is the album artist.
    v.artist = track.artist.trimmed().isEmpty() ? s.artist.trimmed() : track.artist.trimmed();
    v.album = s.album.trimmed();
    v.year = year;
    v.comment = kComment;
    v.genre = s.genre.trimmed();
    v.albumArtist = s.artist.trimmed();
    tags::Fields f = Field::Title | Field::Track | Field::Artist | Field::Album | Field::Year | Field::Comment |
                     Field::AlbumArtist;
    if (!v.genre.isEmpty())
        f |= Field::Genre;
    if (s.discNumber > 0) {
        v.disc = s.discNumber;
        v.discTotal = s.discCount;
        f |= Field::Disc;
    }
    if (embedCover && !s.frontCover.isEmpty()) {
        v.cover.bytes = s.frontCover;
        v.cover.mime = s.frontCover.startsWith("\x89PNG") ? QStringLiteral("image/png") : QStringLiteral("image/jpeg");
        f |= Field::Cover;
    }
    return f;
}

QString WouldDoLine(const ApplyResult& r)
{
    QString line = r.playlistPath.isEmpty()
                       ? LocalText("Would tag %1, rename %2 and write no playlist.",
                                   "Étiquetterait %1, renommerait %2 et n'écrirait pas de liste de lecture.")
                             .arg(r.tagged)
                             .arg(r.renamed)
                       : LocalText("Would tag %1, rename %2 and write the playlist %3.",
                                   "Étiquetterait %1, renommerait %2 et écrirait la liste de lecture %3.")
                             .arg(r.tagged)
                             .arg(r.renamed)
                             .arg(r.playlistPath);
    if (r.leftAlone > 0)
        line += ' ' + LocalText("%1 would be left alone.", "%1 resteraient tels quels.").arg(r.leftAlone);
    return line;
}

ApplyResult ApplyAlbum(AlbumSession& s, const ApplyOptions& o, ApplyTalk& talk, const std::function<void(bool)>& running)
{
    ApplyResult r;
    const bool quiet = o.dryRun && o.quiet;
    auto tell = [quiet, &talk](const QString& text) {
        if (!quiet)
            talk.tell(text);
    };
    if (!o.rename && !o.playlist && !o.id3v1 && !o.id3v2 && !o.tags) {
        tell(text::NoOptionChosen());
        return r;
    }
    r.started = true;
    // The whole Apply is one run of the write journal: undone as one after a restart.
    std::optional<tags::JournalRun> run;
    if (!o.dryRun) {
        run.emplace(QStringLiteral("%1 %2").arg(QLatin1String(tags::kAlbumApplyRun), s.path));
        if (!run->ok()) {
            tell(LocalText("Nothing was changed: the write journal cannot be written (%1).",
                           "Rien n'a été changé : le journal d'écriture ne peut être écrit (%1).")
                     .arg(run->why()));
            ++r.failures;
            return r;
        }
        s.applyRun = tags::CurrentRunId();
    }
    if (running)
        running(true);
    FolderView folder(o.dryRun, talk);
    bool stopped = false; // the talk refused a change: the files after it stay as they are
    // A dry run leaves the session as it is: the preview and the Apply after it see the same.
    QStringList undo;
    QList<TagUndo> undoTags;
    QList<tags::WritePlan> undoPlans;
    QString year = s.year.trimmed();
    if (!IsFourDigitYear(year))
        year = QDate::currentDate().toString(QStringLiteral("yyyy"));
    if (!o.dryRun) {
        s.undoPlaylist = {};
        s.year = year;
    }
    const bool paired = s.fetched.size() == s.mp3.size();

    for (int i = 0; i < s.mp3.size() && !stopped; ++i) {
        const QString entry = s.mp3.at(i).text;
        ApplyRow row {entry, s.mp3.at(i).data, QString(), 0, entry, QString()};
        if (i < s.fetched.size()) {
            row.track = s.fetched.at(i).text;
            row.trackFrames = s.fetched.at(i).data;
        }
        // Leaves the row's file alone for why, with the message the user gets during Apply.
        auto leave = [&](const QString& why, const QString& message) {
            row.leftAlone = why;
            if (!message.isEmpty())
                tell(message);
        };
        undo.append(entry);
        undoTags.append(TagUndo {});
        undoPlans.append(tags::WritePlan {});
        const QString old = joined(s.path, entry);
        if (!paired) {
            leave(LocalText("the disc has another number of tracks", "le disque a un autre nombre de pistes"), {});
        } else if (entry == kFakeTrack) {
            leave(LocalText("fake track", "piste fictive"), {});
        } else if (!folder.exists(old) || !fileThere(old)) {
            // Gone since the folder was listed (a dangling link too): nothing to tag or rename.
            leave(QString::fromLocal8Bit(std::strerror(ENOENT)),
                  old + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(ENOENT)));
            ++r.failures;
        } else if (readOnly(old)) {
            leave(LocalText("read-only", "lecture seule"), text::ReadOnlyNotTagged(old));
            ++r.failures;
        } else {
            if (o.id3v1 || o.id3v2 || o.tags) {
                // Every format through the tag layer: planned, journalled, then in place when
                // the new tags fit the old room, else rewritten with room for the next edit.
                tags::TagFields values;
                const tags::Fields fields = AlbumTagFields(s, i, year, o.embedCover, &values);
                tags::WriteOptions options;
                if (o.id3v1 || o.id3v2) {
                    values.trackTotal = 0; // TRCK holds the number alone
                    options.id3v1 = o.id3v1;
                    options.id3v2 = o.id3v2;
                }
                tags::WritePlan plan;
                tags::FileIdentity written;
                QString why;
                // A dry run does not read the files: the preview stays quick.
                if (!o.dryRun) {
                    talk.status(LocalText("Writing tags: %1", "Écriture des étiquettes : %1").arg(old));
                    talk.beat();
                    bool done = tags::PlanWrite(old, values, fields, options, &plan, &why);
                    if (done && !talk.before({i, {}, {}, plan}))
                        done = !(stopped = true);
                    done = done && tags::CarryOut(plan, &why, &written, [&talk] { talk.beat(); });
                    talk.status({});
                    if (done)
                        undoPlans.last() = tags::Reversed(plan, written);
                    else
                        plan.path.clear();
                }
                if (stopped) {
                    leave(LocalText("the run stopped", "l'opération s'est arrêtée"), {});
                    ++r.failures;
                } else if (!o.dryRun && plan.path.isEmpty()) {
                    leave(LocalText("tags not written", "étiquettes non écrites"),
                          text::TagsNotWritten() + '\n' + old + QStringLiteral(": ") + why);
                    ++r.failures;
                } else {
                    ++r.tagged;
                }
            }
            if (o.rename && !stopped) {
                const QString name = NewFileName(s, i);
                const QString target = joined(s.path, name);
                if (name.startsWith('.')) {
                    // An empty stem (or one starting with a dot) would hide the file.
                    leave(LocalText("the new name would hide it", "le nouveau nom le cacherait"),
                          text::NotRenamed(old));
                    ++r.failures;
                } else if (target == old) {
                    // Already named right.
                } else if (target.compare(old, Qt::CaseInsensitive) == 0 || !folder.exists(target)) {
                    if (folder.rename(i, old, target, &stopped)) {
                        if (!o.dryRun)
                            s.mp3[i].text = name;
                        row.newName = name;
                        ++r.renamed;
                    } else {
                        leave(LocalText("rename failed", "échec du renommage"), {});
                        ++r.failures;
                    }
                } else {
                    leave(LocalText("name taken", "nom déjà pris"), text::NameTaken(target, old));
                    ++r.failures;
                }
            }
        }
        if (!row.leftAlone.isEmpty() && entry != kFakeTrack)
            ++r.leftAlone;
        if (paired && entry != kFakeTrack) {
            r.plan.append(entry + '\t' + row.newName);
            talk.beat();
        }
        r.rows.append(row);
    }
    if (paired)
        r.somethingDone = true;
    else
        tell(text::TrackCountDiffers());
    // The entries a stop left out keep their names: Undo pairs by position.
    for (int i = int(undo.size()); i < s.mp3.size(); ++i) {
        undo.append(s.mp3.at(i).text);
        undoTags.append(TagUndo {});
        undoPlans.append(tags::WritePlan {});
    }
    if (!o.dryRun) {
        s.undo = paired ? undo : QStringList();
        s.undoTags = paired ? undoTags : QList<TagUndo>();
        s.undoPlans = paired ? undoPlans : QList<tags::WritePlan>();
    }

    // Files and tracks that do not pair up leave everything as it is, the playlist too.
    if (o.playlist && paired && !stopped) {
        r.somethingDone = true;
        const QString pattern = PlaylistPatternSetting();
        bool configured = false;
        QString plsFolder = PlaylistFolder(Setting(setting::kPlaylistMode), s.path, &configured);
        // A mode that names no folder is asked about like a mode never set up.
        if (plsFolder.isEmpty())
            plsFolder = (quiet || talk.playlistInAlbumFolder()) ? s.path + '/' : QString();
        QString file;
        bool replace = false;
        if (!plsFolder.isEmpty()) {
            file = plsFolder +
                   FileNameWithExtension(FillPattern(pattern, s.artist, s.album, 0, QString(), year, s.genre), "m3u");
            if (nameTaken(file)) {
                replace = quiet || talk.replacePlaylist(file);
                r.playlistReplaced = replace;
                if (!replace)
                    file.clear();
            }
        }
        if (!file.isEmpty()) {
            QByteArray content;
            for (const ListItem& e : s.mp3) {
                if (e.text == kFakeTrack)
                    continue;
                content += RelativePath(joined(s.path, e.text), plsFolder).toUtf8() + "\r\n";
            }
            // What Undo puts back: the playlist replaced, when it can be read whole.
            AlbumSession::WrittenPlaylist written {file, content, replace, {}};
            if (replace && !o.dryRun) {
                bool missing = false, tooBig = false;
                int err = 0;
                if (!dorvane::io::ReadSmallFile(file, kMaxUndoPlaylistBytes, &written.before, &missing, &tooBig, &err))
                    written.path.clear();
            }
            QString error;
            // Written whole or not at all; an existing playlist is replaced only on the
            // user's word, and a file that appeared meanwhile is never overwritten.
            if (o.dryRun || tags::WriteFileJournalled(file, content, replace, &error)) {
                r.playlistPath = file;
                if (!o.dryRun)
                    s.undoPlaylist = written;
            } else {
                tell(file + QStringLiteral(": ") + error);
                ++r.failures;
            }
        }
    }

    if (running)
        running(false);
    // A dry run changed nothing: it closes with what Apply would do, never with "Done.".
    if (r.somethingDone)
        tell(o.dryRun ? WouldDoLine(r) : text::Done() + '\n' + ApplyCountsLine(r));
    if (!o.dryRun)
        s.notifyChanged();
    return r;
}

FileUndo UndoFile(const QString& from, const QString& to, const TagUndo& tags, const TagWriteProgress& progress,
                  const tags::WritePlan& reversed)
{
    FileUndo u;
    u.path = from;
    if (to != from && !nameTaken(from) && nameTaken(to)) {
        u.path = to; // the rename was never made (a run stopped or killed before it)
    } else if (to != from) {
        if (to.compare(from, Qt::CaseInsensitive) == 0 || !nameTaken(to)) {
            if (tags::RenameJournalled(from, to))
                u.path = to;
            else
                u.renameFailed = true;
        } else {
            u.nameTaken = true;
        }
    }
    if (!reversed.changes.isEmpty()) {
        // The file where it is now (a link still leads to the file the apply wrote).
        tags::WritePlan back = reversed;
        back.path = u.path;
        QString why;
        // A file that already holds its old tags (the write was never made) is given back.
        if (tags::PlanSide(back, u.path) != 1 && !tags::CarryOut(back, &why))
            u.tagsLeft = why.contains(QLatin1String("changed")) ? QStringLiteral("its tags changed since they were written")
                                                                 : why;
        return u;
    }
    if (!RestoreID3Tags(u.path, tags, &u.tagsLeft, progress) && u.tagsLeft.isEmpty())
        u.tagsLeft = QStringLiteral("its tags could not be written");
    return u;
}

int UndoAlbum(AlbumSession& s, ApplyTalk& talk, int* restored)
{
    int failures = 0, given = 0;
    QStringList tagsLeft;
    // One run of the write journal, which takes the apply's run back.
    const tags::JournalRun run(QLatin1String(tags::kAlbumUndoRun), s.applyRun.isEmpty() ? QStringLiteral("-") : s.applyRun);
    if (!run.ok()) {
        talk.tell(LocalText("Nothing was changed: the write journal cannot be written (%1).",
                            "Rien n'a été changé : le journal d'écriture ne peut être écrit (%1).")
                      .arg(run.why()));
        if (restored)
            *restored = 0;
        return int(s.undo.size());
    }
    // Last file first: a file that took over a name another one gave up frees it before
    // that one wants it back.
    for (int i = int(s.mp3.size()) - 1; i >= 0; --i) {
        const QString current = s.mp3.at(i).text;
        if (current == kFakeTrack)
            continue;
        // An apply that skipped its file pass recorded no names: nothing to give back.
        if (i >= s.undo.size())
            continue;
        const QString recorded = s.undo.at(i);
        const FileUndo u = UndoFile(joined(s.path, current), joined(s.path, recorded), s.undoTags.value(i),
                                    talk.progress(), s.undoPlans.value(i));
        if (u.nameTaken)
            talk.tell(text::NameTaken(joined(s.path, recorded), joined(s.path, current)));
        if (u.renameFailed)
            talk.tell(text::NotRenamed(joined(s.path, current)));
        if (!u.renameFailed && !u.nameTaken)
            s.mp3[i].text = recorded;
        if (!u.tagsLeft.isEmpty())
            tagsLeft.prepend(u.path + QStringLiteral(": ") + u.tagsLeft);
        if (u.renameFailed || u.nameTaken || !u.tagsLeft.isEmpty())
            ++failures;
        else
            ++given;
    }
    if (!tagsLeft.isEmpty())
        talk.tell(LocalText("These files keep the tags they have now:", "Ces fichiers gardent leurs tags actuels :") +
                  '\n' + tagsLeft.join('\n'));
    if (!undoPlaylist(s.undoPlaylist, talk))
        ++failures;
    s.undoPlaylist = {};
    s.undoAvailable = false;
    s.notifyChanged();
    if (restored)
        *restored = given;
    return failures;
}

int UndoLastAlbumApply(AlbumSession& s, ApplyTalk& talk, int* restored)
{
    tags::UndoneRun undone;
    QString why;
    if (!tags::UndoLastRunOf(QLatin1String(tags::kAlbumApplyRun), &undone, &why)) {
        talk.tell(tags::LastRunToUndo(QLatin1String(tags::kAlbumApplyRun)).isEmpty()
                      ? LocalText("There is no apply to undo.", "Il n'y a rien à annuler.")
                      : why);
        return 1;
    }
    const tags::RunInfo& info = undone.run;
    // Counted by file as Undo counts them (a file's tags and name are one), the playlist apart.
    QSet<QString> files;
    for (const tags::RunFile& f : std::as_const(info.files))
        if (f.kind != QLatin1String("file"))
            files.insert(f.from.isEmpty() ? f.path : f.from);
    const QSet<QString> leftPaths(undone.leftPaths.begin(), undone.leftPaths.end());
    const QStringList& left = undone.leftLines;
    const int given = int((files - leftPaths).size());
    if (!left.isEmpty())
        talk.tell(LocalText("These files were left as they are:", "Ces fichiers sont restés tels quels :") + '\n' +
                  left.join('\n'));
    // The listed files of the folder by the names they have again, last rename first.
    for (auto it = info.files.crbegin(); it != info.files.crend(); ++it) {
        if (it->kind != QLatin1String("rename") || nameTaken(it->path) || !nameTaken(it->from))
            continue;
        for (ListItem& e : s.mp3)
            if (joined(s.path, e.text) == it->path)
                e.text = it->from.section('/', -1);
    }
    s.undoAvailable = false;
    s.applyRun = QStringLiteral("-"); // one undo after a restart, as one after an apply
    s.notifyChanged();
    if (restored)
        *restored = given;
    return int(leftPaths.size());
}

bool AlbumApplyToUndo()
{
    return !tags::LastRunToUndo(QLatin1String(tags::kAlbumApplyRun)).isEmpty();
}

} // namespace tunora
