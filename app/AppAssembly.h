// Puts the main window together from the pages of every subsystem.
#pragma once

namespace tunora {

class MainWindow;

// Builds the main window with all seven pages and installs the hooks between subsystems
// (update check, FTP close). Does not run start-up.
MainWindow* BuildMainWindow();

} // namespace tunora
