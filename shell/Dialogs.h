// Seams for modal dialogs, file dialogs and message boxes, so tests can script every one.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace tunora {

// A dialog handler gets the dialog instead of exec(): it may set fields and click buttons;
// ExecDialog then answers the dialog's result().
using DialogHandler = std::function<void(QDialog*)>;
DialogHandler SetDialogHandler(DialogHandler handler);
int ExecDialog(QDialog* dialog);

struct FileDialogRequest {
    enum Kind { OpenMany, OpenOne, Save };
    Kind kind = OpenOne;
    QString caption;
    QString directory;
    QString filter;
};
// Answers the chosen paths; an empty list is a cancel.
using FileDialogHandler = std::function<QStringList(const FileDialogRequest&)>;
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

// Non-native file dialogs (QFileDialog), passed through ExecDialog unless a handler is set.
QStringList GetOpenFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);

// Message boxes of the program (OK, or Yes/No), owned by parent, with the program's title.
void InstallMessageBoxes(QWidget* parent);

// A progress bar drawn as a filled box inside its frame: width = percent of the frame's,
// hidden at 0. Lets the event loop run once.
void ShowProgress(QWidget* bar, QWidget* frame, int percent);

} // namespace tunora
