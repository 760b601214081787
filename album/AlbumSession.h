// The album page's working state: the folder's files in track order, the fetched disc and
// its display lines, and the names the last apply replaced. The page shows it; the fetch
// flow, apply, undo and auto-sort change it and call changed().
#pragma once

#include "audio/Id3.h"
#include "tags/Tags.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace tunora {

inline const QString kFakeTrack = QStringLiteral("**FAKE TRACK**");

// A list entry with its integer (playing time in ms for files, CD frames for fetched tracks).
struct ListItem {
    QString text;
    qint64 data = 0;
    QString artist = {}; // of a fetched track: its own artist when it is not the disc's (a compilation)
    bool operator==(const ListItem&) const = default;
};

class AlbumSession : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QString path;                          // path_txt: the album folder
    QString ext = QStringLiteral("Unknown"); // ext_txt: the chosen format
    QList<ListItem> mp3;                   // mp3_lst: file names (or the fake-track marker), ms
    QList<ListItem> fetched;               // new_lst: fetched titles, length in CD frames
    QStringList tracks;                    // tracks_lst: display lines of the fetched disc
    QStringList undo;                      // undo_lst: names before the last apply
    QList<TagUndo> undoTags;               // by the positions of undo: the tags it replaced
    // By the same positions, for a format other than MP3: the apply's write plan reversed
    // (no changes: no tags written).
    QList<tags::WritePlan> undoPlans;
    // The playlist the last apply wrote, its bytes, and the bytes of the one it replaced.
    struct WrittenPlaylist {
        QString path;
        QByteArray written;
        bool replaced = false;
        QByteArray before;
    } undoPlaylist;
    // The write journal's run of this window's last apply, marked undone by Undo; empty
    // before the window's first apply or undo (Undo then offers the journal's last apply).
    QString applyRun;
    QString artist, album, year, genre;    // artist_txt, album_txt, year_txt, genre_txt
    // Of the fetched disc, where its source tells them: the medium's position in a release
    // of discCount media (0: unknown) and the release's front picture (empty: none).
    int discNumber = 0, discCount = 0;
    QByteArray frontCover;

    // Selection of mp3_lst, by position (a missing flag counts as not selected), and the
    // focused entries of mp3_lst and tracks_lst (-1: none).
    QList<bool> mp3Selected;
    int mp3Focus = -1;
    int tracksFocus = -1;
    // undo_btn: true from an apply until the file list's positions may no longer match undo.
    bool undoAvailable = false;
    // The naming and playlist patterns read at start-up (settings "Pattern" and "Playlist").
    QString namingPattern, playlistPattern;

    void notifyChanged() { Q_EMIT changed(); }

    bool isSelected(int i) const { return i >= 0 && i < mp3Selected.size() && mp3Selected.at(i); }
    void setSelected(int i, bool on);
    int selectedCount() const;
    // Lines up the selection flags with the file list after a writer changed mp3 directly.
    void normaliseSelection();

    // Edits of the file list. Each one ends the undo of the last apply (undo pairs names by
    // position) and calls changed(); a move exchanges the texts only, the playing times
    // stay at their positions.
    void setFiles(const QStringList& names);       // a browse: names in their order, times 0
    void clearFiles();                             // clear_btn
    void deleteSelected();                         // delete_btn
    void addFakeTrack();                           // ghost_btn, and the fetch flow per missing file
    bool moveUp();                                 // up_btn: exactly one selected, not the first
    bool moveDown();                               // down_btn: exactly one selected, not the last
    // A drag step: the entry at dragIndex is exchanged with the one at focus, which becomes
    // the selected entry. Answers the new drag index (unchanged when nothing moved).
    int dragMove(int dragIndex, int focus);

    // InitResFrm: empties artist, album, genre, year, the tracks and their display lines, disc
    // number and front picture of the fetched disc.
    void initResFrm();
    // The display line of fetched track i (from 0): "[01] Title" (withBlank) or "[01]Title".
    static QString trackLine(int i, const QString& title, bool withBlank = true);
    // The track editor's OK: title i becomes title trimmed (its length stays); false when
    // there is no track i.
    bool setTrackTitle(int i, const QString& title);

    int fakeTrackCount() const; // entries equal to the marker, letter case ignored
    bool hasFakeTrack() const;  // the marker, trimmed and letter case ignored (ListContains)
    QStringList fileNames() const;

Q_SIGNALS:
    void changed();
};

} // namespace tunora
