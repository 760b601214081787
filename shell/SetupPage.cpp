#include "shell/SetupPage.h"

#include "shell/AcoustIdKeyBox.h"
#include "shell/MainWindow.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tunora {

namespace {
const char* const kPatternPresets[] = {kDefaultNamingPattern, "%3 - %6 - %2", "%1 - %6 - %3 - %2", "%6 - %2",
                                       "[%6]%1 - %3 - %2"};
const char* const kPlaylistPresets[] = {kDefaultPlaylistPattern, "%1 - %3"};
const QLatin1String kDefaultCgi("/~cddb/cddb.cgi");
const QLatin1String kDefaultPort("80");

template <class W>
W* named(QWidget* parent, const char* name)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QStringList comboEntries(const QComboBox* c)
{
    QStringList l;
    for (int i = 0; i < c->count(); ++i)
        l << c->itemText(i);
    return l;
}

// Shows a stored pattern: added as a further entry when no preset equals it, then shown.
void showStoredPattern(QComboBox* c, const QString& stored)
{
    QString value = stored;
    if (value.isEmpty()) {
        c->setCurrentIndex(0);
        return;
    }
    if (!ComboContains(value, comboEntries(c)))
        c->addItem(value);
    const int exact = c->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (exact >= 0)
        c->setCurrentIndex(exact);
    c->setEditText(value);
}

QString currentYear()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy"));
}
} // namespace

