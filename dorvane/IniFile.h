// INI files of sections and keys, read and written with private-profile semantics: sections and
// keys compare without regard to case, names and values are trimmed, one pair of quotes around a
// value is dropped, lines starting with ";" are comments.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace dorvane::ini {

// A profile file is small; larger files are not read.
constexpr qint64 kMaxIniBytes = 16 * 1024 * 1024;

// The value of key in section, or nullopt when either is missing.
DORVANE_EXPORT std::optional<QString> FindValue(const QByteArray& bytes, const QString& section, const QString& key);

// What a profile read with a buffer of bufferChars characters answers: the value, or def (its
// trailing blanks dropped) when the file, section or key is missing; cut to bufferChars - 1.
DORVANE_EXPORT QString ReadString(const QString& file, const QString& section, const QString& key,
                                  const QString& def, int bufferChars = 255);

// The file's bytes with key in section set to value (section and key created as needed); other
// lines keep their bytes. nullopt when section, key or value cannot stand in an INI file.
DORVANE_EXPORT std::optional<QByteArray> WithValue(const QByteArray& bytes, const QString& section,
                                                   const QString& key, const QString& value);

// Writes key in section of the file, creating file, section and key as needed, through an atomic
// replace. False when refused: a missing folder, a file we may not write, a value that cannot be
// stored, a write error.
DORVANE_EXPORT bool WriteString(const QString& file, const QString& section, const QString& key,
                                const QString& value, QString* error = nullptr);

} // namespace dorvane::ini
