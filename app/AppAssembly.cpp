#include "app/AppAssembly.h"

#include "album/AlbumPage.h"
#include "folders/Choixrecoldir.h"
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
    SetupPage* setup = nullptr;
    AboutPage* about = nullptr;
    std::array<MainWindow::PageFactory, MainWindow::kPageCount> factories = {
        [](MainWindow*) -> Page* { return new AlbumPage; },
        [](MainWindow*) -> Page* { return new ListerPage; },
        [](MainWindow*) -> Page* { return new BulkPage; },
        [](MainWindow*) -> Page* { return new PlaylistPage; },
        [](MainWindow*) -> Page* { return new BurnPage; },
        [&setup](MainWindow*) -> Page* { return setup = new SetupPage; },
        [&about](MainWindow*) -> Page* { return about = new AboutPage; },
    };
    auto* w = new MainWindow(factories);

    // The pages talk to each other and to the updater only through what is wired here.
    setup->choosePlaylistFolder = [](QWidget* parent, QString* folder) { return ChooseFolder(parent, ChooserMode::SetupPlaylistFolder, folder); };
    auto* updater = new Updater(w);
    QObject::connect(updater, &Updater::checkAvailable, about, &AboutPage::setUpdateCheckAvailable);
    w->checkForUpdate = [updater](bool automatic) { updater->CheckForUpdate(automatic); };
    w->closeConnections = [updater] { updater->closeConnections(); };
    return w;
}

} // namespace tunora
