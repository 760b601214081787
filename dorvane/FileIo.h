// Small file helpers of the library: legacy text decoding and atomic replacement.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QByteArray>
#include <QString>

namespace dorvane::io {

// UTF-8, or Windows-1252 when the bytes are not valid UTF-8. A leading byte-order mark is dropped.
// *wasUtf8 tells which reading was taken.
DORVANE_EXPORT QString DecodeText(const QByteArray& bytes, bool* wasUtf8 = nullptr);
DORVANE_EXPORT QString DecodeCp1252(const QByteArray& bytes);
// Windows-1252 bytes of text; false when a character has no byte there.
DORVANE_EXPORT bool EncodeCp1252(const QString& text, QByteArray* out);

// Reads a whole regular file of at most maxBytes. Answers false on any failure; *tooBig and
// *missing tell the two common reasons, *err carries errno of the failure.
DORVANE_EXPORT bool ReadSmallFile(const QString& path, qint64 maxBytes, QByteArray* out, bool* missing,
                                  bool* tooBig, int* err);

// Replaces path with bytes: a uniquely named temporary file in the same folder, written in full,
// fsync'ed, given the old file's permissions (newMode for a new file), and renamed over
// path. The old file stays untouched on any failure. A symbolic link is followed, so the
// file it names is replaced and the link stays.
DORVANE_EXPORT bool ReplaceFile(const QString& path, const QByteArray& bytes, unsigned newMode, QString* error);

// The file a path names once symbolic links are followed (the path itself when it does not exist).
DORVANE_EXPORT QString ResolveLinks(const QString& path);

} // namespace dorvane::io
