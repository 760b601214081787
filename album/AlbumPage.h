// Page 0, the album tagger: a folder of files lined up against a fetched disc, then applied.
#pragma once

#include "album/AlbumSession.h"
#include "album/SeamApplyTalk.h"
#include "shell/Page.h"

#include <QHash>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tunora {

class FetchFlow;
class ImportWindow;
struct LookupButtons;

class AlbumPage : public Page {
    Q_OBJECT
public:
    explicit AlbumPage(QWidget* parent = nullptr);
    ~AlbumPage() override;

    void prepare() override;      // RefreshPatternSamples
    void transme() override;      // captions of the page
    void afterStartup() override; // undo and "more" off, fetched-disc fields cleared, "Unknown"
    void genreTableMissing() override; // ID3v1 off

    AlbumSession& session() { return m_session; }
    FetchFlow& fetchFlow() { return *m_fetch; }

    // The page's operations, one per control.
    void browse();
    // The folder as if chosen with Browse (the import window's "Open in the album page").
    void openFolder(const QString& folder, const QString& format);
    // "Tag many albums...": the import window, made on first use.
    ImportWindow* showImportWindow();
    void clearFiles();
    void deleteSelected();
    void addFakeTrack();
    void moveUp();
    void moveDown();
    void showStatistics();
    void autoSort();
    void apply();
    void undo();
    void chooseGenre();
    void editTrack();
    void InitResFrm();
    void fetchSelected(); // the selected result, read from its source

    // Caption of the button that finds a disc by the files' playing times, and the same
    // button's for a source that finds it by the files' sound (AcoustID).
    static const char* const kFindByLengthsCaption;
    static const char* const kFindByFilesCaption;
    // Of an entry of mp3_lst and tracks_lst: its length as shown ("m:ss"; empty: unknown).
    static constexpr int kLengthRole = Qt::UserRole + 1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void syncFromSession();
    void syncSelectionToSession();
    void readFieldsToSession();
    void showButtons(const LookupButtons& buttons);
    // The source box's choice: the lookup flow's next source, and the find button's caption.
    void chooseSource(const QString& source);
    // The lengths beside the files and tracks, and the warning colour where they differ.
    void showLengths();
    qint64 fileLength(int i);
    // Browse's work; a given folder skips the chooser.
    void browseTo(const QString& given, const QString& givenFormat);

    AlbumSession m_session;
    SeamApplyTalk m_talk; // Apply's questions and messages, as message boxes
    std::unique_ptr<FetchFlow> m_fetch;
    ImportWindow* m_import = nullptr;
    bool m_syncing = false;
    // Playing times by path, measured once: the session keeps its lengths by position.
    QHash<QString, qint64> m_lengths;
    int m_dragIndex = -1;

    QLineEdit *m_path = nullptr, *m_ext = nullptr;
    QListWidget *m_mp3 = nullptr, *m_tracks = nullptr, *m_results = nullptr;
    QCheckBox *m_ren = nullptr, *m_pls = nullptr, *m_v1 = nullptr, *m_v2 = nullptr, *m_cover = nullptr;
    QCheckBox* m_tags = nullptr; // tags_chk: the format's own tags, for every format but MP3
    QComboBox* m_source = nullptr;
    QLabel *m_testLbl = nullptr, *m_plsLbl = nullptr;
    QLineEdit *m_artist = nullptr, *m_album = nullptr, *m_year = nullptr, *m_genre = nullptr;
    QPushButton *m_up = nullptr, *m_undo = nullptr, *m_go = nullptr, *m_more = nullptr, *m_fetchBtn = nullptr,
                *m_apply = nullptr, *m_findLengths = nullptr;
};

} // namespace tunora
