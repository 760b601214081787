// The album page's search and fetch: query dialog, web search into resalb_lst, CDDB read
// into the album session.
#pragma once

#include <QObject>

class QWidget;

namespace tunora {

class AlbumSession;

class FetchFlow : public QObject {
    Q_OBJECT
public:
    // albumPage holds the page's controls (resalb_lst, go_btn, more_btn, fetch_btn, ...).
    FetchFlow(AlbumSession& session, QWidget* albumPage);
    ~FetchFlow() override;

    void search(bool more); // go_btn (more = false), more_btn (more = true)
    void fetch();           // fetch_btn, double click on resalb_lst

private:
    AlbumSession& m_session;
    QWidget* m_page;
};

} // namespace tunora
