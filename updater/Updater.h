// The update check of the main window: "upd.dat" fetched from the maker's FTP server, builds
// compared, the installer downloaded in the updater window and started, the program closed.
#pragma once

#include "updater/UpdWindow.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace tunora {

class Ferrix;

class Updater : public QObject {
    Q_OBJECT
public:
    // window: the main window, disabled during the installer download.
    explicit Updater(QWidget* window);
    ~Updater() override;

    // automatic: the silent check after start-up (no message for a missing connection or an
    // up-to-date program); false from the about page.
    void CheckForUpdate(bool automatic);
    // Ends every transfer (the main window's and the updater window's).
    void closeConnections();

    bool isChecking() const { return m_checking; }
    Ferrix* ferrix() const { return m_ferrix; }
    // The updater window while the installer downloads, else null.
    UpdWindow* updWindow() const { return m_upd; }

    // Ends the program once the installer runs. The default closes the main window; tests
    // replace it to observe the end. Answers the previous handler.
    using EndHandler = std::function<void()>;
    static EndHandler SetEndProgramHandler(EndHandler handler);

Q_SIGNALS:
    // The updater window is on screen and its download is about to begin.
    void downloadStarting(tunora::UpdWindow* window);
    // A check begins (false) or ends (true): the about page's button follows.
    void checkAvailable(bool available);

private:
    // One file from the update server to localPath; true when it was stored.
    static bool fetch(Ferrix* ferrix, const QString& folder, const QString& name, const QString& localPath,
                      qint64 maxBytes);
    void openWebSite();
    void downloadInstaller(const QString& fileName, const QString& path, const QString& sha256);
    void setAboutButtonEnabled(bool enabled);

    QPointer<QWidget> m_window;
    Ferrix* m_ferrix = nullptr;
    QPointer<UpdWindow> m_upd;
    bool m_checking = false;
};

} // namespace tunora
