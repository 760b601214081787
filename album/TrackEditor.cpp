#include "album/TrackEditor.h"

#include "album/AlbumSession.h"
#include "shell/Dialogs.h"
#include "shell/core/Shared.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tunora {

TrackEditor::TrackEditor(AlbumSession& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_index(session.tracksFocus)
{
    setObjectName("trackedit");
    setModal(true);
    m_name = new QLineEdit(this);
    m_name->setObjectName("name_txt");
    m_name->setMinimumWidth(320);
    m_ok = new QPushButton(this);
    m_ok->setObjectName("ok_btn");
    m_ok->setDefault(true);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName("cancel_btn");
    auto* l = new QVBoxLayout(this);
    l->addWidget(m_name);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_ok);
    row->addWidget(m_cancel);
    l->addLayout(row);
    transme();
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    if (m_index >= 0 && m_index < session.fetched.size())
        m_name->setText(session.fetched.at(m_index).text);
    connect(m_ok, &QPushButton::clicked, this, &TrackEditor::onOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TrackEditor::transme()
{
    setWindowTitle(LanguageText(158));
    m_ok->setText(LanguageText(65));
    m_cancel->setText(LanguageText(32));
}

void TrackEditor::onOk()
{
    m_session.setTrackTitle(m_index, m_name->text());
    accept();
}

void EditFocusedTrack(AlbumSession& session, QWidget* parent)
{
    const int i = session.tracksFocus;
    if (i < 0 || i >= session.tracks.size() || i >= session.fetched.size())
        return;
    TrackEditor dlg(session, parent);
    ExecDialog(&dlg);
}

} // namespace tunora
