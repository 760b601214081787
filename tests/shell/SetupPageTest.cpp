#include "tests/common/MainWindowFixture.h"

#include "shell/SetupPage.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/shell/LanguageFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tunora;
using namespace tunora::test;

namespace {

QStringList entries(QComboBox* c)
{
    QStringList l;
    for (int i = 0; i < c->count(); ++i)
        l << c->itemText(i);
    return l;
}

const QStringList kPatternPresets {"%1 - %3 - %6 - %2", "%3 - %6 - %2", "%1 - %6 - %3 - %2", "%6 - %2",
                                   "[%6]%1 - %3 - %2"};

} // namespace

class SetupPageTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        WriteAll(env->appDir() + "/english.lf", LanguageFileBytes("En"));
    }
    template <class T>
    T* c(const char* name)
    {
        return Child<T>(window.get(), QLatin1String(name));
    }
    void ok() { c<QPushButton>("setup_ok_btn")->click(); }
};

TEST_F(SetupPageTest, DefaultsOnAnEmptyStore)
{
    start();
    auto* freedb = c<QComboBox>("setup_freedb_cmb");
    EXPECT_EQ(entries(freedb), FreeDBServerList(true).split("\r\n"));
    EXPECT_EQ(freedb->count(), 2);
    EXPECT_EQ(freedb->currentIndex(), 0);
    EXPECT_EQ(entries(c<QComboBox>("setup_pat_cmb")), kPatternPresets);
    EXPECT_EQ(c<QComboBox>("setup_pat_cmb")->currentText(), "%1 - %3 - %6 - %2");
    EXPECT_TRUE(c<QComboBox>("setup_pat_cmb")->isEditable());
    EXPECT_EQ(c<QLabel>("setup_pattern_lbl")->text(), "Artist - Album - 01 - Track01");
    EXPECT_EQ(entries(c<QComboBox>("setup_pls_cmb")), (QStringList {"%3", "%1 - %3"}));
    EXPECT_EQ(c<QLabel>("setup_testpls_lbl")->text(), "Album");
    EXPECT_TRUE(c<QRadioButton>("setup_plsalb_opt")->isChecked());
    EXPECT_FALSE(c<QLineEdit>("setup_plsfolder_txt")->isEnabled());
    EXPECT_FALSE(c<QPushButton>("setup_plsbrowse_btn")->isEnabled());
    // AutoUpd absent means on, UseProxy and Bypass absent mean off.
    SetSetting("AutoUpd", "");
    start();
    EXPECT_TRUE(c<QCheckBox>("setup_autoupd_chk")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("setup_proxy_chk")->isChecked());
    EXPECT_FALSE(c<QLineEdit>("setup_proxyname_txt")->isEnabled());
    EXPECT_FALSE(c<QLineEdit>("setup_proxyport_txt")->isEnabled());
    EXPECT_FALSE(c<QCheckBox>("setup_bypass_chk")->isChecked());
    EXPECT_EQ(c<QLineEdit>("setup_proxyport_txt")->text(), "80");
    EXPECT_EQ(c<QLineEdit>("setup_httpport_txt")->text(), "80");
    EXPECT_EQ(c<QLineEdit>("setup_cgi_txt")->text(), "/~cddb/cddb.cgi");
    EXPECT_EQ(c<QLineEdit>("setup_cddbuser_txt")->text(), "");
}

TEST_F(SetupPageTest, StoredPatternsJoinThePresetsOnlyWhenNew)
{
    SetSetting("Pattern", " %2 ");
    SetSetting("Playlist", "%1 - %3");
    start();
    auto* pat = c<QComboBox>("setup_pat_cmb");
    EXPECT_EQ(entries(pat), kPatternPresets + QStringList {"%2"});
    EXPECT_EQ(pat->currentText(), "%2");
    EXPECT_EQ(c<QLabel>("setup_pattern_lbl")->text(), "Track01");
    auto* pls = c<QComboBox>("setup_pls_cmb");
    EXPECT_EQ(entries(pls), (QStringList {"%3", "%1 - %3"}));
    EXPECT_EQ(pls->currentText(), "%1 - %3");
    EXPECT_EQ(c<QLabel>("setup_testpls_lbl")->text(), "Artist - Album");
}

