#pragma once

#include "shell/Page.h"

namespace tunora {

class AlbumPage : public Page {
    Q_OBJECT
public:
    explicit AlbumPage(QWidget* parent = nullptr);
};

} // namespace tunora
