#include "album/AutosortDialog.h"

#include "album/AutoSort.h"
#include "shell/Dialogs.h"
#include "shell/core/Shared.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace tunora {

AutosortDialog::AutosortDialog(AlbumSession& session, QWidget* parent) : QDialog(parent), m_session(session)
{
    setObjectName("Autosort");
    setModal(true);
    auto* l = new QVBoxLayout(this);

    m_method = new QGroupBox(this);
    m_method->setObjectName("method_frm");
    auto* methodL = new QVBoxLayout(m_method);
    m_fast = new QRadioButton(m_method);
    m_fast->setObjectName("fast_rdo");
    m_fast->setChecked(true);
    m_quadratic = new QRadioButton(m_method);
    m_quadratic->setObjectName("Q_rdo");
    methodL->addWidget(m_fast);
    methodL->addWidget(m_quadratic);

    m_prog = new QGroupBox(this);
    m_prog->setObjectName("prog_frm");
    auto* progL = new QVBoxLayout(m_prog);
    auto* hst = new QFrame(m_prog);
    hst->setObjectName("cur_hst");
    hst->setFrameShape(QFrame::Box);
    hst->setFixedHeight(14);
    m_hst = hst;
    m_bar = new QFrame(m_hst);
    m_bar->setObjectName("cur_bar");
    m_bar->setStyleSheet(QStringLiteral("background-color: rgb(0,0,160);"));
    m_bar->setGeometry(0, 0, 0, 14);
    m_bar->hide();
    progL->addWidget(m_hst);

    m_res = new QGroupBox(this);
    m_res->setObjectName("res_frm");
    m_lst = new QListWidget(m_res);
    m_lst->setObjectName("lst");
    (new QVBoxLayout(m_res))->addWidget(m_lst);

    m_search = new QPushButton(this);
    m_search->setObjectName("search_btn");
    m_ok = new QPushButton(this);
    m_ok->setObjectName("ok_btn");
    auto* row = new QHBoxLayout;
    row->addWidget(m_search);
    row->addStretch(1);
    row->addWidget(m_ok);

    l->addWidget(m_method);
    l->addWidget(m_prog);
    l->addWidget(m_res, 1);
    l->addLayout(row);
    setMinimumSize(380, 420);

    transme();
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    progress(0);
    m_ok->setEnabled(false);
    connect(m_search, &QPushButton::clicked, this, &AutosortDialog::search);
    connect(m_ok, &QPushButton::clicked, this, &AutosortDialog::applyOrder);
}

void AutosortDialog::transme()
{
    setWindowTitle(LanguageText(80));
    m_search->setText(LanguageText(18));
    m_ok->setText(LanguageText(44));
    m_fast->setText(LanguageText(81));
    m_quadratic->setText(LanguageText(82));
    m_method->setTitle(LanguageText(79));
    m_prog->setTitle(LanguageText(27));
    m_res->setTitle(LanguageText(24));
}

void AutosortDialog::progress(int percent)
{
    m_bar->resize(m_bar->width(), m_hst->height());
    ShowProgress(m_bar, m_hst, percent);
}

void AutosortDialog::search()
{
    if (m_running)
        return;
    m_running = true;
    m_ok->setEnabled(false);
    m_search->setEnabled(false);
    m_lst->setEnabled(false);
    m_lst->clear();

    QList<ListItem> lst;
    for (const ListItem& e : m_session.mp3)
        lst.append({e.text, 0});
    const int n = static_cast<int>(lst.size());
    for (int i = 0; i < n; ++i) {
        progress(static_cast<int>(std::lround((i + 1) * 100.0 / n)));
        YieldEvents();
        lst[i].data = MeasureMs(m_session.path + '/' + lst.at(i).text);
    }
    progress(0);
    const SortProgress step = [this](int i, int steps) {
        progress(static_cast<int>(std::lround((i + 1) * 100.0 / steps)));
    };
    m_proposal = m_quadratic->isChecked() ? OptimalSort(lst, m_session.fetched, step)
                                          : FastSort(lst, m_session.fetched, step);
    for (const ListItem& e : m_proposal) {
        auto* item = new QListWidgetItem(e.text, m_lst);
        item->setData(Qt::UserRole, e.data);
    }
    m_ok->setEnabled(true);
    m_search->setEnabled(true);
    m_lst->setEnabled(true);
    m_running = false;
}

void AutosortDialog::applyOrder()
{
    if (m_running)
        return;
    QStringList names;
    for (int i = 0; i < m_lst->count(); ++i)
        names.append(m_lst->item(i)->text());
    m_session.setFiles(names);
    accept();
}

void AutosortDialog::closeEvent(QCloseEvent* event)
{
    if (m_running)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void AutosortDialog::reject()
{
    if (!m_running)
        QDialog::reject();
}

} // namespace tunora
