// The bulk renamer page: a list of audio files renamed in one run by the name rules, and
// undo of the last run.
#pragma once

#include "bulk/BulkTransform.h"
#include "shell/Page.h"

#include <QStringList>

class QCheckBox;
class QFrame;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace tunora {

class FileListPanel;

class BulkPage : public Page {
    Q_OBJECT
public:
    explicit BulkPage(QWidget* parent = nullptr);

    void prepare() override;
    void transme() override;

    // The page's options as the rules read them.
    BulkOptions options() const;
    // The list's paths (bulk_lst) and the hidden undo list (bulk_undo_lst).
    const QStringList& entries() const { return m_entries; }
    const QStringList& undoEntries() const { return m_undo; }

    // The page's operations, one per button.
    void addFiles();
    void addFolder();
    void deleteSelected();
    void reset();
    void run();
    void undo();

    // The open-file dialog's filters in the file dialog's syntax, the first one chosen at start.
    static QString fileDialogFilter();

Q_SIGNALS:
    // A run or undo gave the entry at index a new path (the list may show it a moment later).
    void entryRenamed(int index, const QString& path);

private:
    void appendEntries(const QStringList& paths);
    void setEntry(int index, const QString& path);
    void showPendingEntries();
    void listChanged();
    void refreshGo();
    void refreshPreview();
    void setRunning(bool running);
    void setProgress(int percent);

    QStringList m_entries; // mirrors bulk_lst, one path per row
    QStringList m_undo;
    bool m_running = false;
    bool m_undoWasEnabled = false; // Undo's state before the run
    bool m_memoryUndo = false;     // the undo list holds the last run of this window
    bool m_ranHere = false;        // a run or undo of this window: the journal's run is not offered
    void showUndo(bool memory);
    void undoJournalRun();
    QList<int> m_pendingRows;      // renamed during the run, not yet shown
    int m_shownPercent = -1;

    QTreeWidget* m_list = nullptr; // bulk_lst: each path, and the new name the options give it
    FileListPanel* m_files = nullptr; // add_btn, addfolder_btn, Command3, reset_btn
    QPushButton *m_go = nullptr, *m_undoBtn = nullptr;
    QGroupBox* m_optionsFrame = nullptr;
    QGroupBox* m_caseFrame = nullptr;
    QCheckBox *m_multi = nullptr, *m_case = nullptr, *m_unmerge = nullptr, *m_merge = nullptr;
    QCheckBox *m_under = nullptr, *m_space = nullptr;
    QRadioButton *m_lc = nullptr, *m_uc = nullptr, *m_fluc = nullptr;
    QFrame* m_barFrame = nullptr;
    QWidget* m_bar = nullptr;
};

} // namespace tunora