TEST_F(SetupPageTest, SamplesFollowTypingAndPicking)
{
    start();
    auto* pat = c<QComboBox>("setup_pat_cmb");
    pat->setCurrentIndex(4);
    EXPECT_EQ(c<QLabel>("setup_pattern_lbl")->text(), "[01]Artist - Album - Track01");
    pat->lineEdit()->clear();
    QTest::keyClicks(pat->lineEdit(), "%4 %5 %6");
    EXPECT_EQ(c<QLabel>("setup_pattern_lbl")->text(), QDate::currentDate().toString("yyyy") + " Genre 01");
    auto* pls = c<QComboBox>("setup_pls_cmb");
    pls->lineEdit()->clear();
    QTest::keyClicks(pls->lineEdit(), "%6 %2 %1: list");
    EXPECT_EQ(c<QLabel>("setup_testpls_lbl")->text(), "00  Artist list");
}

TEST_F(SetupPageTest, LegendNamesTheSixFields)
{
    start();
    EXPECT_EQ(c<QLabel>("setup_patterndef_lbl_0")->text(), "%1 : En 28\r\n%2 : En 165\r\n%3 : En 29");
    EXPECT_EQ(c<QLabel>("setup_patterndef_lbl_1")->text(), "%4 : En 31\r\n%5 : En 30\r\n%6 : En 166");
}

TEST_F(SetupPageTest, CaptionsComeFromTheirTexts)
{
    start();
    const QList<QPair<const char*, int>> texts {
        {"setup_ok_btn", 65},        {"setup_bypass_chk", 124},   {"setup_autoupd_chk", 125},
        {"setup_choosepattern_lbl", 107}, {"setup_choosefreedb_lbl", 128}, {"setup_httpport_lbl", 130},
        {"setup_cgi_lbl", 131},      {"setup_plspat_lbl", 107},   {"setup_plsalb_opt", 133},
        {"setup_plsparent_opt", 134}, {"setup_plsspec_opt", 135}, {"setup_plsbrowse_btn", 6},
        {"setup_proxy_chk", 137},    {"setup_server_lbl", 138},   {"setup_proxyport_lbl", 139}};
    for (const auto& [name, n] : texts) {
        QWidget* w = c<QWidget>(name);
        ASSERT_TRUE(w) << name;
        EXPECT_EQ(w->property("text").toString(), QStringLiteral("En %1").arg(n)) << name;
    }
    const QList<QPair<const char*, int>> frames {{"setup_internet_frm", 123}, {"setup_lngfrm", 39},
                                                 {"setup_renamer_frm", 126},  {"setup_freedb_frm", 127},
                                                 {"setup_http_frm", 129},     {"setup_playlist_frm", 132},
                                                 {"setup_proxy_frm", 136},    {"setup_help_frm", 140}};
    for (const auto& [name, n] : frames)
        EXPECT_EQ(c<QWidget>(name)->property("title").toString(), QStringLiteral("En %1").arg(n)) << name;
    EXPECT_EQ(c<QLabel>("setup_currentlng_lbl")->text(), "En 23 English");
    EXPECT_EQ(c<QLabel>("setup_cddbuser_lbl")->text(), QString::fromLatin1(kCddbUserCaption));
}

