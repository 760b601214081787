#include "album/AlbumPage.h"

namespace tunora {

AlbumPage::AlbumPage(QWidget* parent) : Page(parent) {}

} // namespace tunora
