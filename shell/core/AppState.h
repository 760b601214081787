// Process-wide flags (busy, cancel requested) and the status line, observable by the window.
#pragma once

#include <QObject>
#include <QString>

namespace tunora {

class AppState : public QObject {
    Q_OBJECT
public:
    static AppState& instance();

    bool busy() const { return m_busy; }
    void setBusy(bool busy);
    bool cancelRequested() const { return m_cancel; }
    void setCancelRequested(bool cancel) { m_cancel = cancel; }
    QString statusText() const { return m_status; }
    void setStatusText(const QString& text);

Q_SIGNALS:
    void busyChanged(bool busy);
    void statusTextChanged(const QString& text);

private:
    bool m_busy = false;
    bool m_cancel = false;
    QString m_status;
};

} // namespace tunora
