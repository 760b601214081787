// tunora: the desktop program.
#include "app/AppAssembly.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "shell/core/Product.h"
#include "shell/core/Shared.h"
#include "tags/Journal.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    const bool hasDisplay = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                            qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!hasDisplay) {
        std::fprintf(stderr, "tunora: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                             "start Tunora from a desktop session\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tunora");
    QApplication::setApplicationVersion(tunora::product::kVersion);
    // What an interrupted write left half done is settled before any page reads a file; the
    // status line tells what was done, no question asked.
    const tunora::tags::RecoveryReport recovery = tunora::tags::Recover();
    tunora::MainWindow* w = tunora::BuildMainWindow();
    tunora::InstallMessageBoxes(w);
    if (!w->startup())
        return 1;
    if (!recovery.summary().isEmpty())
        tunora::SetStatusText(recovery.summary());
    if (w->wantsMaximized())
        w->showMaximized();
    else
        w->show();
    const int rc = QApplication::exec();
    delete w;
    return rc;
}
