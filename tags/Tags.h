// One tag model and one playing time for every audio format Tunora knows. MP3 goes through
// Tunora's own ID3 code (audio/), every other format through TagLib. A write is planned
// first (the plan names the bytes that change, the file stays untouched), then carried out
// through the file-safety layer; the plan read backwards is its undo.
#pragma once

#include "folders/AudioFormats.h"

#include <QByteArray>
#include <QFlags>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>

namespace tunora::tags {

struct FrontCover {
    QByteArray bytes;
    QString mime; // "image/jpeg", "image/png", ...
    bool isEmpty() const { return bytes.isEmpty(); }
};

// The fields Tunora reads and writes, the same for every format. A number of 0 and an
// empty text are "not set".
struct TagFields {
    QString title, artist, album, year, comment, genre, albumArtist;
    int track = 0, trackTotal = 0;
    int disc = 0, discTotal = 0;
    FrontCover cover;
};

enum class Field : unsigned {
    Title = 1u << 0,
    Track = 1u << 1, // number and total together
    Artist = 1u << 2,
    Album = 1u << 3,
    Year = 1u << 4,
    Comment = 1u << 5,
    Genre = 1u << 6,
    AlbumArtist = 1u << 7,
    Disc = 1u << 8, // number and total together
    Cover = 1u << 9,
};
Q_DECLARE_FLAGS(Fields, Field)
Q_DECLARE_OPERATORS_FOR_FLAGS(Fields)

// What a file holds as Tunora reads it.
struct FileTags {
    AudioFormat format = AudioFormat::Unknown; // what the bytes are, whatever the extension says
    qint64 lengthMs = -1; // playing time; -1 when it cannot be told
    TagFields fields;
    QString formatName() const { return FormatInfo(format).name; }
};

// What a file's first bytes say it is (an ID3v2 tag in front is looked through); Unknown
// when they name none of the formats. byExtension settles what the bytes leave open.
AudioFormat SniffFormat(const QByteArray& head, AudioFormat byExtension = AudioFormat::Unknown);

// The format of the file at path: by its bytes, else by its extension (MP3 frames carry no
// magic, so a file that names no other format is taken as MP3 when nothing else fits).
// Unknown with why when it is no audio file Tunora reads.
AudioFormat FormatOfFile(const QString& path, QString* why = nullptr);

// Reads a file's tags and playing time. False (why says so) when it is missing, unreadable
// or no audio of a format Tunora reads.
bool ReadFileTags(const QString& path, FileTags* out, QString* why = nullptr);
// The playing time alone (in ms, whole), as fast as the format allows.
bool ReadLength(const QString& path, qint64* ms, QString* why = nullptr, AudioFormat* format = nullptr);
// The same read over bytes in memory, of a format other than MP3 (the fuzz target's way in).
bool ReadTagsFromBytes(const QByteArray& bytes, AudioFormat format, FileTags* out, QString* why = nullptr);

// One changed region of a file: at offset (in the file before the write), oldBytes become
// newBytes.
struct ByteChange {
    qint64 offset = 0;
    QByteArray oldBytes, newBytes;
};

// Which file a path named at one moment: a file replaced, rewritten or touched since has
// another identity.
struct FileIdentity {
    quint64 device = 0, inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const QString& path); // size -1 when it cannot be read

// A write worked out but not done: the file at path of oldSize bytes becomes one of newSize
// bytes through changes (in ascending order, apart from each other). Empty changes: the
// write changes nothing.
struct WritePlan {
    QString path; // links followed
    AudioFormat format = AudioFormat::Unknown;
    qint64 oldSize = 0, newSize = 0;
    QList<ByteChange> changes;
    FileIdentity identity; // of the file the plan was made from
};

struct WriteOptions {
    bool id3v1 = true, id3v2 = true; // MP3 only: which ID3 tags to write
    // MP3: the comment a file without one gets when the write does not set the comment.
    QString defaultComment;
    // MP3: the ID3v2 tag fills the old tag's room when it fits (the write is then in place),
    // else it gets room for later edits; false: the tag exactly as audio/ writes it.
    bool padding = true;
};

// Plans writing the chosen fields of values into the file; every other field, picture and
// block stays. False (why says so) when the file cannot be tagged.
bool PlanWrite(const QString& path, const TagFields& values, Fields fields, const WriteOptions& options,
               WritePlan* plan, QString* why = nullptr);

// Every change of the plan keeps its region's size (and so the file's): it can be written in place.
bool KeepsSizes(const WritePlan& plan);

// Carries the plan out: only while the file still holds the plan's old bytes, and journalled
// (tags/Journal.h). A plan whose every change keeps its size is written in place (those bytes
// alone, then fdatasync); any other through a temporary file, fsync and an atomic rename. On false the file is as it was. written (when
// given) receives the identity of the file written. beat (when given) comes after each MiB a
// rewrite copies, so that a window stays responsive.
bool CarryOut(const WritePlan& plan, QString* why = nullptr, FileIdentity* written = nullptr,
              const std::function<void()>& beat = {});

// Carries out many plans as one: the in-place ones journalled together (one journal sync),
// written, then their data synced all at once, so a run costs one sync per file and one for
// the journal instead of two per file; the others one by one as CarryOut. whys[i]: empty, or why plans[i] failed.
QList<bool> CarryOutAll(const QList<WritePlan>& plans, QStringList* whys);

// The plan that takes the written file back to its old bytes; written: the identity
// CarryOut told of the file it wrote, when known.
WritePlan Reversed(const WritePlan& plan, const FileIdentity& written = {});

// The whole file after the plan, from the bytes before it (tests and small files).
QByteArray Applied(const QByteArray& before, const WritePlan& plan);

// A plan as JSON (the bytes in base64), for journals that must outlive the process; false
// from PlanFromJson when the object is no complete plan.
QJsonObject PlanToJson(const WritePlan& plan);
bool PlanFromJson(const QJsonObject& json, WritePlan* plan);
// A file name in a JSON record: the text under key, and when the name holds bytes that are not
// UTF-8 also those bytes in base64 under key + "64", which the reader takes first.
void PutName(QJsonObject& o, const QString& key, const QString& name);
QString TakeName(const QJsonObject& o, const QString& key);

} // namespace tunora::tags
