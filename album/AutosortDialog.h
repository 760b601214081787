// The auto-sort dialog "Autosort": proposes an order of the files from their playing times
// and, on the user's word, puts it into the album page.
#pragma once

#include "album/AlbumSession.h"

#include <QDialog>

class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tunora {

class AutosortDialog : public QDialog {
    Q_OBJECT
public:
    AutosortDialog(AlbumSession& session, QWidget* parent = nullptr);
    void transme();
    // The proposed order with the measured playing times.
    const QList<ListItem>& proposal() const { return m_proposal; }

    void search();      // search_btn
    void applyOrder();  // ok_btn

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void progress(int percent);

    AlbumSession& m_session;
    QList<ListItem> m_proposal;
    bool m_running = false;
    QListWidget* m_lst;
    QPushButton *m_search, *m_ok;
    QRadioButton *m_fast, *m_quadratic;
    QGroupBox *m_method, *m_prog, *m_res;
    QWidget *m_hst, *m_bar;
};

} // namespace tunora
