#include "bulk/BulkPage.h"

namespace tunora {

BulkPage::BulkPage(QWidget* parent) : Page(parent) {}

} // namespace tunora
