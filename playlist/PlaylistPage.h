// Page 3: an M3U playlist from files gathered by dialog or by folder.
#pragma once

#include "shell/Page.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tunora {

class FileListPanel;

class PlaylistPage : public Page {
    Q_OBJECT
public:
    explicit PlaylistPage(QWidget* parent = nullptr);

    void prepare() override;
    void transme() override;

    void addFiles();
    void addFolder();
    void deleteSelected();
    void reset();
    void chooseOutputFolder();
    // Answers true when a playlist was written.
    bool writePlaylist();
    void refreshGo();

    QStringList entries() const;

public Q_SLOTS:
    // The setup page's browse button for the fixed playlist folder.

private:
    void addPaths(const QStringList& paths);
    void setButtonsEnabled(bool enabled);
    // A name the playlist may take, files to list and an existing output folder.
    bool canWrite() const;

    QListWidget* m_list = nullptr;
    QLabel* m_nameLbl = nullptr;
    QLineEdit* m_name = nullptr;
    QGroupBox* m_outputFrame = nullptr;
    QLineEdit* m_output = nullptr;
    QPushButton* m_outputBtn = nullptr;
    FileListPanel* m_files = nullptr; // pls_add_btn, pls_addfolder_btn, pls_delete_btn, pls_reset_btn
    QPushButton* m_go = nullptr;
};

} // namespace tunora
