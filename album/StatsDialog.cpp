#include "album/StatsDialog.h"

#include "album/AlbumSession.h"
#include "album/AutoSort.h"
#include "shell/Dialogs.h"
#include "shell/core/Shared.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tunora {

namespace {
QLabel* label(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}
} // namespace

StatsDialog::StatsDialog(AlbumSession& session, QWidget* parent) : QDialog(parent), m_session(session)
{
    setObjectName("stats");
    setModal(true);
    auto* l = new QVBoxLayout(this);

    m_source = new QGroupBox(this);
    m_source->setObjectName("source_frm");
    auto* sourceL = new QVBoxLayout(m_source);
    m_numtracks = label(m_source, "numtracks_lbl");
    m_format = label(m_source, "format_lbl");
    sourceL->addWidget(m_numtracks);
    sourceL->addWidget(m_format);

    m_fetched = new QGroupBox(this);
    m_fetched->setObjectName("fetched_frm");
    m_fetchedtracks = label(m_fetched, "fetchedtracks_lbl");
    (new QVBoxLayout(m_fetched))->addWidget(m_fetchedtracks);

    m_stats = new QGroupBox(this);
    m_stats->setObjectName("stats_frm");
    auto* statsL = new QVBoxLayout(m_stats);
    m_match = label(m_stats, "match_lbl");
    statsL->addWidget(m_match);
    m_dev = new QGroupBox(m_stats);
    m_dev->setObjectName("dev_frm");
    auto* devL = new QVBoxLayout(m_dev);
    m_stddevsupp = label(m_dev, "stddevsupp_lbl");
    m_stddev = label(m_dev, "stddev_lbl");
    m_avgdev = label(m_dev, "avgdev_lbl");
    m_maxdev = label(m_dev, "maxdev_lbl");
    for (QLabel* x : {m_stddevsupp, m_stddev, m_avgdev, m_maxdev})
        devL->addWidget(x);
    statsL->addWidget(m_dev);

    m_action = label(this, "action_lbl");
    m_hst = new QFrame(this);
    m_hst->setObjectName("cur_hst");
    static_cast<QFrame*>(m_hst)->setFrameShape(QFrame::Box);
    m_hst->setFixedHeight(14);
    m_bar = new QFrame(m_hst);
    m_bar->setObjectName("cur_bar");
    m_bar->setStyleSheet(QStringLiteral("background-color: rgb(0,0,160);"));
    m_bar->setGeometry(0, 0, 0, 14);
    m_bar->hide();

    m_close = new QPushButton(this);
    m_close->setObjectName("close_btn");
    connect(m_close, &QPushButton::clicked, this, &StatsDialog::reject);

    for (QWidget* w : {static_cast<QWidget*>(m_source), static_cast<QWidget*>(m_fetched), static_cast<QWidget*>(m_stats),
                       static_cast<QWidget*>(m_action), m_hst})
        l->addWidget(w);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_close);
    l->addLayout(row);
    setMinimumWidth(360);

    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer1");
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, &StatsDialog::measure);

    // Loading: captions, counts, and the measurement deferred until the dialog is up.
    transme();
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    SetBusy(false);
    m_fakes = session.fakeTrackCount();
    m_numtracks->setText(LanguageText(144) + ' ' + QString::number(session.mp3.size()) + ' ' + '[' +
                         QString::number(m_fakes) + ' ' + QStringLiteral("fake track(s)]"));
    m_format->setText(LanguageText(111) + ' ' + ':' + ' ' + session.ext);
    const bool fetched = !session.fetched.isEmpty();
    m_action->setVisible(fetched);
    m_hst->setVisible(fetched);
    if (fetched) {
        progress(0);
        m_fetchedtracks->setText(LanguageText(144) + ' ' + QString::number(session.fetched.size()));
        if (session.fetched.size() == session.mp3.size()) {
            m_match->setText(LanguageText(146) + ' ' + LanguageText(0));
            m_timer->start();
        } else {
            m_match->setText(LanguageText(146) + ' ' + LanguageText(1));
            m_stddevsupp->setText(LanguageText(153));
            m_measured = true;
        }
    } else {
        for (QWidget* w : {static_cast<QWidget*>(m_match), static_cast<QWidget*>(m_fetchedtracks),
                           static_cast<QWidget*>(m_dev), static_cast<QWidget*>(m_stddevsupp),
                           static_cast<QWidget*>(m_stddev), static_cast<QWidget*>(m_maxdev),
                           static_cast<QWidget*>(m_avgdev)})
            w->setEnabled(false);
        m_measured = true;
    }
}

void StatsDialog::transme()
{
    setWindowTitle(LanguageText(142));
    m_source->setTitle(LanguageText(143));
    m_numtracks->setText(LanguageText(144));
    m_format->setText(LanguageText(111));
    m_fetched->setTitle(LanguageText(145));
    m_fetchedtracks->setText(LanguageText(144));
    m_stats->setTitle(LanguageText(142));
    m_match->setText(LanguageText(146));
    m_dev->setTitle(LanguageText(147));
    m_stddevsupp->setText(LanguageText(148));
    m_stddev->setText(LanguageText(149));
    m_avgdev->setText(LanguageText(150));
    m_maxdev->setText(LanguageText(151));
    m_close->setText(LanguageText(33));
}

void StatsDialog::progress(int percent)
{
    m_bar->resize(m_bar->width(), m_hst->height());
    ShowProgress(m_bar, m_hst, percent);
}

void StatsDialog::measure()
{
    m_timer->stop();
    m_action->setText(LanguageText(156));
    // The dialog must not close under the measuring loop, which lets events through.
    SetBusy(true);
    const int n = static_cast<int>(m_session.mp3.size());
    for (int i = 0; i < n; ++i) {
        progress(static_cast<int>(std::lround((i + 1) * 100.0 / n)));
        const QString entry = m_session.mp3.at(i).text;
        if (entry.compare(kFakeTrack, Qt::CaseInsensitive) == 0) {
            m_session.mp3[i].data = 0;
            continue;
        }
        YieldEvents();
        if (i >= m_session.mp3.size())
            break;
        m_session.mp3[i].data = MeasureMs(m_session.path + '/' + entry);
    }
    SetBusy(false);
    m_stddevsupp->setText(LanguageText(154) + (m_fakes != 0 ? ' ' + LanguageText(155) : QString()));
    m_action->setText(LanguageText(157));

    const DeviationStats s = ComputeDeviations(m_session.mp3, m_session.fetched);
    if (s.n > 0) {
        m_stddev->setText(LanguageText(149) + ' ' + FormatSeconds(s.quadratic) + ' ' + 's');
        m_avgdev->setText(LanguageText(150) + ' ' + FormatSeconds(s.global) + ' ' + 's');
        m_maxdev->setText(LanguageText(151) + ' ' + FormatSeconds(s.maximum) + ' ' + 's');
    } else {
        m_stddev->setText(LanguageText(149));
        m_avgdev->setText(LanguageText(150));
        m_maxdev->setText(LanguageText(151));
    }
    progress(0);
    m_action->clear();
    m_action->setEnabled(false);
    m_hst->hide();
    m_measured = true;
}

void StatsDialog::closeEvent(QCloseEvent* event)
{
    if (IsBusy())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void StatsDialog::reject()
{
    if (!IsBusy())
        QDialog::reject();
}

} // namespace tunora
