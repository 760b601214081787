#pragma once

#include "shell/Page.h"

namespace tunora {

// Page 5: loads every setting at start-up and stores them on OK.
class SetupPage : public Page {
    Q_OBJECT
public:
    explicit SetupPage(QWidget* parent = nullptr);
    void prepare() override;
    void transme() override;
};

} // namespace tunora
