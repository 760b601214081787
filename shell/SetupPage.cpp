#include "shell/SetupPage.h"

#include <QComboBox>
#include <QVBoxLayout>

namespace tunora {

SetupPage::SetupPage(QWidget* parent) : Page(parent)
{
    auto* l = new QVBoxLayout(this);
    auto* lng = new QComboBox(this);
    lng->setObjectName("setup_lngcmb");
    l->addWidget(lng);
    l->addStretch(1);
}

void SetupPage::prepare() {}
void SetupPage::transme() {}

} // namespace tunora
