#pragma once

#include "shell/Page.h"

namespace tunora {

class PlaylistPage : public Page {
    Q_OBJECT
public:
    explicit PlaylistPage(QWidget* parent = nullptr);
};

} // namespace tunora