SetupPage::SetupPage(QWidget* parent) : Page(parent)
{
    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    outer->addLayout(columns, 1);

    // Language.
    m_lngFrm = named<QGroupBox>(this, "setup_lngfrm");
    {
        auto* l = new QVBoxLayout(m_lngFrm);
        m_lng = named<QComboBox>(m_lngFrm, "setup_lngcmb");
        m_currentLng = named<QLabel>(m_lngFrm, "setup_currentlng_lbl");
        l->addWidget(m_lng);
        l->addWidget(m_currentLng);
    }
    left->addWidget(m_lngFrm);

    // Rename pattern with its live sample and the legend of the placeholders.
    m_renamerFrm = named<QGroupBox>(this, "setup_renamer_frm");
    {
        auto* l = new QVBoxLayout(m_renamerFrm);
        m_choosePattern = named<QLabel>(m_renamerFrm, "setup_choosepattern_lbl");
        m_pat = named<QComboBox>(m_renamerFrm, "setup_pat_cmb");
        m_pat->setEditable(true);
        m_pat->setInsertPolicy(QComboBox::NoInsert);
        m_patternSample = named<QLabel>(m_renamerFrm, "setup_pattern_lbl");
        m_patternSample->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->addWidget(m_choosePattern);
        l->addWidget(m_pat);
        l->addWidget(m_patternSample);
    }
    left->addWidget(m_renamerFrm);

    m_helpFrm = named<QGroupBox>(this, "setup_help_frm");
    {
        auto* l = new QHBoxLayout(m_helpFrm);
        m_legend[0] = named<QLabel>(m_helpFrm, "setup_patterndef_lbl_0");
        m_legend[1] = named<QLabel>(m_helpFrm, "setup_patterndef_lbl_1");
        l->addWidget(m_legend[0], 1);
        l->addWidget(m_legend[1], 1);
    }
    left->addWidget(m_helpFrm);

    // Playlist name and location.
    m_playlistFrm = named<QGroupBox>(this, "setup_playlist_frm");
    {
        auto* l = new QGridLayout(m_playlistFrm);
        m_plsPatLbl = named<QLabel>(m_playlistFrm, "setup_plspat_lbl");
        m_pls = named<QComboBox>(m_playlistFrm, "setup_pls_cmb");
        m_pls->setEditable(true);
        m_pls->setInsertPolicy(QComboBox::NoInsert);
        m_plsSample = named<QLabel>(m_playlistFrm, "setup_testpls_lbl");
        m_plsAlb = named<QRadioButton>(m_playlistFrm, "setup_plsalb_opt");
        m_plsParent = named<QRadioButton>(m_playlistFrm, "setup_plsparent_opt");
        m_plsSpec = named<QRadioButton>(m_playlistFrm, "setup_plsspec_opt");
        m_plsFolder = named<QLineEdit>(m_playlistFrm, "setup_plsfolder_txt");
        m_plsBrowse = named<QPushButton>(m_playlistFrm, "setup_plsbrowse_btn");
        l->addWidget(m_plsPatLbl, 0, 0);
        l->addWidget(m_pls, 0, 1, 1, 2);
        l->addWidget(m_plsSample, 1, 1, 1, 2);
        l->addWidget(m_plsAlb, 2, 0, 1, 3);
        l->addWidget(m_plsParent, 3, 0, 1, 3);
        l->addWidget(m_plsSpec, 4, 0, 1, 3);
        l->addWidget(m_plsFolder, 5, 0, 1, 2);
        l->addWidget(m_plsBrowse, 5, 2);
        // The album folder is the location until a setting says otherwise.
        m_plsAlb->setChecked(true);
    }
    left->addWidget(m_playlistFrm);
    left->addStretch(1);

    // FreeDB server, CDDB script and port.
    m_freedbFrm = named<QGroupBox>(this, "setup_freedb_frm");
    {
        auto* l = new QGridLayout(m_freedbFrm);
        m_chooseFreedb = named<QLabel>(m_freedbFrm, "setup_choosefreedb_lbl");
        m_freedb = named<QComboBox>(m_freedbFrm, "setup_freedb_cmb");
        // A server of the user's own is typed in; the list offers the known ones.
        m_freedb->setEditable(true);
        m_freedb->setInsertPolicy(QComboBox::NoInsert);
        m_cddbUserLbl = named<QLabel>(m_freedbFrm, "setup_cddbuser_lbl");
        m_cddbUser = named<QLineEdit>(m_freedbFrm, "setup_cddbuser_txt");
        l->addWidget(m_chooseFreedb, 0, 0, 1, 2);
        l->addWidget(m_freedb, 1, 0, 1, 2);
        l->addWidget(m_cddbUserLbl, 2, 0);
        l->addWidget(m_cddbUser, 2, 1);
    }
    right->addWidget(m_freedbFrm);

    m_httpFrm = named<QGroupBox>(this, "setup_http_frm");
    {
        auto* l = new QGridLayout(m_httpFrm);
        m_httpPortLbl = named<QLabel>(m_httpFrm, "setup_httpport_lbl");
        m_httpPort = named<QLineEdit>(m_httpFrm, "setup_httpport_txt");
        m_cgiLbl = named<QLabel>(m_httpFrm, "setup_cgi_lbl");
        m_cgi = named<QLineEdit>(m_httpFrm, "setup_cgi_txt");
        l->addWidget(m_httpPortLbl, 0, 0);
        l->addWidget(m_httpPort, 0, 1);
        l->addWidget(m_cgiLbl, 1, 0);
        l->addWidget(m_cgi, 1, 1);
    }
    right->addWidget(m_httpFrm);

    m_proxyFrm = named<QGroupBox>(this, "setup_proxy_frm");
    {
        auto* l = new QGridLayout(m_proxyFrm);
        m_proxy = named<QCheckBox>(m_proxyFrm, "setup_proxy_chk");
        m_serverLbl = named<QLabel>(m_proxyFrm, "setup_server_lbl");
        m_proxyName = named<QLineEdit>(m_proxyFrm, "setup_proxyname_txt");
        m_proxyPortLbl = named<QLabel>(m_proxyFrm, "setup_proxyport_lbl");
        m_proxyPort = named<QLineEdit>(m_proxyFrm, "setup_proxyport_txt");
        l->addWidget(m_proxy, 0, 0, 1, 2);
        l->addWidget(m_serverLbl, 1, 0);
        l->addWidget(m_proxyName, 1, 1);
        l->addWidget(m_proxyPortLbl, 2, 0);
        l->addWidget(m_proxyPort, 2, 1);
    }
    right->addWidget(m_proxyFrm);

    m_internetFrm = named<QGroupBox>(this, "setup_internet_frm");
    {
        auto* l = new QVBoxLayout(m_internetFrm);
        m_bypass = named<QCheckBox>(m_internetFrm, "setup_bypass_chk");
        m_autoUpd = named<QCheckBox>(m_internetFrm, "setup_autoupd_chk");
        l->addWidget(m_bypass);
        l->addWidget(m_autoUpd);
    }
    right->addWidget(m_internetFrm);
    m_acoustId = new AcoustIdKeyBox(this);
    right->addWidget(m_acoustId);
    right->addStretch(1);

    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    m_ok = named<QPushButton>(this, "setup_ok_btn");
    okRow->addWidget(m_ok);
    outer->addLayout(okRow);

    connect(m_ok, &QPushButton::clicked, this, &SetupPage::SaveSetupPage);
    // Typing and picking both change the text: the samples follow either.
    connect(m_pat, &QComboBox::currentTextChanged, this, &SetupPage::UpdatePatternSample);
    connect(m_pls, &QComboBox::currentTextChanged, this, &SetupPage::UpdatePlaylistSample);
    // toggled also fires when loading sets an option, so the enabled states follow the values.
    for (QRadioButton* o : {m_plsAlb, m_plsParent, m_plsSpec})
        connect(o, &QRadioButton::toggled, this, &SetupPage::UpdatePlaylistFolderState);
    connect(m_proxy, &QCheckBox::toggled, this, &SetupPage::UpdateProxyState);
    connect(m_plsBrowse, &QPushButton::clicked, this, [this] {
        QString folder;
        if (choosePlaylistFolder && choosePlaylistFolder(window(), &folder))
            m_plsFolder->setText(folder.isEmpty() ? QStringLiteral("/") : folder); // "" is the root
    });
    UpdatePlaylistFolderState();
    UpdateProxyState();
}

