// Language files: 178 texts, one per accepted line.
#pragma once

#include <QString>
#include <QStringList>

namespace tunora {

inline constexpr int kLanguageTextCount = 178;

// Parses a language file's bytes into its texts (every line of at least 3 characters
// after trimming, minus its 3-character prefix, trimmed again).
QStringList ParseLanguageFile(const QByteArray& bytes);

// The loaded text table.
QStringList& LanguageTable();

} // namespace tunora
