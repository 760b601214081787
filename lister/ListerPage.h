// Page 1: a text listing of the audio files under a folder.
#pragma once

#include "shell/Page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tunora {

class ListerPage : public Page {
    Q_OBJECT
public:
    explicit ListerPage(QWidget* parent = nullptr);

    void prepare() override;
    void transme() override;

    void chooseInputFolder();
    void chooseOutputFolder();
    void preview();
    // Writes the listing and opens it; answers true when a listing was written.
    bool list();

    // The formats checked in the format list.
    QStringList selectedFormats() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildHelp();
    void finish();

    QGroupBox* m_inputFrame = nullptr;
    QGroupBox* m_outputFrame = nullptr;
    QGroupBox* m_settingsFrame = nullptr;
    QGroupBox* m_patternFrame = nullptr;
    QLineEdit* m_input = nullptr;
    QLineEdit* m_output = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_inputBtn = nullptr;
    QPushButton* m_outputBtn = nullptr;
    QPushButton* m_go = nullptr;
    QListWidget* m_formats = nullptr;
    QCheckBox* m_recurse = nullptr;
    QComboBox* m_pattern = nullptr;
    QLabel* m_fileNameLbl = nullptr;
    QLabel* m_patternLbl = nullptr;
    QLabel* m_help = nullptr;
    QLabel* m_sample = nullptr;
};

} // namespace tunora