TEST_F(SetupPageTest, ServerIsFoundByItsLeadingText)
{
    const QStringList hosts = FreeDBServerList(false).split("\r\n");
    ASSERT_EQ(hosts, QStringList({"gnudb.gnudb.org", "freedb.dbpoweramp.com"}));
    SetSetting("FreeDBServer", " " + hosts.at(1).toUpper() + " ");
    start();
    EXPECT_EQ(c<QComboBox>("setup_freedb_cmb")->currentIndex(), 1);
    SetSetting("FreeDBServer", "no.such.host");
    start();
    EXPECT_EQ(c<QComboBox>("setup_freedb_cmb")->currentIndex(), 0);
    // A host the list does not know is shown as it is, and OK keeps it.
    EXPECT_EQ(c<QComboBox>("setup_freedb_cmb")->currentText(), "no.such.host");
    ok();
    EXPECT_EQ(Setting("FreeDBServer"), "no.such.host");
    // The host alone is stored for the chosen line.
    c<QComboBox>("setup_freedb_cmb")->setCurrentIndex(1);
    ok();
    EXPECT_EQ(Setting("FreeDBServer"), hosts.at(1));
    // A typed host is stored as typed; text that is no host name leaves the line's host.
    struct Typed {
        const char* text;
        QString stored;
    };
    for (const Typed& t : {Typed{" cddb.example.net ", "cddb.example.net"}, Typed{"bad/host?x", {}}}) {
        auto* box = c<QComboBox>("setup_freedb_cmb");
        ASSERT_TRUE(box->isEditable());
        box->lineEdit()->setText(t.text);
        const QString line = hosts.value(box->currentIndex());
        ok();
        EXPECT_EQ(Setting("FreeDBServer"), t.stored.isEmpty() ? line : t.stored) << t.text;
    }
}

struct PlaylistModeCase {
    QString stored;
    const char* option;
    QString folderShown;
};

TEST_F(SetupPageTest, PlaylistModeVariants)
{
    const QString folder = env->makeDir("Playlists");
    const QString gone = env->root() + "/Deleted";
    const QString file = env->root() + "/plain.txt";
    WriteAll(file, "x");
    const QList<PlaylistModeCase> cases {
        {"", "setup_plsalb_opt", {}},
        {"0", "setup_plsalb_opt", {}},
        {"1", "setup_plsparent_opt", {}},
        {"2", "setup_plsalb_opt", {}},
        {"2" + folder, "setup_plsspec_opt", folder},
        {"2/", "setup_plsspec_opt", "/"}, // a folder of any length is kept
        {"2" + gone, "setup_plsalb_opt", {}},
        {"2" + file, "setup_plsalb_opt", {}},
        {"0" + folder, "setup_plsalb_opt", folder},
        {"1" + folder, "setup_plsparent_opt", folder},
        {"x" + folder, "setup_plsalb_opt", folder},
        // Another digit changes no option: the album folder stays chosen.
        {"7" + folder, "setup_plsalb_opt", folder},
    };
    for (const PlaylistModeCase& k : cases) {
        SetSetting("PlaylistMode", k.stored);
        start();
        for (const char* o : {"setup_plsalb_opt", "setup_plsparent_opt", "setup_plsspec_opt"})
            EXPECT_EQ(c<QRadioButton>(o)->isChecked(), QByteArray(o) == k.option) << k.stored.toStdString() << o;
        EXPECT_EQ(c<QLineEdit>("setup_plsfolder_txt")->text(), k.folderShown)
            << k.stored.toStdString();
        const bool fixed = QByteArray(k.option) == "setup_plsspec_opt";
        EXPECT_EQ(c<QLineEdit>("setup_plsfolder_txt")->isEnabled(), fixed) << k.stored.toStdString();
        EXPECT_EQ(c<QPushButton>("setup_plsbrowse_btn")->isEnabled(), fixed) << k.stored.toStdString();
    }
}

TEST_F(SetupPageTest, PlaylistLocationIsStoredWithTheUntrimmedFolder)
{
    start();
    c<QRadioButton>("setup_plsspec_opt")->click();
    EXPECT_TRUE(c<QLineEdit>("setup_plsfolder_txt")->isEnabled());
    EXPECT_TRUE(c<QPushButton>("setup_plsbrowse_btn")->isEnabled());
    c<QLineEdit>("setup_plsfolder_txt")->setText("/tmp/x ");
    ok();
    EXPECT_EQ(Setting("PlaylistMode"), "2/tmp/x ");
    c<QRadioButton>("setup_plsparent_opt")->click();
    EXPECT_FALSE(c<QLineEdit>("setup_plsfolder_txt")->isEnabled());
    ok();
    EXPECT_EQ(Setting("PlaylistMode"), "1/tmp/x ");
    c<QRadioButton>("setup_plsalb_opt")->click();
    c<QLineEdit>("setup_plsfolder_txt")->clear();
    ok();
    EXPECT_EQ(Setting("PlaylistMode"), "0");
}

