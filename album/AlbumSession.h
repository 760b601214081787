// The album page's working state: the folder's files in track order, the fetched disc and
// its display lines, and the names the last apply replaced. The page shows it; the fetch
// flow, apply, undo and auto-sort change it and call changed().
#pragma once

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
    QString artist, album, year, genre;    // artist_txt, album_txt, year_txt, genre_txt

    void notifyChanged() { Q_EMIT changed(); }

Q_SIGNALS:
    void changed();
};

} // namespace tunora