void SetupPage::prepare()
{
    LoadSetupPage();
}

void SetupPage::LoadSetupPage()
{
    // 1. Server list; the stored host selects the first line that begins with it.
    m_freedb->clear();
    m_freedb->addItems(FreeDBServerList(true).split(QLatin1String("\r\n")));
    QString server = Setting(setting::kCddbServer);
    const QStringList known = comboEntries(m_freedb);
    m_freedb->setCurrentIndex(FindComboPrefix(server, known));
    // A stored host the list does not know is shown as it is, so OK keeps it.
    const bool listed = server.isEmpty() || std::any_of(known.begin(), known.end(), [&](const QString& e) {
        return e.left(server.size()).compare(server, Qt::CaseInsensitive) == 0;
    });
    if (!listed)
        m_freedb->setEditText(server);
    m_cddbUser->setText(Setting(setting::kCddbUser).trimmed());

    // 2. Pattern presets and the stored patterns.
    m_pat->clear();
    for (const char* p : kPatternPresets)
        m_pat->addItem(QString::fromLatin1(p));
    m_pls->clear();
    for (const char* p : kPlaylistPresets)
        m_pls->addItem(QString::fromLatin1(p));
    showStoredPattern(m_pat, Setting(setting::kNamingPattern));
    showStoredPattern(m_pls, Setting(setting::kPlaylistPattern));
    UpdateProxyState();
    UpdatePatternSample();
    UpdatePlaylistSample();

    // 3.-4. Legend and sample.
    applyLegend();
    UpdatePatternSample();

    // 5. Playlist location: a digit, then the fixed folder.
    const QString mode = Setting(setting::kPlaylistMode);
    const auto isFolder = [](const QString& f) { return !f.isEmpty() && QFileInfo(f).isDir(); };
    if (mode.isEmpty()) {
        m_plsAlb->setChecked(true);
    } else {
        const QChar c = mode.at(0);
        const int digit = c.isDigit() ? c.digitValue() : 0;
        if (digit == 0) {
            m_plsAlb->setChecked(true);
        } else if (digit == 1) {
            m_plsParent->setChecked(true);
        } else if (digit == 2) {
            const QString folder = mode.mid(1);
            if (isFolder(folder)) { // any length: "/" is a folder too
                m_plsSpec->setChecked(true);
                m_plsFolder->setText(folder);
            } else {
                m_plsAlb->setChecked(true);
            }
        }
    }
    // The fixed folder is remembered while another location is chosen.
    if (mode.size() > 1 && isFolder(mode.mid(1)))
        m_plsFolder->setText(mode.mid(1));
    UpdatePlaylistFolderState();

    // 6.-12. Proxy, ports, script path and the two internet boxes.
    m_proxy->setChecked(Setting(setting::kUseProxy) == QLatin1String("1"));
    m_proxyName->setText(Setting(setting::kProxyName).trimmed());
    const QString proxyPort = Setting(setting::kProxyPort).trimmed();
    m_proxyPort->setText(NumericValue(proxyPort) <= 0 ? QString(kDefaultPort) : proxyPort);
    m_bypass->setChecked(Setting(setting::kSkipConnectionTest) == QLatin1String("1"));
    m_cgi->setText(Setting(setting::kCgiPath).trimmed());
    if (m_cgi->text().isEmpty())
        m_cgi->setText(kDefaultCgi);
    m_httpPort->setText(Setting(setting::kHttpPort).trimmed());
    if (NumericValue(m_httpPort->text()) == 0)
        m_httpPort->setText(kDefaultPort);
    m_autoUpd->setChecked(Setting(setting::kAutoUpdate) != QLatin1String("0"));
    UpdateProxyState();
    m_acoustId->load();
}

