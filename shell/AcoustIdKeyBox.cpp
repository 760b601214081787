#include "shell/AcoustIdKeyBox.h"

#include "shell/core/Language.h"
#include "shell/core/Settings.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace tunora {

AcoustIdKeyBox::AcoustIdKeyBox(QWidget* parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("setup_acoustid_frm"));
    auto* l = new QGridLayout(this);
    m_keyLbl = new QLabel(this);
    m_keyLbl->setObjectName(QStringLiteral("setup_acoustidkey_lbl"));
    m_key = new QLineEdit(this);
    m_key->setObjectName(QStringLiteral("setup_acoustidkey_txt"));
    m_keyLbl->setBuddy(m_key);
    m_where = new QLabel(this);
    m_where->setObjectName(QStringLiteral("setup_acoustidkey_where"));
    m_where->setWordWrap(true);
    l->addWidget(m_keyLbl, 0, 0);
    l->addWidget(m_key, 0, 1);
    l->addWidget(m_where, 1, 0, 1, 2);
    transme();
}

void AcoustIdKeyBox::load()
{
    m_key->setText(Setting(setting::kAcoustIdKey).trimmed());
}

void AcoustIdKeyBox::save()
{
    SetSetting(setting::kAcoustIdKey, m_key->text().trimmed());
}

void AcoustIdKeyBox::transme()
{
    setTitle(QStringLiteral("AcoustID"));
    m_keyLbl->setText(LocalText("AcoustID key:", "Clé AcoustID :"));
    m_where->setText(LocalText("Free for non-commercial use: register an application at acoustid.org.",
                               "Gratuite pour un usage non commercial : enregistrez une application sur acoustid.org."));
}

} // namespace tunora
