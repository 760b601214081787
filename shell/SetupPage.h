#pragma once

#include "shell/Page.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tunora {

class AcoustIdKeyBox;

// Caption of the CDDB e-mail box. No language text carries it yet, so it stays English here
// (the one place to change when a text number is assigned).
inline constexpr const char* kCddbUserCaption = "E-mail sent to CDDB:";

// Page 5: loads every setting at start-up and stores them on OK.
class SetupPage : public Page {
    Q_OBJECT
public:
    explicit SetupPage(QWidget* parent = nullptr);
    void prepare() override;
    void transme() override;
    void languagesListed(const QStringList& names) override;
    void languageLoaded(const QString& shown) override;

    // Serves the Browse button of the fixed playlist folder: asks for a folder (false when
    // the user cancels). Installed where the pages are put together.
    std::function<bool(QWidget* parent, QString* folder)> choosePlaylistFolder;

    // Fills every control from the settings.
    void LoadSetupPage();
    // Stores the controls (unless the proxy host is missing), then applies the chosen language.
    void SaveSetupPage();

    void UpdatePatternSample();
    void UpdatePlaylistSample();
    void UpdatePlaylistFolderState();
    void UpdateProxyState();

private:
    void applyLegend();

    QGroupBox* m_lngFrm = nullptr;
    QComboBox* m_lng = nullptr;
    QLabel* m_currentLng = nullptr;

    QGroupBox* m_renamerFrm = nullptr;
    QLabel* m_choosePattern = nullptr;
    QComboBox* m_pat = nullptr;
    QLabel* m_patternSample = nullptr;

    QGroupBox* m_helpFrm = nullptr;
    QLabel* m_legend[2] = {nullptr, nullptr};

    QGroupBox* m_playlistFrm = nullptr;
    QLabel* m_plsPatLbl = nullptr;
    QComboBox* m_pls = nullptr;
    QLabel* m_plsSample = nullptr;
    QRadioButton* m_plsAlb = nullptr;
    QRadioButton* m_plsParent = nullptr;
    QRadioButton* m_plsSpec = nullptr;
    QLineEdit* m_plsFolder = nullptr;
    QPushButton* m_plsBrowse = nullptr;

    QGroupBox* m_freedbFrm = nullptr;
    QLabel* m_chooseFreedb = nullptr;
    QComboBox* m_freedb = nullptr;
    QLabel* m_cddbUserLbl = nullptr;
    QLineEdit* m_cddbUser = nullptr;

    QGroupBox* m_httpFrm = nullptr;
    QLabel* m_httpPortLbl = nullptr;
    QLineEdit* m_httpPort = nullptr;
    QLabel* m_cgiLbl = nullptr;
    QLineEdit* m_cgi = nullptr;

    QGroupBox* m_proxyFrm = nullptr;
    QCheckBox* m_proxy = nullptr;
    QLabel* m_serverLbl = nullptr;
    QLineEdit* m_proxyName = nullptr;
    QLabel* m_proxyPortLbl = nullptr;
    QLineEdit* m_proxyPort = nullptr;

    QGroupBox* m_internetFrm = nullptr;
    QCheckBox* m_bypass = nullptr;
    QCheckBox* m_autoUpd = nullptr;

    QPushButton* m_ok = nullptr;

    AcoustIdKeyBox* m_acoustId = nullptr;
};

} // namespace tunora
