// Test support shared by every module's tests.
#pragma once

#include "shell/Dialogs.h"
#include "shell/core/Ui.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// Readable Qt strings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < l.size(); ++i)
        *os << (i ? ", " : "") << '"' << l.at(i).toStdString() << '"';
    *os << '}';
}

namespace tunora::test {

// The app folder the build assembled, and the source tree.
QString BuiltAppDir();
QString SourceDir();

// A temporary app folder (a copy of the built one's data files) and settings file, set as
// TUNORA_APP_FOLDER and TUNORA_REGISTRY for the lifetime of the object. The language table
// is loaded from its english.lf.
class TempAppEnv {
public:
    TempAppEnv();
    ~TempAppEnv();
    QString root() const { return m_dir.path(); }   // scratch space of the test
    QString appDir() const { return m_dir.path() + "/app"; }
    QString registryPath() const { return m_dir.path() + "/registry.reg"; }
    // A fresh folder under root().
    QString makeDir(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldApp, m_oldReg;
};

// Scripted message boxes: records every text, answers from a queue (OK; Yes/No questions
// take the next queued answer, else No).
class ScriptedMessages {
public:
    ScriptedMessages();
    ~ScriptedMessages();
    QStringList texts;
    QList<MsgAnswer> answers;
    QList<MsgButtons> kinds;

private:
    MessageHandler m_old;
};

// Scripted modal dialogs: each ExecDialog hands the dialog to the next queued step
// (or rejects it when none is queued).
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    QList<std::function<void(QDialog*)>> steps;
    QStringList seen; // objectName of every dialog shown

private:
    std::function<void(QDialog*)> m_old;
};

// Scripted file dialogs: each request takes the next queued answer (empty list = cancel).
class ScriptedFileDialogs {
public:
    ScriptedFileDialogs();
    ~ScriptedFileDialogs();
    QList<QStringList> answers;

    QList<FileDialogRequest> requests;

private:
    FileDialogHandler m_old;
};

// Finds a child by objectName; fails the test when it is missing.
template <class T>
T* Child(QObject* parent, const QString& name)
{
    T* w = parent->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << "no child named " << name.toStdString();
    return w;
}

// Lets the event loop run until done() holds; false when timeoutMs pass first. (QTRY_* would
// not fail a GoogleTest test.)
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Files of this process cannot grow beyond limit bytes while it lives: writes fail with
// EFBIG instead of the process being killed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long m_oldCur = 0;
    void (*m_oldHandler)(int) = nullptr;
};

// A setting by the name the settings file stores it under (the program itself names its keys
// in shell/core/SettingKeys.h); tests spell the stored names out so a renamed key shows.
QString Setting(const QString& name);
void SetSetting(const QString& name, const QString& value);

QByteArray ReadAll(const QString& path);
bool WriteAll(const QString& path, const QByteArray& bytes);

// Runs fn in a forked child and answers its exit code (128 + signal when it was killed); what
// fn leaves in its argument reaches *out. unprivileged: a child running as root gives that up
// first (exit code 3 when it cannot), so unreadable folders stay unreadable to it.
int InChild(const std::function<int(QByteArray& out)>& fn, QByteArray* out = nullptr, bool unprivileged = false);

// Opens path and every folder above it (up to the temporary folder) for other users, so an
// unprivileged child reaches it.
void OpenToOthers(const QString& path);

// Runs a program and answers its exit code (-1 when it could not start); output captured.
int RunProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 120000);

// The built tunora-cli run with args: its exit code (as RunProgram) and its output as text.
struct CliRun {
    int rc;
    QString out, err;
};
CliRun RunTunoraCli(const QStringList& args);

} // namespace tunora::test
