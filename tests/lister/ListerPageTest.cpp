#include "lister/Lister.h"
#include "lister/ListerPage.h"

#include "folders/Choixrecoldir.h"
#include "shell/core/AppState.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace tunora;
using namespace tunora::test;

namespace {

// Takes the place of the desktop's default program for local files.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    OpenRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    QStringList opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened << url.toLocalFile(); }
};

class ListerPageTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        music = env->makeDir("music");
        out = env->makeDir("out");
    }

    MainWindow* open()
    {
        MainWindow* w = start();
        Child<QWidget>(w, "brand_btn_1")->setProperty("checked", true);
        w->switchPage(PageId::Lister);
        input = Child<QLineEdit>(w, "lister_input_txt");
        output = Child<QLineEdit>(w, "lister_output_txt");
        name = Child<QLineEdit>(w, "ficname_txt");
        pattern = Child<QComboBox>(w, "pattern_txt");
        formats = Child<QListWidget>(w, "ext_lst");
        recurse = Child<QCheckBox>(w, "recurse_chk");
        go = Child<QPushButton>(w, "lister_go_btn");
        return w;
    }

    void fill(const QString& in, const QString& outFolder, const QString& fileName)
    {
        input->setText(in);
        output->setText(outFolder);
        name->setText(fileName);
    }

    void expectIdle()
    {
        EXPECT_FALSE(IsBusy());
        EXPECT_TRUE(go->isEnabled());
        EXPECT_TRUE(Child<QWidget>(window.get(), "brand_btn_0")->isEnabled());
    }

    void chooser(const QString& folder)
    {
        dialogs->steps << [folder](QDialog* d) {
            auto* c = qobject_cast<Choixrecoldir*>(d);
            ASSERT_TRUE(c);
            ASSERT_TRUE(c->setDirPath(folder));
            Child<QPushButton>(c, "ok_btn")->click();
        };
    }

    OpenRecorder opener;
    QString music, out;
    QLineEdit *input = nullptr, *output = nullptr, *name = nullptr;
    QComboBox* pattern = nullptr;
    QListWidget* formats = nullptr;
    QCheckBox* recurse = nullptr;
    QPushButton* go = nullptr;
};

} // namespace

TEST_F(ListerPageTest, StartUpFillsFormatsPatternsHelpAndSample)
{
    open();
    ASSERT_EQ(formats->count(), 12);
    QStringList names, checked;
    for (int i = 0; i < formats->count(); ++i) {
        names << formats->item(i)->text();
        if (formats->item(i)->checkState() == Qt::Checked)
            checked << formats->item(i)->text();
    }
    EXPECT_EQ(names, (QStringList {"MP3", "OGG", "VQF", "APE", "MPC", "MP4", "WMA", "WAV", "FLAC", "OPUS", "WV", "AIFF"}));
    EXPECT_EQ(checked, QStringList {"MP3"});
    EXPECT_FALSE(recurse->isChecked());
    ASSERT_EQ(pattern->count(), 3);
    EXPECT_EQ(pattern->itemText(1), "[%3] %1%2 (%4)");
    EXPECT_EQ(pattern->currentText(), "[%3] %1%2");

    QString help;
    for (int i = 1; i <= 5; ++i)
        help += QStringLiteral("%%1 : ").arg(i) + LanguageText(108 + i) + "\r\n";
    EXPECT_EQ(Child<QLabel>(window.get(), "pathlp_lbl")->text(), help);
    EXPECT_EQ(Child<QLabel>(window.get(), "sample_lbl")->text(), LanguageText(108) + " [MP3] 01 - Zero.mp3");
    EXPECT_EQ(go->text(), LanguageText(97));
    EXPECT_EQ(Child<QPushButton>(window.get(), "input_btn")->text(), LanguageText(6));
    EXPECT_EQ(recurse->text(), LanguageText(103));
}

TEST_F(ListerPageTest, SavedPatternIsUsedOnlyWhenItHoldsAPlaceholder)
{
    SetListerPatternSetting("%5%1%2");
    open();
    EXPECT_EQ(pattern->currentText(), "%5%1%2");
    EXPECT_EQ(Child<QLabel>(window.get(), "sample_lbl")->text(), LanguageText(108) + " /MP3/Rock/SP/01 - Zero.mp3");

    window.reset();
    SetListerPatternSetting("plainword");
    open();
    EXPECT_EQ(pattern->currentText(), "[%3] %1%2");
}

TEST_F(ListerPageTest, PreviewFollowsThePatternBox)
{
    open();
    auto* sample = Child<QLabel>(window.get(), "sample_lbl");
    pattern->setEditText("%3: %1");
    EXPECT_EQ(sample->text(), LanguageText(108) + " MP3: 01 - Zero");
    pattern->setCurrentIndex(1);
    EXPECT_TRUE(sample->text().startsWith(LanguageText(108) + " [MP3] 01 - Zero.mp3 ("));
}

TEST_F(ListerPageTest, FileNameBoxRefusesCharactersNoFileNameMayHold)
{
    open();
    name->setFocus();
    QTest::keyClicks(name, "my list/a:b?*\"<>|c.txt");
    EXPECT_EQ(name->text(), "mylistabc.txt"); // the dot of an extension can be typed
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text(), "mylistabc.tx");
}

