#include "app/AppAssembly.h"

#include "album/AlbumPage.h"
#include "bulk/BulkPage.h"
#include "burn/BurnPage.h"
#include "lister/ListerPage.h"
#include "playlist/PlaylistPage.h"
#include "shell/AboutPage.h"
#include "shell/MainWindow.h"
#include "shell/SetupPage.h"
#include "updater/Updater.h"

namespace tunora {

MainWindow* BuildMainWindow()
{
    std::array<MainWindow::PageFactory, MainWindow::kPageCount> factories = {
        [](MainWindow*) -> Page* { return new AlbumPage; },
        [](MainWindow*) -> Page* { return new ListerPage; },
        [](MainWindow*) -> Page* { return new BulkPage; },
        [](MainWindow*) -> Page* { return new PlaylistPage; },
        [](MainWindow*) -> Page* { return new BurnPage; },
        [](MainWindow*) -> Page* { return new SetupPage; },
        [](MainWindow*) -> Page* { return new AboutPage; },
    };
    auto* w = new MainWindow(factories);
    auto* updater = new Updater(w);
    w->checkForUpdate = [updater](bool automatic) { updater->CheckForUpdate(automatic); };
    w->closeConnections = [updater] { updater->closeConnections(); };
    return w;
}

} // namespace tunora