TEST_F(SetupPageTest, PortsAreCleanedOnLoadAndSave)
{
    SetSetting("HTTPPort", "abc");
    SetSetting("ProxyPort", "-3");
    start();
    EXPECT_EQ(c<QLineEdit>("setup_httpport_txt")->text(), "80");
    EXPECT_EQ(c<QLineEdit>("setup_proxyport_txt")->text(), "80");

    SetSetting("HTTPPort", " 8080x ");
    SetSetting("ProxyPort", " 3128 ");
    start();
    EXPECT_EQ(c<QLineEdit>("setup_httpport_txt")->text(), "8080x");
    EXPECT_EQ(c<QLineEdit>("setup_proxyport_txt")->text(), "3128");

    const QList<QPair<QString, QString>> saves {{" 8080 ", "8080"}, {"0", "80"}, {"", "80"}, {"abc", "80"},
                                                {"-5", "80"},       {"81x", "81"}};
    for (const auto& [typed, stored] : saves) {
        c<QLineEdit>("setup_httpport_txt")->setText(typed);
        ok();
        EXPECT_EQ(Setting("HTTPPort"), stored) << typed.toStdString();
    }
    // The proxy port is stored as typed, trimmed.
    c<QLineEdit>("setup_proxyport_txt")->setText(" 31x ");
    ok();
    EXPECT_EQ(Setting("ProxyPort"), "31x");
}

TEST_F(SetupPageTest, ProxyWithoutHostIsRefusedButTheLanguageStillApplies)
{
    WriteAll(env->appDir() + "/Testlang.lf", LanguageFileBytes("Tl"));
    SetSetting("Pattern", "%2");
    start();
    auto* proxy = c<QCheckBox>("setup_proxy_chk");
    proxy->click();
    EXPECT_TRUE(c<QLineEdit>("setup_proxyname_txt")->isEnabled());
    EXPECT_TRUE(c<QLineEdit>("setup_proxyport_txt")->isEnabled());
    c<QLineEdit>("setup_proxyname_txt")->setText("   ");
    c<QComboBox>("setup_pat_cmb")->setEditText("%1");
    auto* lng = c<QComboBox>("setup_lngcmb");
    lng->setCurrentIndex(lng->findText("Testlang"));
    messages->texts.clear();
    ok();
    EXPECT_EQ(messages->texts, QStringList {"En 141"});
    EXPECT_EQ(Setting("Pattern"), "%2");
    EXPECT_EQ(Setting("UseProxy"), "");
    EXPECT_EQ(Setting("langue"), "Testlang");
    EXPECT_EQ(c<QPushButton>("setup_ok_btn")->text(), "Tl 65");

    c<QLineEdit>("setup_proxyname_txt")->setText(" proxy.local ");
    ok();
    EXPECT_EQ(messages->texts.size(), 1);
    EXPECT_EQ(Setting("UseProxy"), "1");
    EXPECT_EQ(Setting("ProxyName"), "proxy.local");
    EXPECT_EQ(Setting("Pattern"), "%1");
    proxy->click();
    EXPECT_FALSE(c<QLineEdit>("setup_proxyname_txt")->isEnabled());
}

