#include "shell/core/AppState.h"

namespace tunora {

AppState& AppState::instance()
{
    static AppState state;
    return state;
}

void AppState::setBusy(bool busy)
{
    m_busy = busy;
    Q_EMIT busyChanged(busy);
}

void AppState::setStatusText(const QString& text)
{
    m_status = text;
    Q_EMIT statusTextChanged(text);
}

} // namespace tunora
