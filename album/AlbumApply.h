// Carrying out the album (tags, new names, playlist) and giving the files their names back.
#pragma once

#include "audio/Id3.h"
#include "tags/Tags.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

class AlbumSession;

// One change of Apply, told before it is made: a tag write (plan) or a rename (from, to).
struct ApplyStep {
    int index = 0;         // the entry's position in the file list
    QString from, to;      // a rename; empty for a tag write
    tags::WritePlan plan;  // a tag write as planned; no changes for a rename
};

// What Apply and Undo need from whoever runs them: the answers to the playlist questions, a
// place for their messages and the status line while files are written. The album page
// answers with its message boxes (SeamApplyTalk), tunora-cli from its options.
class ApplyTalk {
public:
    virtual ~ApplyTalk() = default;
    // No playlist folder is set up (or the one set up names none): the album folder then?
    virtual bool playlistInAlbumFolder() = 0;
    // A file already has the playlist's name (path): replace it?
    virtual bool replacePlaylist(const QString& path) = 0;
    // A message of the run: a file left alone, the closing counts.
    virtual void tell(const QString& message) = 0;
    // The status line's text while a file is written; "" clears it.
    virtual void status(const QString& text) { Q_UNUSED(text); }
    // Between files and between the chunks of a file copy: a window lets its events run.
    virtual void beat() {}
    // Before each change of a real Apply (tunora-cli's --journal FILE records it there);
    // false stops the run before that change.
    virtual bool before(const ApplyStep& step)
    {
        Q_UNUSED(step);
        return true;
    }
    // The two above as a tag write takes them.
    TagWriteProgress progress();
};

struct ApplyOptions {
    // The options as they take effect: checked and enabled. A disabled option (a pattern
    // that cannot be applied, ID3 options for a format other than MP3, "Write tags" for MP3)
    // does nothing.
    bool rename = false;
    bool playlist = false;
    bool id3v1 = false;
    bool id3v2 = false;
    // Work out and report the outcome without touching a file or the session.
    bool dryRun = false;
    // The ID3v2 tag (or the format's own tags) also carries the fetched disc's front picture
    // (when it has one), in place of an earlier front cover.
    bool embedCover = false;
    // With dryRun: the preview before Apply, which shows no message and asks nothing (a
    // playlist folder that would be asked for is taken as the album folder).
    bool quiet = false;
    // The file's own tags through the tag layer (every format but MP3, whose ID3 options
    // stay); last, so that the options above keep their places in a braced list.
    bool tags = false;
};

// One entry of the album as Apply treats it: shown before Apply, printed by a dry run.
struct ApplyRow {
    QString file;           // the entry: a file name or the fake-track marker
    qint64 fileMs = 0;      // its playing time, 0 when not measured
    QString track;          // the fetched title it goes to
    qint64 trackFrames = 0; // that track's length in CD frames
    QString newName;        // its name afterwards (file when it keeps it)
    QString leftAlone;      // why it is not tagged or renamed as asked; empty when it is
};

// The row as the preview table and the dry run show it: file, length, track, track length,
// difference (seconds, signed), new name, why it is left alone. Unknown lengths are empty.
QStringList ApplyRowColumns(const ApplyRow& row);
// The captions of those columns.
QStringList ApplyRowCaptions();

struct ApplyResult {
    bool started = false;      // false when no option was on (language text 168)
    bool somethingDone = false;
    int failures = 0;          // files not tagged or not renamed as asked, playlist not written
    QStringList plan;          // per real file: old name, tab, name afterwards
    QList<ApplyRow> rows;      // per entry, fake tracks included
    QString playlistPath;      // the playlist written (or, in a dry run, to be written)
    bool playlistReplaced = false; // it replaces a file of that name
    int tagged = 0, renamed = 0, leftAlone = 0;
};

// Files and tracks whose lengths differ by more than this are marked in the lists and the
// preview: likely not each other's.
inline constexpr qint64 kLengthWarningMs = 10000;
// True when both lengths are known and differ by more than kLengthWarningMs.
bool LengthsDiffer(qint64 fileMs, qint64 trackFrames);
// A length as the lists show it: "m:ss"; empty when unknown.
QString ShortLength(qint64 ms);
// The preview's line above its table when count rows differ by more than 10 s.
QString LengthWarningLine(int count);

// The closing message's line of counts: tagged, renamed, left alone, playlist written.
QString ApplyCountsLine(const ApplyResult& r);

// The folder the playlist goes to by the setting "PlaylistMode" (ending in "/"), empty when
// the mode names none. configured is false when the mode is empty.
QString PlaylistFolder(const QString& mode, const QString& albumFolder, bool* configured = nullptr);

// The new name (without folder) of the file at position index after the naming pattern.
QString NewFileName(const AlbumSession& s, int index);

// Apply: tags each file, renames it after the naming pattern, writes the album playlist,
// asking and telling through talk. running(true) is called once the work starts and
// running(false) before the closing message, so the page can switch its buttons and the
// busy state. talk's beat comes after each file. A dry run closes with what Apply would do.
ApplyResult ApplyAlbum(AlbumSession& s, const ApplyOptions& options, ApplyTalk& talk,
                       const std::function<void(bool)>& running = {});

// The tags Apply writes into file index of a format other than MP3, and which of them (a
// genre, disc or cover the disc does not tell is left as the file has it).
tags::Fields AlbumTagFields(const AlbumSession& s, int index, const QString& year, bool embedCover,
                            tags::TagFields* values);

// The closing line of a dry run: "Would tag 5, rename 5 and write the playlist P."
QString WouldDoLine(const ApplyResult& r);

// One file of an undo: the file at from gets back the name to (when only its letter case
// differs or no other file holds it) and then the tags the apply replaced, while it still
// holds exactly those the apply wrote: an MP3 through tags, another format through
// reversed, the apply's write plan reversed (empty: no tags of the tag layer written).
struct FileUndo {
    QString path;           // where the file is afterwards
    bool nameTaken = false; // another file holds the name to: the file keeps its own
    bool renameFailed = false;
    QString tagsLeft;       // why the tags were left as they are (empty: given back or none)
};
FileUndo UndoFile(const QString& from, const QString& to, const TagUndo& tags, const TagWriteProgress& progress = {},
                  const tags::WritePlan& reversed = {});

// Apply runs as one run of the write journal (tags/Journal.h, command kAlbumApplyRun and the
// folder): each tag write and rename is on disk before it is made, the playlist too; a
// journal that cannot be written stops Apply before it touches a file.
//
// Undo: renames every file the last apply renamed back to its recorded name and gives back
// the tags it replaced; one message lists the files whose tags changed since. The playlist
// it wrote is removed (or the one it replaced put back) while it is still as Apply left it.
// Answers the number of files (playlist included) that could not be given back; restored
// (when given) receives the number of files given back their names and tags.
int UndoAlbum(AlbumSession& s, ApplyTalk& talk, int* restored = nullptr);
// Undo after a restart (the session holds no apply): undoes the write journal's last album
// apply with the same rules, tells the files left, and gives the listed files of the folder
// their names back. Answers the files left; restored receives the files given back.
int UndoLastAlbumApply(AlbumSession& s, ApplyTalk& talk, int* restored = nullptr);
// True when the write journal holds an album apply that UndoLastAlbumApply would undo.
bool AlbumApplyToUndo();
// The status line after an undo: files restored and files left as they are.
QString UndoCountsLine(int restored, int left);

} // namespace tunora
