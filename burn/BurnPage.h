#pragma once

#include "shell/Page.h"

namespace tunora {

class BurnPage : public Page {
    Q_OBJECT
public:
    explicit BurnPage(QWidget* parent = nullptr);
};

} // namespace tunora
