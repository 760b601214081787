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
// A name the playlist file may take: not empty, no "/" (it would name another folder) and not
// only dots.
bool IsPlaylistName(const QString& name);

// The playlist's bytes for files (full paths, in order, duplicates kept) in folder. Before
// each entry, step (when given) is told the entry; when it answers false the build stops
// and answers false. A path holding a line break cannot be one line of the list: it is left
// out and added to leftOut. An entry beginning with "#" is written as "./#...", so that it
// is not read as a comment.
bool BuildM3u(const QStringList& files, const QString& folder, QByteArray* bytes,
              const std::function<bool(const QString& file)>& step = {}, QStringList* leftOut = nullptr);
QByteArray M3uText(const QStringList& files, const QString& folder, QStringList* leftOut = nullptr);

// What the user is told about the files left out of a playlist.
QString LeftOutMessage(const QStringList& leftOut);

} // namespace tunora
