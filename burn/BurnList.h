// The burn list's logic without widgets: the running total against a 74-minute CD, the list
// file handed to the outside burner and how that burner is found and started.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// 74 minutes.
inline constexpr double kCdCapacityMs = 4440000.0;

// Where the outside burner's folder is stored (CURRENT_USER).
inline constexpr qint32 kBurnerRoot = 1;
inline constexpr const char* kBurnerKey = "Software\\VSO";
inline constexpr const char* kBurnerValue = "CopyToDVD";
inline constexpr const char* kBurnerExecutable = "copytocd.exe";

// Offered when no burner is found, and behind the burner button: the first Linux burner tried.
inline constexpr const char* kBurnerSite = "https://apps.kde.org/k3b/";

// The compilation's playing times (every format the tag layer measures) unless a test puts
// another in.
using PlayingTimeReader = std::function<bool(const QString& path, double& ms)>;
PlayingTimeReader DefaultPlayingTimeReader();

// "<text 172> 1min 2sec ": whole minutes, seconds rounded up (61 001 ms is 1min 2sec); a
// round-up to 60 seconds carries into the minutes. Empty for a negative total.
QString BurnTimeText(double totalMs);
// Share of the CD's capacity, whole percent, at most 100.
int BurnPercent(double totalMs);
// Longer than a CD holds: the hand-off asks first.
bool ExceedsCdCapacity(double totalMs);

// "list.c2c": one full path per line, CR LF after each, UTF-8 without byte-order mark.
QByteArray BurnListFileContents(const QStringList& entries);
// In the app folder of a portable copy, else in the cache folder (WritableFolder).
QString BurnListPath();

// A path holding CR or LF would be read back as two lines of the list: such entries are left
// out (and named in leftOut).
QStringList BurnableEntries(const QStringList& entries, QStringList* leftOut);

// The burner's folder as stored in the settings.
QString BurnerFolder();
// folder + "copytocd.exe" (a "/" is put between when the folder lacks its final one); empty
// when no folder is stored, so nothing is ever looked for in the current folder.
QString BurnerProgram(const QString& folder);

enum class BurnerKind { None, CopyToCd, K3b, Brasero };
struct Burner {
    BurnerKind kind = BurnerKind::None;
    QString program; // full path
};
// The first burner that is there: the CopyToCD folder of the settings (for users who have
// one), then k3b, then brasero found on PATH.
Burner FindBurner();
QString BurnerName(BurnerKind kind);

struct BurnerCommand {
    QString program;
    QStringList arguments;
};
// CopyToCD gets "/fl=<list>" and "/cdaudio=<list>", both naming the list file; k3b gets
// "--audiocd" and brasero "--audio", each followed by the files in list order. The arguments
// go to the burner as they are (no shell), so spaces in paths need no quoting.
BurnerCommand BurnerCommandFor(const Burner& burner, const QString& listPath, const QStringList& files);

// Move up and Move down act only when exactly one entry is selected and it can move: the
// row that moves, or -1.
int MoveUpRow(const QList<bool>& selected);
int MoveDownRow(const QList<bool>& selected);

// What the open-file dialog's answer adds: a single path only when the file exists (the
// remembered folder then keeps its final "/"); several paths each when the file exists or the
// name holds ":" (the folder without final "/"). lastDir is set only when it is to be stored.
QStringList TakeChosenFiles(const QStringList& chosen, QString* lastDir);

} // namespace tunora
