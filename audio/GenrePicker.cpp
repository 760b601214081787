#include "audio/GenrePicker.h"

#include "shell/Dialogs.h"

#include <QListWidget>
#include <QPushButton>

namespace tunora {

GenrePicker::GenrePicker(QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_ok(new QPushButton(this)), m_cancel(new QPushButton(this))
{
    setObjectName("genre");
    m_list->setObjectName("List1");
    m_ok->setObjectName("ok_btn");
    m_cancel->setObjectName("cancel_btn");
}

void GenrePicker::transme() {}
void GenrePicker::updateOk() {}
void GenrePicker::acceptChoice() {}

bool ChooseGenre(QWidget* parent, QString& genre)
{
    GenrePicker dlg(parent);
    if (ExecDialog(&dlg) != QDialog::Accepted || dlg.chosen().isEmpty())
        return false;
    genre = dlg.chosen();
    return true;
}

} // namespace tunora
