#include "lister/ListerPage.h"

namespace tunora {

ListerPage::ListerPage(QWidget* parent) : Page(parent) {}

} // namespace tunora
