#include "shell/AboutPage.h"

namespace tunora {

AboutPage::AboutPage(QWidget* parent) : Page(parent) {}
void AboutPage::transme() {}

} // namespace tunora
