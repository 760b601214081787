// Playing time of an MPEG audio file (MPEG-1, 2 and 2.5, layers I to III): the frame count of
// a Xing, Info or VBRI header, else the audio's bytes at the first frame's bit rate.
#pragma once

#include <QString>

namespace tunora {

// Answers true and sets milliseconds to the playing time (a whole number), or answers
// false and leaves milliseconds as it was.
bool GetMp3Length(const QString& path, double& milliseconds);
// The same; on failure why (when given) says in plain English what made the file unusable.
bool GetMp3Length(const QString& path, double& milliseconds, QString* why);

} // namespace tunora
