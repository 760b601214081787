#include "shell/core/DiscLayout.h"

namespace tunora {

DiscLayout LayoutFromLengths(const QList<qint64>& lengthsMs)
{
    DiscLayout layout;
    qint64 frame = 150;
    for (const qint64 ms : lengthsMs) {
        layout.offsets << frame;
        frame += (ms * 75 + 500) / 1000;
    }
    layout.leadOut = frame;
    layout.totalSeconds = frame / 75;
    return layout;
}

} // namespace tunora
