#include "shell/AboutPage.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/MainWindow.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tunora {

AboutPage::AboutPage(QWidget* parent) : Page(parent)
{
    auto* l = new QVBoxLayout(this);
    m_app = new QLabel(this);
    m_app->setObjectName("app_lbl");
    QFont big = m_app->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_app->setFont(big);
    m_auth = new QLabel(this);
    m_auth->setObjectName("auth_lbl");
    m_auth->setWordWrap(true);
    m_vers = new QLabel(this);
    m_vers->setObjectName("vers_lbl");
    for (QLabel* lbl : {m_app, m_auth, m_vers}) {
        lbl->setAlignment(Qt::AlignHCenter);
        l->addWidget(lbl);
    }
    l->addStretch(1);

    auto* buttons = new QHBoxLayout;
    m_update = new QPushButton(this);
    m_update->setObjectName("about_upd_btn");
    m_email = new QPushButton(this);
    m_email->setObjectName("email_btn");
    m_web = new QPushButton(this);
    m_web->setObjectName("Web_btn");
    buttons->addStretch(1);
    for (QPushButton* b : {m_update, m_email, m_web})
        buttons->addWidget(b);
    buttons->addStretch(1);
    l->addLayout(buttons);
    l->addStretch(1);

    connect(m_update, &QPushButton::clicked, this, [] {
        MainWindow* w = MainWindow::instance();
        if (w && w->checkForUpdate)
            w->checkForUpdate(false);
    });
    connect(m_email, &QPushButton::clicked, this, [this] { openAddress(product::kSupportMail); });
    connect(m_web, &QPushButton::clicked, this, [this] { openAddress(product::kWebSite); });
}

void AboutPage::setUpdateCheckAvailable(bool available)
{
    m_update->setEnabled(available);
}

void AboutPage::openAddress(const char* address)
{
    QString command = QString::fromLatin1(address);
    toolctl().DefautExec(static_cast<qint32>(window()->winId()), command);
}

void AboutPage::transme()
{
    m_app->setText(LanguageText(70).replace(QLatin1String("%%1%%"), QString::fromLatin1(product::kName)));
    m_auth->setText(LanguageText(71).replace(QLatin1String("%%1%%"), QString::fromLatin1(product::kComment)));
    m_update->setText(LanguageText(35));
    m_email->setText(LanguageText(66));
    m_web->setText(LanguageText(67));
    m_vers->setText(LanguageText(72)
                        .replace(QLatin1String("%%1%%"), QString::number(product::kMajor))
                        .replace(QLatin1String("%%2%%"), QString::number(product::kMinor))
                        .replace(QLatin1String("%%3%%"), QString::number(product::kRevision)));
}

} // namespace tunora
