#include "album/AlbumApply.h"

#include "album/AlbumSession.h"
#include "audio/Id3.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
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
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The file itself, through a link: a dangling link has nothing to tag or rename.
bool fileThere(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

bool readOnly(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

// The folder as a dry run sees it: the real one with the planned renames made.
class FolderView {
public:
    explicit FolderView(bool dryRun) : m_dry(dryRun) {}
    bool exists(const QString& path) const
    {
        if (!m_dry)
            return nameTaken(path);
        if (m_added.contains(path))
            return true;
        return !m_gone.contains(path) && nameTaken(path);
    }
    bool rename(const QString& from, const QString& to)
    {
        if (!m_dry)
            return RenameFileReporting(from, to);
        m_gone.insert(from);
        m_added.remove(from);
        m_added.insert(to);
        m_gone.remove(to);
        return true;
    }

private:
    bool m_dry;
    QSet<QString> m_gone, m_added;
};

QString joined(const QString& folder, const QString& name)
{
    return folder + '/' + name;
}

} // namespace

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
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
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
    return FileNameWithExtension(stem, s.ext.toLower());
}

ApplyResult ApplyAlbum(AlbumSession& s, const ApplyOptions& o, const std::function<void(bool)>& running)
{
    ApplyResult r;
    if (!o.rename && !o.playlist && !o.id3v1 && !o.id3v2) {
        ShowMessage(text::NoOptionChosen());
        return r;
    }
    r.started = true;
    if (running)
        running(true);
    FolderView folder(o.dryRun);
    s.undo.clear();
    s.undoTags.clear();

    if (s.fetched.size() == s.mp3.size()) {
        r.somethingDone = true;
        s.year = s.year.trimmed();
        if (!IsFourDigitYear(s.year))
            s.year = QDate::currentDate().toString(QStringLiteral("yyyy"));
        // The medium's place in its release, where the source tells it: "2/3".
        QByteArray partOfSet;
        if (s.discNumber > 0)
            partOfSet = QByteArray::number(s.discNumber);
        if (s.discNumber > 0 && s.discCount > 0)
            partOfSet += '/' + QByteArray::number(s.discCount);
        for (int i = 0; i < s.mp3.size(); ++i) {
            const QString entry = s.mp3.at(i).text;
            s.undo.append(entry);
            s.undoTags.append(TagUndo {});
            if (entry == kFakeTrack)
                continue;
            const QString old = joined(s.path, entry);
            QString after = entry;
            auto done = [&] {
                r.plan.append(entry + '\t' + after);
                YieldEvents();
            };
            if (!folder.exists(old) || !fileThere(old)) {
                // Gone since the folder was listed: nothing to tag or rename.
                ShowMessage(old + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(ENOENT)));
                ++r.failures;
                done();
                continue;
            }
            if (readOnly(old)) {
                ShowMessage(text::ReadOnlyNotTagged(old));
                ++r.failures;
                done();
                continue;
            }
            if (o.id3v1 || o.id3v2) {
                const TrackTag tag {s.fetched.at(i).text, QString::number(i + 1), s.artist.trimmed(), s.album.trimmed(),
                                    s.year, kComment, s.genre.trimmed()};
                TagWriteExtras extras;
                extras.undo = &s.undoTags.last();
                extras.partOfSet = partOfSet;
                if (o.embedCover)
                    extras.frontCover = s.frontCover;
                if (!o.dryRun && !WriteID3Tags(tag, old, o.id3v1, o.id3v2, nullptr, extras)) {
                    ShowMessage(text::TagsNotWritten());
                    ++r.failures;
                }
            }
            if (o.rename) {
                const QString name = NewFileName(s, i);
                const QString target = joined(s.path, name);
                if (name.startsWith('.')) {
                    // An empty stem (or one starting with a dot) would hide the file.
                    ShowMessage(text::NotRenamed(old));
                    ++r.failures;
                } else if (target == old) {
                    // Already named right.
                } else if (target.compare(old, Qt::CaseInsensitive) == 0 || !folder.exists(target)) {
                    if (folder.rename(old, target)) {
                        s.mp3[i].text = name;
                        after = name;
                    } else {
                        ++r.failures;
                    }
                } else {
                    ShowMessage(text::NameTaken(target, old));
                    ++r.failures;
                }
            }
            done();
        }
    } else {
        ShowMessage(text::TrackCountDiffers());
    }

    if (o.playlist) {
        r.somethingDone = true;
        const QString pattern = Setting(setting::kPlaylistPattern);
        bool configured = false;
        QString plsFolder = PlaylistFolder(Setting(setting::kPlaylistMode), s.path, &configured);
        // A mode that names no folder is asked about like a mode never set up.
        if (plsFolder.isEmpty())
            plsFolder = AskYesNo(text::AskPlaylistInAlbumFolder()) ? s.path + '/' : QString();
        QString file;
        bool replace = false;
        if (!plsFolder.isEmpty()) {
            file = plsFolder +
                   FileNameWithExtension(FillPattern(pattern, s.artist, s.album, 0, QString(), s.year, s.genre), "m3u");
            if (nameTaken(file)) {
                replace = AskYesNo(text::AskReplacePlaylist());
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
            QString error;
            // Written whole or not at all; an existing playlist is replaced only on the
            // user's word, and a file that appeared meanwhile is never overwritten.
            if (o.dryRun || WriteFileAtomically(file, content, &error, replace)) {
                r.playlistPath = file;
            } else {
                ShowMessage(file + QStringLiteral(": ") + error);
                ++r.failures;
            }
        }
    }

    if (running)
        running(false);
    if (r.somethingDone)
        ShowMessage(text::Done());
    s.notifyChanged();
    return r;
}

FileUndo UndoFile(const QString& from, const QString& to, const TagUndo& tags)
{
    FileUndo u;
    u.path = from;
    if (to != from) {
        if (to.compare(from, Qt::CaseInsensitive) == 0 || !nameTaken(to)) {
            if (RenameFileReporting(from, to))
                u.path = to;
            else
                u.renameFailed = true;
        } else {
            u.nameTaken = true;
        }
    }
    if (!RestoreID3Tags(u.path, tags, &u.tagsLeft) && u.tagsLeft.isEmpty())
        u.tagsLeft = QStringLiteral("its tags could not be written");
    return u;
}

int UndoAlbum(AlbumSession& s)
{
    int failures = 0;
    QStringList tagsLeft;
    for (int i = 0; i < s.mp3.size(); ++i) {
        const QString current = s.mp3.at(i).text;
        if (current == kFakeTrack)
            continue;
        // An apply that skipped its file pass recorded no names: nothing to give back.
        if (i >= s.undo.size())
            continue;
        const QString recorded = s.undo.at(i);
        const FileUndo u = UndoFile(joined(s.path, current), joined(s.path, recorded), s.undoTags.value(i));
        if (u.nameTaken)
            ShowMessage(text::NameTaken(joined(s.path, recorded), joined(s.path, current)));
        if (!u.renameFailed && !u.nameTaken)
            s.mp3[i].text = recorded;
        if (!u.tagsLeft.isEmpty())
            tagsLeft.append(u.path + QStringLiteral(": ") + u.tagsLeft);
        if (u.renameFailed || u.nameTaken || !u.tagsLeft.isEmpty())
            ++failures;
    }
    if (!tagsLeft.isEmpty())
        ShowMessage(LocalText("These files keep the tags they have now:", "Ces fichiers gardent leurs tags actuels :") +
                    '\n' + tagsLeft.join('\n'));
    s.undoAvailable = false;
    s.notifyChanged();
    return failures;
}

} // namespace tunora
