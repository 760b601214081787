// The genre picker window "genre": the genre table's names in binary order, OK and Cancel.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tunora {

// Children by objectName: "List1" (QListWidget), "ok_btn" and "cancel_btn" (QPushButton).
class GenrePicker : public QDialog {
    Q_OBJECT
public:
    explicit GenrePicker(QWidget* parent = nullptr);
    // Captions from the language table: texts 30 (window), 65 (OK), 32 (Cancel).
    void transme();
    // The entry chosen by OK; empty until then.
    QString chosen() const { return m_chosen; }

private:
    void updateOk();
    void acceptChoice();

    QListWidget* m_list;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_chosen;
};

// Opens the picker through ExecDialog; on OK sets genre to the chosen name and answers true,
// otherwise leaves genre unchanged and answers false.
bool ChooseGenre(QWidget* parent, QString& genre);

} // namespace tunora
