// Playing time of an MPEG-1 Layer III file from its first frame header and Xing header.
#pragma once

#include <QString>

namespace tunora {

// Answers true and sets milliseconds to the playing time (a whole number), or answers
// false and leaves milliseconds as it was.
bool GetMp3Length(const QString& path, double& milliseconds);
// The same; on failure why (when given) says in plain English what made the file unusable.
bool GetMp3Length(const QString& path, double& milliseconds, QString* why);

} // namespace tunora
