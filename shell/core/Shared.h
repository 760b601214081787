// Shared naming, path, text and list functions used by every page and by tunora-cli.
#pragma once

#include "dorvane/FileIo.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tunora {

// Folder of the running program without a trailing "/"; TUNORA_APP_FOLDER overrides it.
QString AppFolder();
// AppFolder() + "/" + name.
QString AppFile(const QString& relativeName);
// The package installs this file into the app folder: its presence marks a package copy.
inline constexpr char kPackageMarkerName[] = "installed-from-package";
// Where the program writes files of its own (burn list, update downloads): the app folder of a
// portable copy, else $XDG_CACHE_HOME/tunora (~/.cache/tunora), created when missing.
QString WritableFolder();
// True for a portable copy: the app folder holds no package marker and this user can write it.
bool PortableCopy();

// Replaces each "%d" (d from 1 to values.size()) by values[d - 1] in one pass, so a value that
// holds "%2" stays text.
QString FillPlaceholders(const QString& pattern, const QStringList& values);
// The naming pattern's placeholders: %1 artist, %2 title, %3 album, %4 year, %5 genre,
// %6 track number as "00"; the result cleaned as a file name.
QString FillPattern(const QString& pattern, const QString& artist, const QString& album, qint16 trackNumber,
                    const QString& title, const QString& year, const QString& genre);
// A file name made from text (often network text): without / \ : ? * " < > |, control
// characters, leading spaces and dots, trailing spaces and dots; at most 255 bytes in UTF-8,
// cut at a character boundary before a short extension, which is kept.
QString CleanFileName(const QString& text);
// Whether CleanFileName keeps c inside a name.
bool IsFileNameCharacter(QChar c);
// stem + "." + extension, the stem (already clean) cut as CleanFileName cuts so that the whole
// stays within 255 bytes.
QString FileNameWithExtension(const QString& stem, const QString& extension);
QString RelativePath(const QString& filePath, const QString& baseFolder);
// Renames without ever replacing an existing file; shows language text 169 on failure.
bool RenameFileReporting(const QString& oldPath, const QString& newPath);
// Files are decoded, renamed and written through libDorvane's file-safety layer.
using dorvane::io::DecodeText;          // UTF-8, else Windows-1252
using dorvane::io::RenameNoReplace;     // never replaces an existing file
using dorvane::io::WriteFileAtomically; // temporary file, fsync, atomic rename, folder synced
bool IsFourDigitYear(const QString& text);
// The numeric value of a text as the settings readers take it: leading spaces, an optional
// sign, then digits up to the first other character; 0 when there are none. Saturates.
qint64 NumericValue(const QString& text);
QString LanguageText(int n);

void SetBusy(bool busy);
bool IsBusy();
bool CancelRequested();
void SetCancelRequested(bool requested);
void SetStatusText(const QString& text);
void ReportCancelled();

// Lets the event loop run once.
void YieldEvents();
// Waits ms milliseconds with the event loop running.
void WaitMs(int ms);

// Case-insensitive comparisons use the locale-aware folded comparison.
bool SameTextCI(const QString& a, const QString& b);
bool ComboContains(QString& text, const QStringList& entries);
bool ListContains(QString& text, const QStringList& entries);
bool ListItemSelected(QString& text, const QStringList& entries, const QList<bool>& selected);
int FindComboPrefix(QString& text, const QStringList& entries);

// Sorts entries into ascending ordinal order, equal entries keeping their order; the
// integers of itemData (when given, same length) travel with their entries. Yields to the
// event loop regularly and answers false, leaving the list partly sorted, when cancel
// is requested.
bool SortListBox(QStringList& entries, QList<qint64>* itemData = nullptr);

inline qint32 Min(qint32 a, qint32 b) { return a < b ? a : b; }

} // namespace tunora
