// The program's playlist format (M3U): one path per line, relative to the playlist's folder,
// CR LF after every line, UTF-8 without a byte-order mark, no header.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// The playlist file of a folder and a name: folder + "/" + trimmed name + ".m3u".
QString PlaylistPath(const QString& folder, const QString& name);

// The playlist's bytes for files (full paths, in order, duplicates kept) in folder. Before
// each entry, step (when given) is told the entry; when it answers false the build stops
// and answers false.
bool BuildM3u(const QStringList& files, const QString& folder, QByteArray* bytes,
              const std::function<bool(const QString& file)>& step = {});
QByteArray M3uText(const QStringList& files, const QString& folder);

} // namespace tunora
