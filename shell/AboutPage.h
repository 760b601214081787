#pragma once

#include "shell/Page.h"

namespace tunora {

// Page 6: product name, comment, version, mail and web buttons, update check.
class AboutPage : public Page {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent = nullptr);
    void transme() override;
};

} // namespace tunora