TEST_F(ListerPageTest, ChoosingTheInputNamesTheListingAfterTheFolder)
{
    open();
    const QString rock = env->makeDir("music/Rock");
    chooser(rock);
    Child<QPushButton>(window.get(), "input_btn")->click();
    EXPECT_EQ(input->text(), rock);
    EXPECT_EQ(name->text(), "Rock");
    EXPECT_EQ(dialogs->seen, QStringList {"Choixrecoldir"});

    // A name already typed stays; a cancelled chooser changes nothing.
    name->setText("mine");
    chooser(music);
    Child<QPushButton>(window.get(), "input_btn")->click();
    EXPECT_EQ(input->text(), music);
    EXPECT_EQ(name->text(), "mine");
    Child<QPushButton>(window.get(), "input_btn")->click();
    EXPECT_EQ(input->text(), music);

    chooser(out);
    Child<QPushButton>(window.get(), "output_btn")->click();
    EXPECT_EQ(output->text(), out);
}

TEST_F(ListerPageTest, MissingFoldersNameOrFormatsAreRefused)
{
    open();
    struct Row {
        QString in, out, name;
    } rows[] = {
        {"", out, "x"},
        {music + "/nothing", out, "x"},
        {music, "", "x"},
        {music, out + "/nothing", "x"},
        {music, out, "  :?  "},
    };
    for (const Row& r : rows) {
        fill(r.in, r.out, r.name);
        go->click();
        ASSERT_FALSE(messages->texts.isEmpty());
        EXPECT_EQ(messages->texts.takeLast(), LanguageText(114)) << r.in.toStdString() << r.out.toStdString();
        expectIdle();
    }
    EXPECT_EQ(name->text(), ""); // cleaned in place

    fill(" " + music + " ", out, "list");
    formats->item(0)->setCheckState(Qt::Unchecked);
    go->click();
    EXPECT_EQ(messages->texts.takeLast(), LanguageText(115));
    EXPECT_EQ(input->text(), music);
    EXPECT_EQ(name->text(), "list.txt");
    expectIdle();
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(ListerPageTest, GoWritesTheListingOpensItAndRemembersThePattern)
{
    ASSERT_TRUE(WriteAll(music + "/01 - Zero.mp3", QByteArray(1048576, 'x')));
    ASSERT_TRUE(WriteAll(music + "/sub/Two.OGG", "x"));
    ASSERT_TRUE(WriteAll(music + "/sub/skip.jpg", "x"));
    ASSERT_TRUE(WriteAll(out + "/list.txt", "an older listing"));
    open();
    fill(music, out, "list");
    recurse->setChecked(true);
    formats->item(1)->setCheckState(Qt::Checked);
    pattern->setEditText("%3 %5%1%2 (%4)");
    go->click();

    const QString path = out + "/list.txt";
    EXPECT_EQ(ReadAll(path), ("[" + music + "]\r\nMP3 " + music + "/01 - Zero.mp3 (" + ListerSizeText(1048576) +
                              ")\r\n\r\n[" + music + "/sub]\r\nOGG " + music + "/sub/Two.OGG (" + ListerSizeText(1) +
                              ")\r\n\r\n")
                                 .toUtf8());
    EXPECT_EQ(name->text(), "list.txt");
    EXPECT_TRUE(messages->texts.isEmpty());
    EXPECT_EQ(opener.opened, QStringList {path});
    EXPECT_EQ(ListerPatternSetting(), "%3 %5%1%2 (%4)");
    EXPECT_EQ(Setting("LiserPattern"), "%3 %5%1%2 (%4)"); // one key, whatever its spelling
    EXPECT_EQ(AppState::instance().statusText(), "");
    expectIdle();
}

TEST_F(ListerPageTest, CancelLeavesNoNewListingAndKeepsAnOldOne)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(WriteAll(music + QStringLiteral("/d%1/s.mp3").arg(i), "x"));
    open();
    auto* cancel = Child<QPushButton>(window.get(), "cancel_btn");
    fill(music, out, "new");
    recurse->setChecked(true);
    QTimer::singleShot(0, cancel, &QPushButton::click);
    go->click();
    EXPECT_FALSE(QFileInfo::exists(out + "/new.txt"));
    EXPECT_EQ(messages->texts, QStringList {LanguageText(177)});
    EXPECT_TRUE(opener.opened.isEmpty());
    expectIdle();

    ASSERT_TRUE(WriteAll(out + "/old.txt", "kept"));
    name->setText("old");
    QTimer::singleShot(0, cancel, &QPushButton::click);
    go->click();
    EXPECT_EQ(ReadAll(out + "/old.txt"), "kept");
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList {"old.txt"});
    EXPECT_NE(ListerPatternSetting(), pattern->currentText());
}

TEST_F(ListerPageTest, AFailedWriteIsReportedAndKeepsTheOldListing)
{
    ASSERT_TRUE(WriteAll(music + "/a long enough name for the limit.mp3", "x"));
    ASSERT_TRUE(WriteAll(out + "/list.txt", "old"));
    open();
    fill(music, out, "list");
    {
        FileSizeLimit limit(8);
        go->click();
    }
    ASSERT_EQ(messages->texts.size(), 1);
    EXPECT_TRUE(messages->texts.first().contains(out + "/list.txt"));
    EXPECT_EQ(ReadAll(out + "/list.txt"), "old");
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList {"list.txt"});
    EXPECT_TRUE(opener.opened.isEmpty());
    expectIdle();
}

#include "ListerPageTest.moc"
