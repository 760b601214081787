#pragma once

#include "shell/Page.h"

namespace tunora {

class ListerPage : public Page {
    Q_OBJECT
public:
    explicit ListerPage(QWidget* parent = nullptr);
};

} // namespace tunora
