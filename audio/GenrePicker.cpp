#include "audio/GenrePicker.h"

#include "shell/Dialogs.h"
#include "shell/core/Genres.h"
#include "shell/core/Shared.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tunora {

GenrePicker::GenrePicker(QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)), m_ok(new QPushButton(this)), m_cancel(new QPushButton(this))
{
    setObjectName("genre");
    m_list->setObjectName("List1");
    m_ok->setObjectName("ok_btn");
    m_cancel->setObjectName("cancel_btn");
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    // Binary order of the character codes: upper case before lower case, equal names
    // keeping their table order. Unfilled positions of a short table are not offered.
    QStringList names;
    for (const QString& name : GenreTable())
        if (!name.isEmpty())
            names << name;
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseSensitive) < 0; });
    m_list->addItems(names);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    m_ok->setDefault(true);
    m_ok->setEnabled(false);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &GenrePicker::updateOk);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        updateOk();
        if (m_ok->isEnabled())
            acceptChoice();
    });
    connect(m_ok, &QPushButton::clicked, this, &GenrePicker::acceptChoice);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    transme();
}

void GenrePicker::transme()
{
    setWindowTitle(LanguageText(30));
    m_ok->setText(LanguageText(65));
    m_cancel->setText(LanguageText(32));
}

void GenrePicker::updateOk()
{
    m_ok->setEnabled(!m_list->selectedItems().isEmpty());
}

void GenrePicker::acceptChoice()
{
    const QList<QListWidgetItem*> sel = m_list->selectedItems();
    if (sel.isEmpty())
        return;
    m_chosen = sel.first()->text();
    accept();
}

bool ChooseGenre(QWidget* parent, QString& genre)
{
    GenrePicker dlg(parent);
    if (ExecDialog(&dlg) != QDialog::Accepted || dlg.chosen().isEmpty())
        return false;
    genre = dlg.chosen();
    return true;
}

} // namespace tunora
