#include "updater/UpdWindow.h"

#include "shell/MainWindow.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"
#include "updater/Ferrix.h"
#include "updater/UpdateCore.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tunora {

UpdWindow::UpdWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("upd");
    m_ferrix = new Ferrix(this);
    m_ferrix->setObjectName("ferrix");

    auto* outer = new QVBoxLayout(this);
    m_stats = new QGroupBox(this);
    m_stats->setObjectName("stats_frm");
    auto* l = new QVBoxLayout(m_stats);
    m_file = new QLabel(m_stats);
    m_file->setObjectName("file_lbl");
    m_state = new QLabel(m_stats);
    m_state->setObjectName("curstate_lbl");
    m_prog = new QLabel(m_stats);
    m_prog->setObjectName("prog_lbl");
    m_speed = new QLabel(m_stats);
    m_speed->setObjectName("speed_lbl");
    m_hst = new QFrame(m_stats);
    m_hst->setObjectName("prog_hst");
    m_hst->setFrameShape(QFrame::Box);
    m_hst->setFixedHeight(18);
    m_bar = new QFrame(m_hst);
    m_bar->setObjectName("prog_bar");
    m_bar->setAutoFillBackground(true);
    m_bar->setStyleSheet(QStringLiteral("background-color: rgb(0,0,160);"));
    m_bar->setGeometry(0, 0, 0, 18);
    m_bar->hide();
    for (QWidget* w : {static_cast<QWidget*>(m_file), static_cast<QWidget*>(m_state), static_cast<QWidget*>(m_prog),
                       static_cast<QWidget*>(m_speed), static_cast<QWidget*>(m_hst)})
        l->addWidget(w);
    outer->addWidget(m_stats);
    resize(420, 200);

    connect(m_ferrix, &Ferrix::State, this, &UpdWindow::onState);
    connect(m_ferrix, &Ferrix::Progress, this, &UpdWindow::onProgress);

    transme();
    if (MainWindow* main = MainWindow::instance())
        setWindowIcon(main->windowIcon());
    m_start.start();
}

UpdWindow::~UpdWindow()
{
    m_ferrix->close();
}

void UpdWindow::transme()
{
    setWindowTitle(LanguageText(159));
    m_stats->setTitle(LanguageText(142));
    m_file->setText(LanguageText(117));
    m_state->setText(LanguageText(160));
    m_speed->setText(LanguageText(161));
    m_prog->setText(LanguageText(27));
}

QString UpdWindow::DisplaySize(qint64 bytes) const
{
    return tunora::DisplaySize(bytes);
}

void UpdWindow::setFileName(const QString& fileName)
{
    m_file->setText(QStringLiteral("File : ") + fileName.trimmed());
}

void UpdWindow::unload()
{
    m_unloading = true;
    close();
    m_ferrix->close();
}

void UpdWindow::closeEvent(QCloseEvent* event)
{
    if (!m_unloading && m_ferrix->isTransferring() &&
        !AskYesNo(QStringLiteral("This will cancel the update. Continue anyway ?"))) {
        event->ignore();
        return;
    }
    // Closing ends a running download; the update check then takes the failure path.
    m_ferrix->close();
    event->accept();
}

void UpdWindow::onState(const QString& text)
{
    m_state->setText(LanguageText(160) + ' ' + text);
}

void UpdWindow::onProgress(int percent, double totalBytes)
{
    m_prog->setText(ProgressText(percent, totalBytes));
    m_speed->setText(SpeedText(percent, totalBytes, m_start.elapsed()));
    m_bar->resize(static_cast<int>(percent / 100.0 * m_hst->width()), m_hst->height());
    m_bar->setVisible(percent != 0);
}

} // namespace tunora
