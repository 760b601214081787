#include "updater/Updater.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"
#include "updater/Ferrix.h"
#include "updater/UpdWindow.h"
#include "updater/UpdateCore.h"
#include "updater/UpdateTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QWidget>

namespace tunora {

namespace {
Updater::EndHandler& endHandler()
{
    static Updater::EndHandler h;
    return h;
}

void removeIfPresent(const QString& path)
{
    const QFileInfo fi(path);
    if (fi.exists() || fi.isSymLink())
        QFile::remove(path);
}
} // namespace

Updater::Updater(QWidget* window) : QObject(window), m_window(window)
{
    m_ferrix = new Ferrix(this);
    m_ferrix->setObjectName("ferrix");
}

Updater::~Updater()
{
    closeConnections();
    delete m_upd.data();
}

Updater::EndHandler Updater::SetEndProgramHandler(EndHandler handler)
{
    EndHandler old = std::move(endHandler());
    endHandler() = std::move(handler);
    return old;
}

void Updater::closeConnections()
{
    m_ferrix->close();
    if (m_upd)
        m_upd->ferrix()->close();
}

void Updater::setAboutButtonEnabled(bool enabled)
{
    Q_EMIT checkAvailable(enabled);
}

bool Updater::fetch(Ferrix* ferrix, const QString& folder, const QString& name, const QString& localPath,
                    qint64 maxBytes)
{
    const UpdateServer server = UpdateServerAddress();
    return ferrix->download(QString::fromLatin1(kUpdateUser), QString::fromLatin1(kUpdatePassword), server.host,
                           server.port, folder, name, localPath, maxBytes);
}

void Updater::CheckForUpdate(bool automatic)
{
    // The start-up check and the about page's button must not run into each other.
    if (m_checking)
        return;
    m_checking = true;
    const QString folder = UpdateFolder();
    const QString description = DescriptionPath();
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    setAboutButtonEnabled(false);

    auto done = [&] {
        removeIfPresent(description);
        removeIfPresent(SignaturePath());
        setAboutButtonEnabled(true);
        m_checking = false;
    };
    // The check after start-up must not stop the user with a box: its failures go to the
    // status line; the about page's button still answers with a message.
    auto report = [automatic](const QString& text) {
        if (automatic)
            SetStatusText(text);
        else
            ShowMessage(text);
    };

    if (Setting(setting::kSkipConnectionTest) == QLatin1String("0") && !toolctl().IsConnected()) {
        if (!automatic)
            ShowMessage(text::NoInternetConnection());
        setAboutButtonEnabled(true);
        m_checking = false;
        return;
    }

    const QString serverFolder = QString::fromLatin1(kUpdateFolder);
    if (!fetch(m_ferrix, serverFolder, QString::fromLatin1(kDescriptionName), description, kMaxDescriptionBytes)) {
        // A transfer ended by closing the program is no failure to report.
        if (!m_ferrix->wasClosed())
            report(text::UpdateServerUnreachable());
        done();
        return;
    }

    // A package copy (marked, or unable to write its own folder) is updated by the package
    // manager, so nothing is downloaded or run, and the description needs no signature.
    const bool portable = PortableCopy();
    if (portable) {
        // The installer that follows is run: nothing in the description counts unless the
        // program's key signed it.
        if (!fetch(m_ferrix, serverFolder, QString::fromLatin1(kSignatureName), SignaturePath(), kMaxSignatureBytes)) {
            if (!m_ferrix->wasClosed())
                report(updtext::SignatureMissing());
            done();
            return;
        }
        QFile descFile(description), sigFile(SignaturePath());
        if (!descFile.open(QIODevice::ReadOnly) || !sigFile.open(QIODevice::ReadOnly) ||
            !VerifyEd25519(descFile.read(kMaxDescriptionBytes), sigFile.read(kMaxSignatureBytes), UpdatePublicKey())) {
            report(updtext::SignatureInvalid());
            done();
            return;
        }
    }

    const UpdateDescription d = ReadUpdateDescription(description);
    if (!(d.build > product::kRevision)) {
        if (!automatic)
            ShowMessage(UpToDateText());
        done();
        return;
    }
    if (!portable) {
        if (AskYesNo(updtext::NewerBuildForPackage(static_cast<int>(d.build))))
            openWebSite();
        done();
        return;
    }
    // The names come from the network and name a file that is then executed.
    if (!IsSafeInstallerName(d.fileName) || !IsSafeServerFolder(d.path)) {
        report(text::UpdateServerUnreachable());
        done();
        return;
    }
    if (!IsSha256Hex(d.sha256)) {
        report(updtext::ChecksumMissing());
        done();
        return;
    }
    if (!AskYesNo(ProductText(56))) {
        done();
        return;
    }
    downloadInstaller(d.fileName, d.path, d.sha256);
    done();
}

void Updater::openWebSite()
{
    QString url = QString::fromLatin1(product::kWebSite);
    bool newWindow = true;
    try {
        toolctl().OpenURL(0, url, newWindow);
    } catch (const dorvane::RuntimeError&) {
        // No browser to open: the message said where to look.
    }
}

void Updater::downloadInstaller(const QString& fileName, const QString& path, const QString& sha256)
{
    SetBusy(true);
    if (m_window)
        m_window->setEnabled(false);

    auto* upd = new UpdWindow;
    m_upd = upd;
    upd->setFileName(fileName);
    const QString installer = UpdateFolder() + '/' + fileName;
    removeIfPresent(installer);
    upd->show();
    Q_EMIT downloadStarting(upd);

    bool ok = fetch(upd->ferrix(), path, fileName, installer, kMaxInstallerBytes);
    QString failure = text::UpdateNotDownloaded();
    if (ok && !FileMatchesSha256(installer, sha256)) {
        QFile::remove(installer);
        failure = updtext::ChecksumMismatch();
        ok = false;
    }
    if (ok) {
        QFile::setPermissions(installer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                             QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        ShowMessage(ProductText(57));
        QFile::remove(DescriptionPath());
        if (QProcess::startDetached(installer, {}, UpdateFolder())) {
            closeConnections();
            YieldEvents();
            SetBusy(false);
            upd->unload();
            delete upd;
            if (m_window)
                m_window->setEnabled(true);
            if (endHandler())
                endHandler()();
            else if (m_window)
                m_window->close();
            return;
        }
    }
    ShowMessage(failure);
    closeConnections();
    upd->unload();
    delete upd;
    QFile::remove(DescriptionPath());
    SetBusy(false);
    if (m_window)
        m_window->setEnabled(true);
}

} // namespace tunora
