// ID3v1.1 and ID3v2.3 tags written in front of and behind the audio of an MP3 file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

namespace tunora {

// The seven texts handed to the tag writer, in this order.
struct TrackTag {
    QString title, track, artist, album, year, comment, genre;
};

// The tags of a file before and after a tag write, so that the write can be undone.
struct TagUndo {
    bool v2Written = false, v1Written = false;
    QByteArray oldV2, newV2; // the first ID3v2 tag, footer included (empty: none)
    QByteArray oldV1, newV1; // the last 128 bytes when they are an ID3v1 tag (empty: none)
};

// How a tag write reports while it runs. status (when set) is told the status line's text
// ("Updating ID3v2 : <file>", then "" at the end); beat (when set) is called between the
// steps and the chunks of the audio copy, where a window lets its events run. Unset, the
// write runs silent (the command line).
struct TagWriteProgress {
    std::function<void(const QString& text)> status;
    std::function<void()> beat;
    void tell(const QString& text) const
    {
        if (status)
            status(text);
    }
    void step() const
    {
        if (beat)
            beat();
    }
};

// What a tag write may carry beside the seven texts.
struct TagWriteExtras {
    // A picture (JPEG, PNG, GIF, ...) written behind the seven as the tag's front cover, in
    // place of the old tag's front cover; its other pictures stay. Empty: no new cover.
    QByteArray frontCover;
    // When given, filled with the tags before and after a successful write.
    TagUndo* undo = nullptr;
    // The disc's position in its set ("2/3"), written as TPOS in place of the old one. Empty:
    // the old tag's TPOS stays.
    QByteArray partOfSet;
    TagWriteProgress progress;
    // The album's artist, written as TPE2 in place of the old one. Empty: the old TPE2 stays.
    QString albumArtist;
    // An empty genre writes no TCON and the old tag's stays (a source that names no genre
    // knows nothing better); ID3v1 keeps its genre byte rule.
    bool genreOptional = false;
};

// Writes the requested tags (ID3v1 behind the audio, ID3v2 in front of it). Answers true
// when every requested tag was written. On false the file is byte for byte as it was.
bool WriteID3Tags(const TrackTag& tag, const QString& path, bool writeV1, bool writeV2);
// The same; on failure why (when given) names the reason.
bool WriteID3Tags(const TrackTag& tag, const QString& path, bool writeV1, bool writeV2, QString* why,
                  const TagWriteExtras& extras = {});

// Puts back the tags a write replaced, through the same atomic rewrite, but only while the
// file still holds exactly the tags that write left; otherwise the file stays as it is and
// why says so.
bool RestoreID3Tags(const QString& path, const TagUndo& undo, QString* why = nullptr,
                    const TagWriteProgress& progress = {});

// True when the file is longer than 130 bytes and its last 128 bytes begin with "TAG".
bool HasID3v1(const QString& path);
// The 125 bytes that follow "TAG" in an ID3v1.1 tag; the genre byte comes from the genre table.
QByteArray BuildID3v1(const TrackTag& tag);
// The complete ID3v2.3 tag: header, the seven frames, one byte of padding.
QByteArray BuildID3v2(const TrackTag& tag);
// The tag that replaces oldTag (a complete ID3v2 tag, or empty): the seven frames, the extra
// frames, then every frame of the old tag that none of them replaces (in v2.3 form), one byte
// of padding. Empty when it is too large for a tag.
QByteArray BuildID3v2(const TrackTag& tag, const QByteArray& oldTag, const QList<QByteArray>& extraFrames = {},
                      bool genreOptional = false);

// Size field of the file's ID3v2 header (the tag without its 10-byte header); 0 when the
// file has no usable tag. A header whose size bytes are not syncsafe or whose tag would
// reach past the end of the file is not a tag.
qint64 GetID3v2Size(const QString& path);
// The same test on the first bytes of a file of fileSize bytes.
qint64 ID3v2SizeFromHeader(const QByteArray& head, qint64 fileSize);
// Bytes in front of the audio taken by a valid ID3v2 tag: 10 + size, plus 10 for a footer.
qint64 ID3v2TotalSize(const QByteArray& head, qint64 fileSize);

} // namespace tunora
