#include "shell/Dialogs.h"

#include "shell/core/Product.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace tunora {

namespace {
DialogHandler& dialogHandler()
{
    static DialogHandler h;
    return h;
}
FileDialogHandler& fileDialogHandler()
{
    static FileDialogHandler h;
    return h;
}

QStringList runFileDialog(QWidget* parent, const FileDialogRequest& req)
{
    if (fileDialogHandler())
        return fileDialogHandler()(req);
    QFileDialog dlg(parent, req.caption, req.directory, req.filter);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    switch (req.kind) {
    case FileDialogRequest::OpenMany:
        dlg.setFileMode(QFileDialog::ExistingFiles);
        break;
    case FileDialogRequest::OpenOne:
        dlg.setFileMode(QFileDialog::ExistingFile);
        break;
    case FileDialogRequest::Save:
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        break;
    }
    if (ExecDialog(&dlg) != QDialog::Accepted)
        return {};
    return dlg.selectedFiles();
}
} // namespace

DialogHandler SetDialogHandler(DialogHandler handler)
{
    DialogHandler old = std::move(dialogHandler());
    dialogHandler() = std::move(handler);
    return old;
}

int ExecDialog(QDialog* dialog)
{
    if (!dialogHandler())
        return dialog->exec();
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    QPointer<QDialog> guard(dialog);
    dialogHandler()(dialog);
    if (!guard)
        return QDialog::Rejected;
    const int result = dialog->result();
    dialog->hide();
    return result;
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler)
{
    FileDialogHandler old = std::move(fileDialogHandler());
    fileDialogHandler() = std::move(handler);
    return old;
}

QStringList GetOpenFileNames(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    return runFileDialog(parent, {FileDialogRequest::OpenMany, caption, dir, filter});
}

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    const QStringList r = runFileDialog(parent, {FileDialogRequest::OpenOne, caption, dir, filter});
    return r.isEmpty() ? QString() : r.first();
}

QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    const QStringList r = runFileDialog(parent, {FileDialogRequest::Save, caption, dir, filter});
    return r.isEmpty() ? QString() : r.first();
}

void InstallMessageBoxes(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    SetMessageHandler([owner](const QString& text, MsgButtons buttons) {
        const QString title = QString::fromLatin1(product::kName);
        if (buttons == MsgButtons::YesNo) {
            return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                       ? MsgAnswer::Yes
                       : MsgAnswer::No;
        }
        QMessageBox::information(owner, title, text);
        return MsgAnswer::Ok;
    });
}

void ShowProgress(QWidget* bar, QWidget* frame, int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (bar && frame) {
        bar->resize(frame->width() * percent / 100, bar->height());
        bar->setVisible(percent != 0);
    }
    YieldEvents();
    if (bar)
        bar->update();
}

} // namespace tunora
