#include "playlist/PlaylistPage.h"

namespace tunora {

PlaylistPage::PlaylistPage(QWidget* parent) : Page(parent) {}

} // namespace tunora
