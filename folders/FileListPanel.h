// The buttons beside a page's list of files: add files, add folder, delete, reset. The page
// keeps its list, its object names and its rule for duplicates; the panel asks the file
// dialog and the folder chooser, remembers the last folder ("LastDir") and hands the page
// what was chosen.
#pragma once

#include "folders/ChooserMode.h"

#include <QStringList>
#include <QWidget>
#include <functional>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QVBoxLayout;

namespace tunora {

struct FileListPanelNames {
    const char* add;
    const char* addFolder;
    const char* remove;
    const char* reset;
};

class FileListPanel : public QWidget {
    Q_OBJECT
public:
    // walkMode is the chooser mode of the page's folder walk, and so its duplicate rule
    // (ApplyWalkDuplicateRule).
    FileListPanel(const FileListPanelNames& names, ChooserMode walkMode, QWidget* parent);

    // The open-file dialog's filters ("a;;b"), the first chosen at start; by default one
    // entry for every audio format (MediaFileFilter).
    void setFileFilter(const QString& filter) { m_filter = filter; }
    QString fileFilter() const { return m_filter; }
    // What a dialog's answer adds (TakeExistingFiles unless the page has a rule of its own).
    std::function<QStringList(const QStringList& chosen, QString* lastDir)> takeChosen;
    // The page's list, for the walk's duplicate rule.
    std::function<QStringList()> entries;

    // Captions 94, 95, 14 and 96; a language text's "&" shows as it stands.
    void transme();
    void setButtonsEnabled(bool enabled);

    // What the buttons do; pages call them from their own operations too.
    void addFiles();
    void addFolder();

Q_SIGNALS:
    // After the file dialog: the files to add; answered is false for a cancelled dialog.
    void filesChosen(const QStringList& files, bool answered);
    // After the folder chooser: the files its walk found, after the page's duplicate rule.
    void folderWalked(const QStringList& files);
    void deleteClicked();
    void resetClicked();

private:
    ChooserMode m_mode;
    QString m_filter;
    QPushButton *m_add = nullptr, *m_addFolder = nullptr, *m_delete = nullptr, *m_reset = nullptr;
};

// A list row for a path: shown as the windows show names, the path itself kept beside it.
void AddPathItem(QListWidget* list, const QString& path);
// The path a row holds (its text, for a row made otherwise).
QString PathOfItem(const QListWidgetItem* item);

} // namespace tunora
