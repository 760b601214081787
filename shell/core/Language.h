// Language files: 178 texts, one per accepted line.
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

namespace tunora {

inline constexpr int kLanguageTextCount = 178;

// Parses a language file's bytes into its texts (every line of at least 3 characters
// after trimming, minus its 3-character prefix, trimmed again).
QStringList ParseLanguageFile(const QByteArray& bytes);

// A language file is a few kilobytes: no more than this of one is read, whatever its size.
inline constexpr qint64 kMaxLanguageFileBytes = 1 << 20;
// The texts of an opened language file, read up to that bound.
QStringList ReadLanguageFile(QFile& file);

// The loaded text table.
QStringList& LanguageTable();

// For tunora-cli: loads the language the window would show (the setting "Language"), so that
// messages read the same; English when that file is missing or not a whole language file.
void LoadSettingLanguage();

// A text the language files do not carry: the French one while the chosen language is French,
// else the English one.
QString LocalText(const char* english, const char* french);

} // namespace tunora
