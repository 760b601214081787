#pragma once

#include "shell/Page.h"

namespace tunora {

class BulkPage : public Page {
    Q_OBJECT
public:
    explicit BulkPage(QWidget* parent = nullptr);
};

} // namespace tunora
