#include "tests/common/TestSupport.h"
#include "tests/common/ArgumentRecorder.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tunora::test {

QString BuiltAppDir()
{
    const QString env = qEnvironmentVariable("TUNORA_BUILD_APP_DIR");
    return env.isEmpty() ? QStringLiteral(TUNORA_TEST_APP_DIR) : env;
}

QString SourceDir()
{
    const QString env = qEnvironmentVariable("TUNORA_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(TUNORA_TEST_SOURCE_DIR) : env;
}

static void copyData(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString rel = QDir(from).relativeFilePath(src);
        const QFileInfo fi(src);
        // Data files only: the programs and libraries stay in the build folder.
        const QString suffix = fi.suffix().toLower();
        if (!(suffix == "lf" || suffix == "dat" || suffix == "wav" || rel.startsWith("skin/")))
            continue;
        QDir().mkpath(QFileInfo(to + "/" + rel).absolutePath());
        QFile::copy(src, to + "/" + rel);
    }
}

TempAppEnv::TempAppEnv()
{
    m_oldApp = qgetenv("TUNORA_APP_FOLDER");
    m_oldReg = qgetenv("TUNORA_REGISTRY");
    copyData(BuiltAppDir(), appDir());
    qputenv("TUNORA_APP_FOLDER", QFile::encodeName(appDir()));
    qputenv("TUNORA_REGISTRY", QFile::encodeName(registryPath()));
    QFile f(appDir() + "/english.lf");
    if (f.open(QIODevice::ReadOnly))
        LanguageTable() = ParseLanguageFile(f.readAll());
    SetBusy(false);
    SetCancelRequested(false);
}

TempAppEnv::~TempAppEnv()
{
    if (m_oldApp.isNull())
        qunsetenv("TUNORA_APP_FOLDER");
    else
        qputenv("TUNORA_APP_FOLDER", m_oldApp);
    if (m_oldReg.isNull())
        qunsetenv("TUNORA_REGISTRY");
    else
        qputenv("TUNORA_REGISTRY", m_oldReg);
}

QString TempAppEnv::makeDir(const QString& relative) const
{
    const QString p = root() + "/" + relative;
    QDir().mkpath(p);
    return p;
}

ScriptedMessages::ScriptedMessages()
{
    m_old = SetMessageHandler([this](const QString& text, MsgButtons buttons) {
        texts << text;
        kinds << buttons;
        if (buttons == MsgButtons::Ok)
            return MsgAnswer::Ok;
        return answers.isEmpty() ? MsgAnswer::No : answers.takeFirst();
    });
}

ScriptedMessages::~ScriptedMessages()
{
    SetMessageHandler(std::move(m_old));
}

ScriptedDialogs::ScriptedDialogs()
{
    m_old = SetDialogHandler([this](QDialog* d) {
        seen << d->objectName();
        if (steps.isEmpty()) {
            d->reject();
            return;
        }
        steps.takeFirst()(d);
    });
}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogHandler(std::move(m_old));
}

ScriptedFileDialogs::ScriptedFileDialogs()
{
    m_old = SetFileDialogHandler([this](const FileDialogRequest& r) {
        requests << r;
        return answers.isEmpty() ? QStringList() : answers.takeFirst();
    });
}

ScriptedFileDialogs::~ScriptedFileDialogs()
{
    SetFileDialogHandler(std::move(m_old));
}

FileSizeLimit::FileSizeLimit(unsigned long long limit)
{
    rlimit l {};
    ::getrlimit(RLIMIT_FSIZE, &l);
    m_oldCur = l.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    l.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &l);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit l {};
    ::getrlimit(RLIMIT_FSIZE, &l);
    l.rlim_cur = m_oldCur;
    ::setrlimit(RLIMIT_FSIZE, &l);
    std::signal(SIGXFSZ, m_oldHandler);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        WaitMs(10);
    }
    return true;
}

QString Setting(const QString& name)
{
    return toolctl().RegistryRead(kSettingsRoot, QString::fromLatin1(kSettingsPath), name);
}

void SetSetting(const QString& name, const QString& value)
{
    toolctl().RegistryWrite(kSettingsRoot, QString::fromLatin1(kSettingsPath), name, value);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

bool WriteArgumentRecorder(const QString& path, const QString& output)
{
    const QByteArray out = QFile::encodeName(output);
    const QByteArray script = "#!/bin/sh\n"
                              "{ cat \"" + out + "\" 2>/dev/null; printf '%s\\n' \"$@\"; } > \"" + out + ".$$\" &&\n"
                              "mv \"" + out + ".$$\" \"" + out + "\"\n";
    return WriteAll(path, script) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray WaitForFile(const QString& path, int timeoutMs)
{
    return WaitUntil([&] { return QFile::exists(path); }, timeoutMs) ? ReadAll(path) : QByteArray();
}

int InChild(const std::function<int(QByteArray& out)>& fn, QByteArray* out, bool unprivileged)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (unprivileged && ::geteuid() == 0
            && (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(3);
        QByteArray bytes;
        const int code = fn(bytes);
        const ssize_t w = ::write(fds[1], bytes.constData(), static_cast<size_t>(bytes.size()));
        ::_exit(w == bytes.size() ? code : 4);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (out)
        *out = got;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void OpenToOthers(const QString& path)
{
    for (QString p = path; p.size() > 1 && p != QDir::tempPath(); p = QFileInfo(p).absolutePath())
        ::chmod(QFile::encodeName(p).constData(), 0755);
}

int RunProgram(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

CliRun RunTunoraCli(const QStringList& args)
{
    QByteArray out, err;
    const int rc = RunProgram(BuiltAppDir() + "/tunora-cli", args, &out, &err);
    return {rc, QString::fromUtf8(out), QString::fromUtf8(err)};
}

} // namespace tunora::test
