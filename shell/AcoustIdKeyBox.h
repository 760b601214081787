// The setup page's AcoustID box: the application key AcoustID lookups send, with where to
// get one. Loaded and stored with the rest of the page.
#pragma once

#include <QGroupBox>

class QLabel;
class QLineEdit;

namespace tunora {

class AcoustIdKeyBox : public QGroupBox {
    Q_OBJECT
public:
    explicit AcoustIdKeyBox(QWidget* parent = nullptr);
    void load();
    void save();
    void transme();

private:
    QLabel* m_keyLbl = nullptr;
    QLineEdit* m_key = nullptr;
    QLabel* m_where = nullptr;
};

} // namespace tunora
