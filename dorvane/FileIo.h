// The file-safety layer every part of the program writes and reads through: text decoding
// (UTF-8, else Windows-1252), bounded reads, atomic replacement, no-replace renaming.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace dorvane::io {

// UTF-8, or Windows-1252 when the bytes are not valid UTF-8. A leading byte-order mark is dropped.
// *wasUtf8 tells which reading was taken.
DORVANE_EXPORT QString DecodeText(const QByteArray& bytes, bool* wasUtf8 = nullptr);
DORVANE_EXPORT QString DecodeCp1252(const QByteArray& bytes);
// Windows-1252 bytes of text; false when a character has no byte there.
DORVANE_EXPORT bool EncodeCp1252(const QString& text, QByteArray* out);

// File names are bytes. DecodeName keeps valid UTF-8 as it is and turns each byte of an invalid
// sequence into the lone surrogate U+DC80 + byte (0x80..0xFF), so that EncodeName gives back the
// very bytes: every path the program holds comes from DecodeName and goes to the kernel through
// EncodeName. A text without such surrogates encodes as its UTF-8.
DORVANE_EXPORT QString DecodeName(const QByteArray& bytes);
DORVANE_EXPORT QByteArray EncodeName(const QString& name);
// A name as windows and printed text show it: each run of escaped bytes read as Windows-1252.
DORVANE_EXPORT QString DisplayName(const QString& name);

// What a path names, by its bytes (links followed, but Exists looks at the link itself).
DORVANE_EXPORT bool IsFile(const QString& path);
DORVANE_EXPORT bool IsFolder(const QString& path);
DORVANE_EXPORT bool Exists(const QString& path);
// The path made absolute (from the working folder) and cleaned, as text alone: QFileInfo would
// lose the bytes of a name that is not UTF-8.
DORVANE_EXPORT QString AbsolutePath(const QString& path);
// The folder part of AbsolutePath(path).
DORVANE_EXPORT QString AbsoluteFolder(const QString& path);
// The path with every link and "."/".." resolved; empty when it names nothing.
DORVANE_EXPORT QString RealPath(const QString& path);

// Opens file (unopened) for reading on the file path names by its bytes; QFile's own open
// would name another file when the name is not valid UTF-8.
DORVANE_EXPORT bool OpenForReading(QFile& file, const QString& path);

// Reads a whole regular file of at most maxBytes, never waiting on a FIFO or device. Answers
// false on any failure; *tooBig and *missing tell the two common reasons, *err carries errno
// of the failure.
DORVANE_EXPORT bool ReadSmallFile(const QString& path, qint64 maxBytes, QByteArray* out, bool* missing,
                                  bool* tooBig, int* err);

// Reads at most the first maxBytes of a regular file (a FIFO or device is refused without
// waiting). False on any failure, *err carrying errno.
DORVANE_EXPORT bool ReadFileHead(const QString& path, qint64 maxBytes, QByteArray* out, int* err);

// Writes path as bytes: a uniquely named hidden temporary file in the same folder, written in
// full, fsync'ed, given the old file's permissions (newMode for a new file), and renamed over
// path; the folder is synced after. With replace false an existing file is never replaced.
// The old file stays untouched on any failure. A symbolic link is followed, so the file it
// names is replaced and the link stays.
inline constexpr unsigned kUmaskMode = ~0u; // newMode: 0666 less the umask, as for any new file
DORVANE_EXPORT bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                                        bool replace = true, unsigned newMode = kUmaskMode);

// The same written piece by piece, for files too large to hold in memory (a downloaded
// installer, an audio file around its new tag): open, write as the bytes come, then commit;
// the temporary file goes with cancel() or the destructor when not committed. A file that
// is replaced keeps its permissions and, where allowed, its owner.
class DORVANE_EXPORT AtomicWriter {
public:
    AtomicWriter() = default;
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    bool open(const QString& path, bool replace = true, unsigned newMode = kUmaskMode);
    bool write(const char* data, qint64 size);
    // The temporary file, for a writer that places bytes itself (pwrite, copy_file_range).
    int fd() const { return m_fd; }
    // Synced, renamed over (or, without replace, beside) the target, the folder synced.
    bool commit();
    void cancel();
    // Why the last call failed.
    QString errorString() const;

private:
    int m_fd = -1;
    int m_errno = 0;
    bool m_replace = true;
    QByteArray m_temp, m_target, m_folder;
};

// Overwrites bytes of an existing regular file where they stand, never changing its size, for
// a write whose every region keeps its length (a tag rewritten into its own room). The caller
// journals the old bytes before the first write; sync() makes the new bytes durable.
class DORVANE_EXPORT InPlaceWriter {
public:
    InPlaceWriter() = default;
    ~InPlaceWriter();
    InPlaceWriter(const InPlaceWriter&) = delete;
    InPlaceWriter& operator=(const InPlaceWriter&) = delete;

    bool open(const QString& path); // read and write, links followed, never created
    int fd() const { return m_fd; }
    // False (nothing written) for a region that would reach past the end of the file.
    bool writeAt(qint64 offset, const char* data, qint64 size);
    bool sync(); // fdatasync
    bool close();
    QString errorString() const;

private:
    int m_fd = -1;
    int m_errno = 0;
};

// The file a path names once symbolic links are followed (the path itself when it does not exist).
DORVANE_EXPORT QString ResolveLinks(const QString& path);

// Renames without ever replacing an existing file; a change of letter case alone goes through
// on a file system that ignores case. Answers the reason on failure.
DORVANE_EXPORT bool RenameNoReplace(const QString& oldPath, const QString& newPath, QString* error = nullptr);

// Makes the folder's entries (a new or renamed name) durable.
DORVANE_EXPORT bool SyncFolder(const QString& folder);

} // namespace dorvane::io
