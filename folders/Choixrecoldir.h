// The folder chooser: one modal dialog for every caller, each in its own mode.
#pragma once

#include "folders/ChooserMode.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeView;

namespace tunora {

class Choixrecoldir : public QDialog {
    Q_OBJECT
public:
    explicit Choixrecoldir(QWidget* parent = nullptr);
    ~Choixrecoldir() override;

    void SetMode(ChooserMode mode);
    ChooserMode mode() const { return m_mode; }

    // What OK delivered: the folder (the folder modes; never ending in "/"), the format
    // name (AlbumFolder), the files found by the walk (the walk modes, before the caller's
    // duplicate rule).
    QString deliveredFolder() const { return m_folder; }
    QString deliveredFormat() const { return m_format; }
    QStringList foundFiles() const { return m_found; }
    // True when the user cancelled a running walk; foundFiles() holds what it found before.
    bool walkCancelled() const { return m_walkCancelled; }

    // The folder shown by Dir1 (the chosen folder); setting it moves the tree there and
    // refreshes the preview. Answers false when path is not an existing folder.
    QString dirPath() const { return m_dir; }
    bool setDirPath(const QString& path);
    // The drive selector's entries: "/" and the mount points.
    QStringList drives() const;

    void RefreshList();
    void transme();

protected:
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onOk();
    void onCancel();
    void onDriveChosen(int index);
    void selectDriveFor(const QString& path);
    // Moves to the folder typed in dir_txt; false (and a message) when it names none.
    bool takeTypedPath();
    // A folder newly shown starts with the format most of its audio files have.
    void takeFolderFormat();

    ChooserMode m_mode = ChooserMode::AlbumFolder;
    QString m_folder, m_format;
    QStringList m_found;
    QString m_dir;
    bool m_walking = false;
    bool m_stopWalk = false; // Cancel during the walk
    bool m_walkCancelled = false;

    QLineEdit* m_path = nullptr; // dir_txt: the chosen folder as text
    QGroupBox* m_driveFrm = nullptr;
    QGroupBox* m_folderFrm = nullptr;
    QGroupBox* m_formatFrm = nullptr;
    QGroupBox* m_fileFrm = nullptr;
    QGroupBox* m_recurseFrm = nullptr;
    QComboBox* m_drive = nullptr;
    QTreeView* m_tree = nullptr;
    QFileSystemModel* m_model = nullptr;
    QComboBox* m_format_cmb = nullptr;
    QListWidget* m_files = nullptr;
    QCheckBox* m_recurse = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The mount points of the machine that hold files (pseudo file systems left out), "/" first.
QStringList MountPoints();

// Opens the chooser in a folder mode; true and the folder (and format) on OK.
bool ChooseFolder(QWidget* parent, ChooserMode mode, QString* folder, QString* format = nullptr);
// Opens the chooser in a walk mode and answers the files to add, after the caller's
// duplicate rule (ApplyWalkDuplicateRule). Empty on cancel; a walk cancelled while running
// answers what it found.
QStringList ChooseAndWalk(QWidget* parent, ChooserMode mode, const QStringList& existing);

} // namespace tunora
