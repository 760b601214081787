#pragma once

#include "shell/Page.h"

class QLabel;
class QPushButton;

namespace tunora {

// Page 6: product name, comment, version, mail and web buttons, update check.
class AboutPage : public Page {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent = nullptr);
    void transme() override;
    // Enables "Check for updates" while no check runs.
    void setUpdateCheckAvailable(bool available);

private:
    void openAddress(const char* address);

    QLabel* m_app = nullptr;
    QLabel* m_auth = nullptr;
    QLabel* m_vers = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_email = nullptr;
    QPushButton* m_web = nullptr;
};

} // namespace tunora
