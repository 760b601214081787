// The album page's search and fetch: query dialog, web search into resalb_lst, CDDB read
// into the album session.
#pragma once

#include "freedb/Search.h"

#include <QDialog>
#include <QObject>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tunora {

class AlbumSession;

// The query dialog "AskQuery": words to search for, offered from the album folder's name.
// Children by objectName: "txt_lbl" (QLabel), "query_txt" (QLineEdit), "ok_btn" (QPushButton).
class AskQuery : public QDialog {
    Q_OBJECT
public:
    // folder: the album folder (path_txt); its last part fills the words when the path has
    // at least three parts. words: the search words (the main window's query_txt), written
    // only by OK.
    AskQuery(const QString& folder, QString& words, QWidget* parent = nullptr);
    void transme();

private:
    void accepted();

    QString& m_words;
    QLabel* m_label;
    QLineEdit* m_query;
    QPushButton* m_ok;
};

class FetchFlow : public QObject {
    Q_OBJECT
public:
    // albumPage holds the page's controls (resalb_lst, go_btn, more_btn, fetch_btn, ...).
    FetchFlow(AlbumSession& session, QWidget* albumPage);
    ~FetchFlow() override;

    void search(bool more); // go_btn (more = false), more_btn (more = true)
    void fetch();           // fetch_btn, double click on resalb_lst
    void findByLengths();   // findlen_btn: the disc whose track lengths match the files

    // The search itself: first search (words from the query dialog) or the broader repeat.
    void SearchFreeDB(bool more);
    // Clears the fetched disc's fields on the page (artist, album, genre, year, track lines).
    void InitResFrm();

    const SearchResults& results() const { return m_results; }
    QString queryText() const { return query_txt; }
    QString webText() const { return web_txt; }

    // The display line of fetched track i (from 0): "[01] Title"; numbers past 99 as they come.
    static QString TrackLine(int i, const QString& title);

private:
    template <class T>
    T* control(const char* name) const;
    void setEnabled(const char* name, bool on) const;
    bool isEnabled(const char* name) const;
    void showResults();
    void tellAboutAnonymousHello();
    // Language text "text", then the server's refusal or the client's notice, if any.
    static QString failureText(int text, const QString& refusal);

    AlbumSession& m_session;
    QWidget* m_page;
    SearchResults m_results; // List1, List2, List3, categ_lst
    QString query_txt;       // the search words
    QString web_txt;         // the last search page received
    bool m_toldAnonymous = false;
    bool m_running = false; // a search, fetch or find is under way
};

} // namespace tunora