TEST_F(SetupPageTest, EverySettingSurvivesARestart)
{
    WriteAll(env->appDir() + "/Testlang.lf", LanguageFileBytes("Tl"));
    const QString folder = env->makeDir("My Lists");
    start();
    c<QComboBox>("setup_freedb_cmb")->setCurrentIndex(1);
    c<QLineEdit>("setup_cddbuser_txt")->setText("  me@example.org ");
    c<QLineEdit>("setup_acoustidkey_txt")->setText(" k3y-AbC ");
    c<QLineEdit>("setup_cgi_txt")->setText(" /cgi/cddb ");
    c<QLineEdit>("setup_httpport_txt")->setText("8888");
    c<QCheckBox>("setup_proxy_chk")->click();
    c<QLineEdit>("setup_proxyname_txt")->setText("localhost");
    c<QLineEdit>("setup_proxyport_txt")->setText("3128");
    c<QCheckBox>("setup_bypass_chk")->click();
    c<QCheckBox>("setup_autoupd_chk")->setChecked(false);
    c<QComboBox>("setup_pat_cmb")->setEditText("%6. %2 (%4)");
    c<QComboBox>("setup_pls_cmb")->setEditText("%1 - %3 [%5]");
    c<QRadioButton>("setup_plsspec_opt")->click();
    c<QLineEdit>("setup_plsfolder_txt")->setText(folder);
    auto* lng = c<QComboBox>("setup_lngcmb");
    lng->setCurrentIndex(lng->findText("Testlang"));
    ok();

    // A second window on the same settings file.
    start();
    EXPECT_EQ(c<QComboBox>("setup_freedb_cmb")->currentIndex(), 1);
    EXPECT_EQ(c<QLineEdit>("setup_cddbuser_txt")->text(), "me@example.org");
    EXPECT_EQ(Setting("CDDBUser"), "me@example.org");
    EXPECT_EQ(c<QLineEdit>("setup_acoustidkey_txt")->text(), "k3y-AbC");
    EXPECT_EQ(Setting("AcoustIDKey"), "k3y-AbC");
    EXPECT_EQ(c<QLabel>("setup_acoustidkey_lbl")->text(), "AcoustID key:");
    EXPECT_EQ(c<QLineEdit>("setup_cgi_txt")->text(), "/cgi/cddb");
    EXPECT_EQ(c<QLineEdit>("setup_httpport_txt")->text(), "8888");
    EXPECT_TRUE(c<QCheckBox>("setup_proxy_chk")->isChecked());
    EXPECT_TRUE(c<QLineEdit>("setup_proxyname_txt")->isEnabled());
    EXPECT_EQ(c<QLineEdit>("setup_proxyname_txt")->text(), "localhost");
    EXPECT_EQ(c<QLineEdit>("setup_proxyport_txt")->text(), "3128");
    EXPECT_TRUE(c<QCheckBox>("setup_bypass_chk")->isChecked());
    EXPECT_FALSE(c<QCheckBox>("setup_autoupd_chk")->isChecked());
    EXPECT_EQ(c<QComboBox>("setup_pat_cmb")->currentText(), "%6. %2 (%4)");
    EXPECT_EQ(c<QComboBox>("setup_pat_cmb")->count(), 6);
    EXPECT_EQ(c<QComboBox>("setup_pls_cmb")->currentText(), "%1 - %3 [%5]");
    EXPECT_TRUE(c<QRadioButton>("setup_plsspec_opt")->isChecked());
    EXPECT_EQ(c<QLineEdit>("setup_plsfolder_txt")->text(), folder);
    EXPECT_EQ(c<QComboBox>("setup_lngcmb")->currentText(), "Testlang");
    EXPECT_EQ(LanguageText(65), "Tl 65");
    EXPECT_EQ(c<QPushButton>("setup_ok_btn")->text(), "Tl 65");
}

TEST_F(SetupPageTest, EmptyPatternIsStoredEmptyAndReloadsAsTheFirstPreset)
{
    start();
    c<QComboBox>("setup_pat_cmb")->setEditText("   ");
    ok();
    EXPECT_EQ(Setting("Pattern"), "");
    start();
    EXPECT_EQ(c<QComboBox>("setup_pat_cmb")->currentText(), kPatternPresets.first());
}