void SetupPage::SaveSetupPage()
{
    if (m_proxy->isChecked() && m_proxyName->text().trimmed().isEmpty()) {
        ShowMessage(LanguageText(141));
    } else {
        const QString digit = m_plsParent->isChecked() ? QStringLiteral("1")
                              : m_plsSpec->isChecked() ? QStringLiteral("2")
                                                       : QStringLiteral("0");
        SetSetting(setting::kPlaylistMode, digit + m_plsFolder->text());
        SetSetting(setting::kCgiPath, m_cgi->text().trimmed());
        const qint64 port = NumericValue(m_httpPort->text());
        SetSetting(setting::kHttpPort, port > 0 ? QString::number(port) : QString(kDefaultPort));
        SetSetting(setting::kProxyPort, m_proxyPort->text().trimmed());
        SetSetting(setting::kProxyName, m_proxyName->text().trimmed());
        const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        SetSetting(setting::kUseProxy, flag(m_proxy->isChecked()));
        SetSetting(setting::kSkipConnectionTest, flag(m_bypass->isChecked()));
        SetSetting(setting::kAutoUpdate, flag(m_autoUpd->isChecked()));
        SetSetting(setting::kNamingPattern, m_pat->currentText().trimmed());
        SetSetting(setting::kPlaylistPattern, m_pls->currentText().trimmed());
        const QStringList hosts = FreeDBServerList(false).split(QLatin1String("\r\n"));
        const int idx = m_freedb->currentIndex();
        // A line of the list stores its host; typed text is a host (the words after it go).
        QString typed = m_freedb->currentText().trimmed().section(QLatin1Char(' '), 0, 0);
        // Only a host name goes into a request line.
        if (std::any_of(typed.begin(), typed.end(), [](QChar c) {
                return !(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') && c != QLatin1Char('-');
            }))
            typed.clear();
        const bool chosen = idx >= 0 && m_freedb->currentText() == m_freedb->itemText(idx);
        SetSetting(setting::kCddbServer, chosen || typed.isEmpty() ? hosts.value(idx < 0 ? 0 : idx) : typed);
        SetSetting(setting::kCddbUser, m_cddbUser->text().trimmed());
        m_acoustId->save();
    }
    // The language is applied also when the settings were refused.
    if (MainWindow* w = MainWindow::instance()) {
        w->loadlangue(m_lng->currentText() + QLatin1String(".lf"));
        w->transme();
    }
}

void SetupPage::UpdatePatternSample()
{
    m_patternSample->setText(FillPattern(m_pat->currentText(), QStringLiteral("Artist"), QStringLiteral("Album"), 1,
                                         QStringLiteral("Track01"), currentYear(), QStringLiteral("Genre")));
}

void SetupPage::UpdatePlaylistSample()
{
    m_plsSample->setText(FillPattern(m_pls->currentText(), QStringLiteral("Artist"), QStringLiteral("Album"), 0,
                                     QString(), currentYear(), QStringLiteral("Genre")));
}

void SetupPage::UpdatePlaylistFolderState()
{
    const bool fixed = m_plsSpec->isChecked();
    m_plsFolder->setEnabled(fixed);
    m_plsBrowse->setEnabled(fixed);
}

void SetupPage::UpdateProxyState()
{
    const bool on = m_proxy->isChecked();
    m_proxyName->setEnabled(on);
    m_proxyPort->setEnabled(on);
}

void SetupPage::applyLegend()
{
    const QLatin1String crlf("\r\n");
    m_legend[0]->setText("%1 : " + LanguageText(28) + crlf + "%2 : " + LanguageText(165) + crlf + "%3 : " +
                         LanguageText(29));
    m_legend[1]->setText("%4 : " + LanguageText(31) + crlf + "%5 : " + LanguageText(30) + crlf + "%6 : " +
                         LanguageText(166));
}

void SetupPage::languagesListed(const QStringList& names)
{
    m_lng->clear();
    m_lng->addItem(QStringLiteral("English"));
    m_lng->addItems(names);
}

void SetupPage::languageLoaded(const QString& shown)
{
    const int idx = m_lng->findText(shown, Qt::MatchFixedString);
    if (idx >= 0)
        m_lng->setCurrentIndex(idx);
    else if (m_lng->isEditable())
        m_lng->setEditText(shown);
}

void SetupPage::transme()
{
    m_ok->setText(LanguageText(65));
    m_internetFrm->setTitle(LanguageText(123));
    m_bypass->setText(LanguageText(124));
    m_autoUpd->setText(LanguageText(125));
    m_lngFrm->setTitle(LanguageText(39));
    m_currentLng->setText(LanguageText(23) + ' ' + m_lng->currentText());
    m_renamerFrm->setTitle(LanguageText(126));
    m_choosePattern->setText(LanguageText(107));
    m_freedbFrm->setTitle(LanguageText(127));
    m_chooseFreedb->setText(LanguageText(128));
    m_cddbUserLbl->setText(QString::fromLatin1(kCddbUserCaption));
    m_httpFrm->setTitle(LanguageText(129));
    m_httpPortLbl->setText(LanguageText(130));
    m_cgiLbl->setText(LanguageText(131));
    m_playlistFrm->setTitle(LanguageText(132));
    m_plsPatLbl->setText(LanguageText(107));
    m_plsAlb->setText(LanguageText(133));
    m_plsParent->setText(LanguageText(134));
    m_plsSpec->setText(LanguageText(135));
    m_plsBrowse->setText(LanguageText(6));
    m_proxyFrm->setTitle(LanguageText(136));
    m_proxy->setText(LanguageText(137));
    m_serverLbl->setText(LanguageText(138));
    m_proxyPortLbl->setText(LanguageText(139));
    m_helpFrm->setTitle(LanguageText(140));
    // The legend names the fields in the current language too, so a language change reaches it.
    applyLegend();
    m_acoustId->transme();
}

} // namespace tunora
