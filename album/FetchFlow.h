// The album page's search and fetch: query dialog, a search of the chosen lookup source
// into the results list, a result read into the album session.
#pragma once

#include "lookup/AcoustIdSource.h"
#include "lookup/CddbSource.h"
#include "lookup/MusicBrainzSource.h"

#include <QDialog>
#include <QObject>
#include <QString>

#include <functional>

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
    // The source the words go to, named in the title (the CDDB title is text 78).
    void nameSource(const QString& source);

private:
    void accepted();

    QString m_sourceName;
    QString& m_words;
    QLabel* m_label;
    QLineEdit* m_query;
    QPushButton* m_ok;
};

// The enabled state of the album page's lookup buttons (go_btn, more_btn, fetch_btn,
// findlen_btn, apply_btn). The flow keeps it; the page shows it. At first only a lookup by
// lengths may be tried (it tells what is missing).
struct LookupButtons {
    bool search = false, more = false, fetch = false, findLengths = true, apply = false;
    bool operator==(const LookupButtons&) const = default;
};

// Searches the chosen source, lists its hits, and reads the one picked into the album
// session. It knows no widget of the page: the page feeds it the user's choices and shows
// what its signals say.
class FetchFlow : public QObject {
    Q_OBJECT
public:
    // dialogParent: the page, parent of the query dialog.
    FetchFlow(AlbumSession& session, QWidget* dialogParent);
    ~FetchFlow() override;

    void search(bool more); // go_btn (more = false), more_btn (more = true)
    // fetch_btn, Enter or a double click on a result: the selected row, -1 for none.
    void fetch(int row);
    void findByLengths();   // findlen_btn: the disc whose track lengths match the files (by
                            // their sound for AcoustID); the one exact match is fetched at once
    // Another folder was chosen: the results found for the last one go, and with them
    // "2 - Retrieve details".
    void clearResults();

    // The page's choices: the source searched next (a source's name(); rows are read from
    // the source they came from), and whether a read also fetches the front cover.
    void chooseSource(const QString& name);
    void setFetchCover(bool on) { m_fetchCover = on; }

    const LookupButtons& buttons() const { return m_buttons; }
    // The page's own changes (a folder chosen, Apply running) go through here too.
    void setButtons(const LookupButtons& buttons);

    // The search itself: first search (words from the query dialog) or the broader repeat.
    void SearchFreeDB(bool more);
    // Clears the fetched disc's fields on the page (artist, album, genre, year, track lines).
    void InitResFrm();

    // The rows of the last search, each with the source it came from.
    const QList<LookupHit>& hits() const { return m_hits; }
    QString queryText() const { return query_txt; }
    QString webText() const { return m_cddb.lastPage(); }

    // The display line of fetched track i (from 0): "[01] Title"; numbers past 99 as they come.
    static QString TrackLine(int i, const QString& title);

Q_SIGNALS:
    void buttonsChanged(const tunora::LookupButtons& buttons);
    // The results list: one line per hit, led by its source.
    void resultsChanged(const QStringList& rows);
    // The flow itself picked this row (the one exact match of a lookup by lengths).
    void rowChosen(int row);

private:
    // Changes the buttons through edit and tells the page.
    void changeButtons(const std::function<void(LookupButtons&)>& edit);
    void showResults();
    void tellAboutAnonymousHello();
    // One request of a source, waited for with the source's status line (status, when given,
    // until the source tells its own). The cancel button ends it.
    LookupOutcome ask(LookupSource& source, const std::function<void()>& start, const QString& status = {});
    // A search's outcome into the results list; none found is told with the reason.
    void list(const LookupSource& source, const LookupOutcome& outcome);
    // Reads a hit into the session; false (and text 54 shown) when it cannot be read.
    bool read(const LookupHit& hit);
    // The lookup of findByLengths: the row of the one exact match, else -1.
    int lookUpByLengths();
    // AcoustID's lookup: the files fingerprinted and looked up by their sound.
    int lookUpByFiles();
    // The message, then why, if anything.
    static QString withReason(const QString& message, const QString& why);

    AlbumSession& m_session;
    QWidget* m_dialogParent;
    CddbSource m_cddb;
    MusicBrainzSource m_musicBrainz;
    AcoustIdSource m_acoustId;
    LookupSource* m_source = &m_cddb; // searched next
    QList<LookupHit> m_hits;
    LookupButtons m_buttons;
    QString query_txt; // the search words
    bool m_fetchCover = false;
    bool m_toldAnonymous = false;
    bool m_running = false; // a search, fetch or find is under way
    bool m_cancelled = false; // the last request ended by the cancel button
};

} // namespace tunora
