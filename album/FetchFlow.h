// The album page's search and fetch: query dialog, search into resalb_lst, read into the
// album session, from the source chosen in source_cmb (the CDDB service, else MusicBrainz).
#pragma once

#include "album/MusicBrainzSource.h"
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
    void fetch();           // fetch_btn, Enter or a double click on resalb_lst
    void findByLengths();   // findlen_btn: the disc whose track lengths match the files;
                            // the one exact match is fetched at once
    // Another folder was chosen: the results found for the last one go, and with them
    // "2 - Retrieve details".
    void clearResults();

    // The search itself: first search (words from the query dialog) or the broader repeat.
    void SearchFreeDB(bool more);
    // Clears the fetched disc's fields on the page (artist, album, genre, year, track lines).
    void InitResFrm();

    // The CDDB rows of the last search; MusicBrainz rows are in hits().
    const SearchResults& results() const { return m_results; }
    const QList<LookupHit>& hits() const { return m_hits; }
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
    bool musicBrainzChosen() const;
    int rowCount() const;
    // One MusicBrainz request, waited for with the status line set.
    LookupOutcome askMusicBrainz(const std::function<void()>& start);
    // The CDDB rows of a search shown; none found is told, with the server's refusal.
    void listedCddb(const QString& refusal);
    // A MusicBrainz search into the results list; none found is told.
    void listMusicBrainz(const std::function<void()>& start);
    bool fetchMusicBrainz(const LookupHit& hit);
    // Language text "text", then why, if anything.
    static QString withReason(int text, const QString& why);
    // The lookup of findByLengths; true when the server answered one exact match.
    bool lookUpByLengths();
    // Language text "text", then the server's refusal or the client's notice, if any.
    static QString failureText(int text, const QString& refusal);

    AlbumSession& m_session;
    QWidget* m_page;
    SearchResults m_results; // List1, List2, List3, categ_lst
    QList<LookupHit> m_hits; // rows from MusicBrainz (then m_results is empty)
    MusicBrainzSource m_musicBrainz;
    QString query_txt;       // the search words
    QString web_txt;         // the last search page received
    bool m_toldAnonymous = false;
    bool m_running = false; // a search, fetch or find is under way
};

} // namespace tunora
