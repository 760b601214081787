// The statistics dialog "stats": counts, fake tracks and the deviations of the files'
// playing times from the fetched track lengths, in the present order.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tunora {

class AlbumSession;

class StatsDialog : public QDialog {
    Q_OBJECT
public:
    StatsDialog(AlbumSession& session, QWidget* parent = nullptr);
    void transme();
    // True once the measurement has run (or when there was nothing to measure).
    bool measured() const { return m_measured; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void measure();
    void progress(int percent);

    AlbumSession& m_session;
    int m_fakes = 0;
    bool m_measured = false;
    QTimer* m_timer;
    QGroupBox *m_source, *m_fetched, *m_stats, *m_dev;
    QLabel *m_numtracks, *m_format, *m_fetchedtracks, *m_match, *m_stddevsupp, *m_stddev, *m_avgdev, *m_maxdev,
        *m_action;
    QWidget *m_hst, *m_bar;
    QPushButton* m_close;
};

} // namespace tunora
