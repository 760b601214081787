// Stand-in programs that the program under test starts, and what they leave behind.
#pragma once

#include <QByteArray>
#include <QString>

namespace tunora::test {

// An executable stand-in program at path that adds its arguments, one a line, to output. It
// writes a temporary file and renames it, so output never shows a half-written run.
bool WriteArgumentRecorder(const QString& path, const QString& output);

// The content of path once it exists, waiting up to timeoutMs; empty when it never appears.
QByteArray WaitForFile(const QString& path, int timeoutMs = 10000);

} // namespace tunora::test
