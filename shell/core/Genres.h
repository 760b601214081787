// The genre table of "styles.dat": position k names ID3v1 genre 147 - k.
#pragma once

#include <QString>
#include <QStringList>

namespace tunora {

inline constexpr int kGenreCount = 148;

enum class GenreLoad { Ok, Missing, Short };

// Loads up to 148 lines of the file into the table; positions not filled stay empty.
GenreLoad LoadGenreTable(const QString& stylesDatPath);
QStringList& GenreTable();
// First position whose name equals name case-insensitively; 135 when none does.
int GetIDXFromStyleName(const QString& name);
// 147 - GetIDXFromStyleName(name).
quint8 GenreByteForName(const QString& name);

} // namespace tunora
