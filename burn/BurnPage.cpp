#include "burn/BurnPage.h"

namespace tunora {

BurnPage::BurnPage(QWidget* parent) : Page(parent) {}

} // namespace tunora
