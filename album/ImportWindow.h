// "Tag many albums...": the window of a library import. It only wires controls to an
// ImportRun (which finds, reads, looks up and decides) and shows what the run tells; the run
// first decides every album without writing, then the user applies the strong matches, picks
// among the candidates of an unsure album, or opens it in the album page.
// Children by objectName: root_txt, root_btn, source_cmb, cover_chk, start_btn, cancel_btn,
// albums_tbl (a pick_cmb in the candidate cell of an album with candidates), progress_bar,
// status_lbl, apply_btn, pick_btn, open_btn, undo_btn, log_txt.
#pragma once

#include "album/AlbumApply.h"
#include "album/ImportCore.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tunora {

class ImportWindow : public QWidget {
    Q_OBJECT
public:
    // Columns of the albums table.
    enum Column { FolderColumn, FilesColumn, StageColumn, CandidateColumn, DistanceColumn, DecisionColumn, ColumnCount };

    explicit ImportWindow(QWidget* parent = nullptr);
    ~ImportWindow() override;

    void transme();
    // The caption of the album page's button that opens this window.
    static QString OpenCaption();

    // The controls' operations.
    void chooseRoot();
    void start();
    void cancel();
    void applyStrong();
    void applyPick();
    void openSelected();
    void undo();

    const import::ImportRun* run() const { return m_run.get(); }

Q_SIGNALS:
    // "Open in the album page": the folder of the album's first medium, in its format.
    void openAlbum(const QString& folder, const QString& format);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Talk : public ApplyTalk {
    public:
        explicit Talk(ImportWindow& window) : m_window(window) {}
        void reset() { m_askedFolder = m_askedReplace = false; }
        bool playlistInAlbumFolder() override;
        bool replacePlaylist(const QString& path) override;
        void tell(const QString& message) override;
        void status(const QString& text) override;
        void beat() override;

    private:
        ImportWindow& m_window;
        // Asked once a run, not once an album.
        bool m_askedFolder = false, m_inFolder = false, m_askedReplace = false, m_replace = false;
    };

    void buildUi();
    void found(int count);
    void showAlbum(int index);
    void finished();
    void log(const QString& line);
    // Busy: a run or an apply is under way; the other controls wait for it.
    void setWorking(bool working);
    void updateButtons();
    // The album of the selected row, -1 for none.
    int selectedAlbum() const;
    // Applies through apply (the run's applyStrong or applyCandidate), then shows what it did.
    void applied(const std::function<bool()>& apply);
    void countLine();

    Talk m_talk{*this};
    std::unique_ptr<import::ImportRun> m_run;
    // Album rows each apply wrote, newest last: Undo gives back the last.
    QList<QList<int>> m_appliedRuns;
    bool m_working = false;
    int m_logged = -1; // the album the log's last lines are about

    QLineEdit* m_root = nullptr;
    QPushButton *m_rootBtn = nullptr, *m_start = nullptr, *m_cancel = nullptr, *m_apply = nullptr, *m_pick = nullptr,
                *m_open = nullptr, *m_undo = nullptr;
    QComboBox* m_source = nullptr;
    QCheckBox* m_cover = nullptr;
    QTableWidget* m_table = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel *m_rootLbl = nullptr, *m_sourceLbl = nullptr, *m_status = nullptr;
    QPlainTextEdit* m_log = nullptr;
};

} // namespace tunora
