#include "tests/common/MainWindowFixture.h"

#include "album/AlbumSession.h"
#include "album/ApplyPreview.h"
#include "album/AutosortDialog.h"
#include "folders/Choixrecoldir.h"
#include "album/StatsDialog.h"
#include "album/TrackEditor.h"
#include "app/AppAssembly.h"
#include "audio/GenrePicker.h"
#include "album/FetchFlow.h"
#include "updater/UpdWindow.h"
#include "shell/Dialogs.h"
#include "shell/core/Genres.h"
#include "shell/core/Product.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/shell/LanguageFiles.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QScreen>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <vector>

using namespace tunora;
using namespace tunora::test;

namespace {

const int kButtonTexts[MainWindow::kPageCount] = {175, 8, 9, 10, 3, 34, 38};

QByteArray stylesDat(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += "Genre" + QByteArray::number(147 - i) + "\r\n";
    return out;
}

// Every caption shown by the window: buttons, labels, frames.
QStringList captions(QWidget* w)
{
    QStringList out;
    for (auto* b : w->findChildren<QAbstractButton*>())
        out << b->text();
    // Pattern samples show made-up file names ("Album"), not captions.
    const QStringList samples {"setup_pattern_lbl", "setup_testpls_lbl", "test_lbl", "pls_lbl", "info_lbl"};
    for (auto* l : w->findChildren<QLabel*>())
        if (!samples.contains(l->objectName()))
            out << l->text();
    for (auto* g : w->findChildren<QGroupBox*>())
        out << g->title();
    out.removeAll(QString());
    return out;
}

// Every visible widget under top that sticks out of its parent or is smaller than its own
// minimum size hint (a caption or field cut off), as "objectName (class): why".
QStringList clipped(QWidget* top)
{
    QStringList out;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(top))
            continue;
        // Scrolled contents may be larger than their viewport: that is what scrolling is for.
        // An editable combo box draws its frame around its own, smaller, text field.
        QWidget* parent = w->parentWidget();
        if (qobject_cast<QAbstractScrollArea*>(parent) || parent->objectName() == "qt_scrollarea_viewport" ||
            qobject_cast<QComboBox*>(parent))
            continue;
        const QString who = QStringLiteral("%1 (%2)").arg(w->objectName(), w->metaObject()->className());
        if (!w->parentWidget()->rect().contains(w->geometry()))
            out << who + ": outside its parent";
        const QSize min = w->minimumSizeHint();
        if (w->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored && min.isValid() &&
            (w->width() < min.width() || w->height() < min.height()))
            out << who + QStringLiteral(": %1x%2 < %3x%4").arg(w->width()).arg(w->height()).arg(min.width()).arg(min.height());
    }
    return out;
}

// Records the addresses the program asks the desktop to open, instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class MainWindowTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        // A complete genre file unless a test says otherwise, so start-up is silent.
        WriteAll(app("styles.dat"), stylesDat(148));
    }
    QString app(const QString& name) const { return env->appDir() + "/" + name; }
    QStringList fatals;
    FatalHandler installFatal()
    {
        return SetFatalHandler([this](const QString& m) { fatals << m; });
    }
};

TEST_F(MainWindowTest, StartsOnPageZeroAndSwitchesPages)
{
    MainWindow* w = start();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->currentPage(), PageId::Album);
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    for (int k : {3, 6, 1, 5, 0, 2, 4}) {
        Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(k))->click();
        EXPECT_EQ(w->currentPage(), PageId(k));
        for (int i = 0; i < MainWindow::kPageCount; ++i) {
            EXPECT_EQ(Child<QWidget>(w, QStringLiteral("workfrm_%1").arg(i))->isVisible(), i == k) << k << i;
            EXPECT_EQ(Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(i))->isChecked(), i == k) << k << i;
        }
    }
    // Clicking the shown page's button keeps it shown and selected.
    auto* b4 = Child<QToolButton>(w, "brand_btn_4");
    b4->click();
    EXPECT_TRUE(b4->isChecked());
    EXPECT_TRUE(Child<QWidget>(w, "workfrm_4")->isVisible());
}

TEST_F(MainWindowTest, PageSwitchesNeverChangeTheWindowsSize)
{
    MainWindow* w = start();
    QCoreApplication::processEvents();
    const QSize size = w->size();
    const QRect screen = w->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << "opens inside the screen";
    EXPECT_TRUE(clipped(w).isEmpty()) << clipped(w).join('\n').toStdString();
    for (int k : {5, 0, 1, 2, 3, 4, 6, 0, 5}) {
        Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(k))->click();
        QCoreApplication::processEvents();
        EXPECT_EQ(w->size(), size) << "page " << k;
        EXPECT_TRUE(clipped(w).isEmpty()) << "page " << k << "\n" << clipped(w).join('\n').toStdString();
    }
}

TEST_F(MainWindowTest, TheWindowOpensWhereItWasButInsideTheScreen)
{
    MainWindow* w = start();
    const QRect screen = w->screen()->availableGeometry();
    const QSize minimum = w->minimumSizeHint();
    w->resize(minimum + QSize(10, 20));
    w->move(screen.topLeft() + QPoint(3, 4));
    ASSERT_TRUE(w->close());
    EXPECT_EQ(Setting("WindowPlacement"), QStringLiteral("%1,%2,%3,%4")
                                              .arg(screen.x() + 3)
                                              .arg(screen.y() + 4)
                                              .arg(minimum.width() + 10)
                                              .arg(minimum.height() + 20));
    w = start();
    EXPECT_EQ(QRect(w->pos(), w->size()), QRect(screen.topLeft() + QPoint(3, 4), minimum + QSize(10, 20)));

    // Moved back on the screen, shrunk to it, never below the window's minimum.
    const struct {
        QRect wanted, got;
    } rows[] = {
        {{screen.right() + 500, screen.bottom() + 500, minimum.width(), minimum.height()},
         {screen.right() - minimum.width() + 1, screen.bottom() - minimum.height() + 1, minimum.width(),
          minimum.height()}},
        {{-4000, -4000, minimum.width(), minimum.height()}, {screen.topLeft(), minimum}},
        {{screen.x(), screen.y(), screen.width() * 3, screen.height() * 3}, screen},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FitInside(r.wanted, screen, minimum), r.got) << r.wanted.x() << "," << r.wanted.y();
    EXPECT_EQ(FitInside({0, 0, 10, 10}, {0, 0, 100, 100}, {200, 50}), QRect(0, 0, 200, 50));
    for (const char* stored : {"-9000,-9000,300,300", "1,2,nonsense,4", "5,5,0,0"}) {
        SetSetting("WindowPlacement", stored);
        w = start();
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << stored;
    }
}

TEST_F(MainWindowTest, NoDialogClipsItsContents)
{
    MainWindow* w = start();
    AlbumSession session;
    QString words = "words";
    std::vector<std::pair<QString, std::function<QDialog*()>>> boxes;
    for (int mode = 1; mode <= 8; ++mode)
        boxes.emplace_back(QStringLiteral("chooser mode %1").arg(mode), [w, mode] {
            auto* c = new Choixrecoldir(w);
            c->SetMode(ChooserMode(mode));
            return c;
        });
    boxes.emplace_back("genre picker", [w] { return new GenrePicker(w); });
    boxes.emplace_back("statistics", [w, &session] { return new StatsDialog(session, w); });
    boxes.emplace_back("track editor", [w, &session] { return new TrackEditor(session, w); });
    boxes.emplace_back("auto sort", [w, &session] { return new AutosortDialog(session, w); });
    boxes.emplace_back("search", [w, &words] { return new AskQuery("/music/album", words, w); });
    boxes.emplace_back("apply preview", [w] {
        ApplyResult r;
        r.rows = {{"a.mp3", 61000, "One", 4500, "01 - One.mp3", {}}, {"b.mp3", 0, "Two", 75, "b.mp3", "read-only"}};
        r.playlistPath = "/music/album/Album.m3u";
        r.playlistReplaced = true;
        return new ApplyPreview(r, w);
    });
    // Each opens inside the screen as well (the smallest common laptop's, see CMakeLists.txt).
    const QRect screen = w->screen()->availableGeometry();
    for (const auto& [name, make] : boxes) {
        std::unique_ptr<QDialog> d(make());
        d->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(clipped(d.get()).isEmpty()) << name.toStdString() << "\n" << clipped(d.get()).join('\n').toStdString();
        EXPECT_TRUE(screen.contains(d->frameGeometry())) << name.toStdString();
        d->close();
    }
    UpdWindow upd(w);
    upd.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(clipped(&upd).isEmpty()) << clipped(&upd).join('\n').toStdString();
    EXPECT_TRUE(screen.contains(upd.frameGeometry()));
}

TEST_F(MainWindowTest, AboutSoundPlaysOnEveryClick)
{
    MainWindow* w = start();
    const int before = w->soundPlayCount();
    auto* about = Child<QToolButton>(w, "brand_btn_6");
    about->click();
    about->click();
    Child<QToolButton>(w, "brand_btn_5")->click();
    about->click();
    EXPECT_EQ(w->soundPlayCount(), before + 3);
}

TEST_F(MainWindowTest, PageButtonsHaveTheirIconsAndCaptions)
{
    WriteAll(app("english.lf"), LanguageFileBytes("En", kLanguageTextCount, {{175, "Album & Tags"}, {38, "&About"}}));
    MainWindow* w = start();
    const char* icons[] = {"Desktop.ico", "file_liste.ico", "sweep disk.ico", "playlist.ico",
                           "mp3cda.ico",  "ico456.ico",     "vminst.ico"};
    for (int i = 0; i < MainWindow::kPageCount; ++i) {
        auto* b = Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(i));
        EXPECT_EQ(b->property("iconFile").toString(), env->appDir() + "/skin/" + icons[i]);
        EXPECT_TRUE(QFile::exists(b->property("iconFile").toString())) << icons[i];
        // A picture of its own for 1x, 1.5x and 2x: nothing is drawn scaled up.
        for (const qreal scale : {1.0, 1.5, 2.0})
            EXPECT_TRUE(b->icon().availableSizes().contains(b->iconSize() * scale)) << icons[i] << ' ' << scale;
        if (i != 0 && i != 6) {
            EXPECT_EQ(b->text(), QStringLiteral("En %1").arg(kButtonTexts[i]));
        }
    }
    // Every "&" is doubled so that it shows instead of marking a shortcut.
    EXPECT_EQ(Child<QToolButton>(w, "brand_btn_0")->text(), "Album && Tags");
    EXPECT_EQ(Child<QToolButton>(w, "brand_btn_6")->text(), "&&About");
    EXPECT_EQ(Child<QPushButton>(w, "cancel_btn")->text(), "En 32");
}

TEST_F(MainWindowTest, BusyDisablesPageButtonsAndRefusesClose)
{
    MainWindow* w = start();
    SetBusy(true);
    for (int i = 0; i < MainWindow::kPageCount; ++i)
        EXPECT_FALSE(Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(i))->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(w, "cancel_btn")->isEnabled());
    Child<QPushButton>(w, "cancel_btn")->click();
    EXPECT_TRUE(CancelRequested());
    SetCancelRequested(false);

    int closes = 0;
    w->closeConnections = [&] { ++closes; };
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(messages->texts.isEmpty());

    SetBusy(false);
    for (int i = 0; i < MainWindow::kPageCount; ++i)
        EXPECT_TRUE(Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(i))->isEnabled());
    // Another window of the program goes with the main window.
    QWidget other;
    other.setObjectName("upd");
    other.show();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(closes, 1);
}

TEST_F(MainWindowTest, LanguageChangeRelabelsEveryCaption)
{
    QMap<int, QString> fr {{70, "Fr about %%1%%"}, {71, "Fr by %%1%%"}, {72, "Fr v%%1%%.%%2%%.%%3%%"}};
    WriteAll(app("Testlang.lf"), LanguageFileBytes("Fr", kLanguageTextCount, fr));
    MainWindow* w = start();
    const QStringList englishTable = LanguageTable();
    auto* lng = Child<QComboBox>(w, "setup_lngcmb");
    ASSERT_EQ(lng->currentText(), "English");
    const int idx = lng->findText("Testlang");
    ASSERT_GE(idx, 0);
    lng->setCurrentIndex(idx);
    Child<QToolButton>(w, "brand_btn_5")->click();
    Child<QPushButton>(w, "setup_ok_btn")->click();

    EXPECT_EQ(LanguageText(0), "Fr 0");
    EXPECT_EQ(Setting("langue"), "Testlang");
    for (int i = 0; i < MainWindow::kPageCount; ++i)
        EXPECT_EQ(Child<QToolButton>(w, QStringLiteral("brand_btn_%1").arg(i))->text(),
                  QStringLiteral("Fr %1").arg(kButtonTexts[i]));
    EXPECT_EQ(Child<QPushButton>(w, "cancel_btn")->text(), "Fr 32");
    EXPECT_EQ(Child<QLabel>(w, "setup_currentlng_lbl")->text(), "Fr 23 Testlang");
    EXPECT_EQ(Child<QLabel>(w, "app_lbl")->text(), "Fr about Tunora");
    EXPECT_EQ(Child<QLabel>(w, "vers_lbl")->text(), "Fr v4.0.77");
    EXPECT_TRUE(Child<QLabel>(w, "setup_patterndef_lbl_0")->text().contains("Fr 28"));
    // No caption anywhere on the window still shows an English text.
    for (const QString& c : captions(w)) {
        const int n = englishTable.indexOf(c);
        EXPECT_LT(n, 0) << "caption still English: " << c.toStdString() << " (text " << n << ")";
    }
}

TEST_F(MainWindowTest, AboutPageCaptions)
{
    WriteAll(app("english.lf"), LanguageFileBytes("En", kLanguageTextCount,
                                                  {{70, "About %%1%%!"}, {71, "%%1%% (%%1%%)"},
                                                   {72, "Version %%1%%.%%2%% build %%3%%"}}));
    MainWindow* w = start();
    EXPECT_EQ(Child<QLabel>(w, "app_lbl")->text(), "About Tunora!");
    const QString comment = Child<QLabel>(w, "auth_lbl")->text();
    EXPECT_FALSE(comment.contains("%%"));
    EXPECT_GT(comment.size(), 4);
    EXPECT_EQ(Child<QLabel>(w, "vers_lbl")->text(), "Version 4.0 build 77");
    EXPECT_EQ(Child<QPushButton>(w, "about_upd_btn")->text(), "En 35");
    EXPECT_EQ(Child<QPushButton>(w, "email_btn")->text(), "En 66");
    EXPECT_EQ(Child<QPushButton>(w, "Web_btn")->text(), "En 67");
}

TEST_F(MainWindowTest, UpdateChecksFromTheAboutPageAndTheStartTimer)
{
    QList<bool> calls;
    SetSetting("AutoUpd", "");
    window.reset(BuildMainWindow());
    window->checkForUpdate = [&](bool automatic) { calls << automatic; };
    ASSERT_TRUE(window->startup());
    window->show();
    EXPECT_TRUE(calls.isEmpty()); // the check waits for the timer
    ASSERT_TRUE(WaitUntil([&] { return calls.size() >= 1; }, 5000));
    EXPECT_EQ(calls.size(), 1);
    EXPECT_TRUE(calls.first());
    Child<QToolButton>(window.get(), "brand_btn_6")->click();
    Child<QPushButton>(window.get(), "about_upd_btn")->click();
    EXPECT_EQ(calls, (QList<bool> {true, false}));
}

TEST_F(MainWindowTest, NoAutomaticCheckWhenAutoUpdIsZero)
{
    QList<bool> calls;
    SetSetting("AutoUpd", "0");
    window.reset(BuildMainWindow());
    window->checkForUpdate = [&](bool automatic) { calls << automatic; };
    // The start-up timer's end is when an automatic check would begin.
    bool fired = false;
    QObject::connect(Child<QTimer>(window.get(), "Timer1"), &QTimer::timeout, [&] { fired = true; });
    ASSERT_TRUE(window->startup());
    ASSERT_TRUE(WaitUntil([&] { return fired; }, 5000));
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(MainWindowTest, MaximisedOnlyForExactlyOne)
{
    for (const char* v : {"1", " 1", "1 ", "01", "true", "", "2"}) {
        SetSetting("Fullscreen", v);
        MainWindow* w = start();
        EXPECT_EQ(w->wantsMaximized(), QByteArray(v) == "1") << v;
    }
}

TEST_F(MainWindowTest, ProgressBarFillsItsFrame)
{
    QWidget frame;
    frame.resize(200, 20);
    QWidget bar(&frame);
    bar.resize(0, 20);
    frame.show();
    ShowProgress(&bar, &frame, 50);
    EXPECT_EQ(bar.width(), 100);
    EXPECT_TRUE(bar.isVisible());
    ShowProgress(&bar, &frame, 33);
    EXPECT_EQ(bar.width(), 66);
    ShowProgress(&bar, &frame, 100);
    EXPECT_EQ(bar.width(), 200);
    ShowProgress(&bar, &frame, 0);
    EXPECT_FALSE(bar.isVisible());
}

// Language files.

TEST_F(MainWindowTest, DeletedStoredLanguageStartsInEnglishSilently)
{
    SetSetting("langue", "Gone");
    start();
    EXPECT_TRUE(messages->texts.isEmpty());
    EXPECT_EQ(LanguageTable(), ParseLanguageFile(ReadAll(app("english.lf"))));
    EXPECT_EQ(Setting("langue"), "english");
    EXPECT_EQ(Child<QComboBox>(window.get(), "setup_lngcmb")->currentText(), "English");
}

TEST_F(MainWindowTest, StoredLanguageIsLoadedAtStart)
{
    WriteAll(app("Testlang.lf"), LanguageFileBytes("Tl"));
    SetSetting("langue", "Testlang");
    MainWindow* w = start();
    EXPECT_EQ(LanguageText(10), "Tl 10");
    EXPECT_EQ(Child<QComboBox>(w, "setup_lngcmb")->currentText(), "Testlang");
    EXPECT_EQ(Child<QToolButton>(w, "brand_btn_3")->text(), "Tl 10");
}

TEST_F(MainWindowTest, WrongCountsFallBackToEnglish)
{
    for (int count : {177, 179}) {
        WriteAll(app("Short.lf"), LanguageFileBytes("Sh", count));
        SetSetting("langue", "Short");
        start();
        EXPECT_EQ(LanguageText(0), ParseLanguageFile(ReadAll(app("english.lf"))).first()) << count;
        EXPECT_EQ(Setting("langue"), "english") << count;
        EXPECT_TRUE(messages->texts.isEmpty()) << count;
    }
}

TEST_F(MainWindowTest, ALanguageFileThatVanishesWhileRunningKeepsTheTextsShown)
{
    WriteAll(app("Testlang.lf"), LanguageFileBytes("Tl"));
    WriteAll(app("Other.lf"), LanguageFileBytes("Ot"));
    WriteAll(app("Short.lf"), LanguageFileBytes("Sh", 177));
    SetSetting("langue", "Other");
    auto old = installFatal();
    MainWindow* w = start();
    auto* lng = Child<QComboBox>(w, "setup_lngcmb");
    // The chosen file went; the chosen file is short and English went; English broke.
    const std::function<void()> faults[] = {
        [&] { QFile::remove(app("Testlang.lf")); },
        [&] { QFile::rename(app("english.lf"), app("english.lf.gone")); },
        [&] { WriteAll(app("english.lf"), "nothing of use"); },
    };
    const char* chosen[] = {"Testlang", "Short", "English"};
    for (int i = 0; i < 3; ++i) {
        lng->setCurrentIndex(lng->findText(chosen[i]));
        faults[i]();
        messages->texts.clear();
        Child<QPushButton>(w, "setup_ok_btn")->click();
        EXPECT_EQ(LanguageText(10), "Ot 10") << chosen[i];
        EXPECT_EQ(Child<QToolButton>(w, "brand_btn_3")->text(), "Ot 10") << chosen[i];
        EXPECT_EQ(messages->texts.size(), 1) << chosen[i];
        EXPECT_EQ(Setting("langue"), "Other") << chosen[i];
    }
    SetFatalHandler(old);
    EXPECT_TRUE(fatals.isEmpty()) << fatals.join('|').toStdString();
}

TEST_F(MainWindowTest, LanguageListIgnoresCaseOfTheEndingAndKeepsTheSpelling)
{
    WriteAll(app("Deutsch.lf"), LanguageFileBytes("De"));
    WriteAll(app("klingon.LF"), LanguageFileBytes("Kl"));
    WriteAll(app("notes.txt"), "x");
    MainWindow* w = start();
    auto* lng = Child<QComboBox>(w, "setup_lngcmb");
    QStringList entries;
    for (int i = 0; i < lng->count(); ++i)
        entries << lng->itemText(i);
    EXPECT_EQ(entries.first(), "English");
    EXPECT_EQ(entries.count("English") + entries.count("english"), 1);
    EXPECT_TRUE(entries.contains("Deutsch"));
    EXPECT_TRUE(entries.contains("klingon"));
    EXPECT_FALSE(entries.contains("notes.txt"));

    lng->setCurrentIndex(lng->findText("Deutsch"));
    Child<QPushButton>(w, "setup_ok_btn")->click();
    EXPECT_EQ(Setting("langue"), "Deutsch");
    EXPECT_EQ(LanguageText(1), "De 1");

    lng->setCurrentIndex(lng->findText("klingon"));
    Child<QPushButton>(w, "setup_ok_btn")->click();
    EXPECT_EQ(LanguageText(1), "Kl 1");

    // "English" chosen finds english.lf.
    lng->setCurrentIndex(0);
    Child<QPushButton>(w, "setup_ok_btn")->click();
    EXPECT_EQ(LanguageTable(), ParseLanguageFile(ReadAll(app("english.lf"))));
    EXPECT_EQ(Setting("langue"), "English");
}

TEST_F(MainWindowTest, CapitalisedEnglishFileIsFound)
{
    ASSERT_TRUE(QFile::rename(app("english.lf"), app("English.lf")));
    auto old = installFatal();
    MainWindow* w = start();
    SetFatalHandler(old);
    EXPECT_TRUE(fatals.isEmpty());
    EXPECT_EQ(LanguageTable().size(), kLanguageTextCount);
    auto* lng = Child<QComboBox>(w, "setup_lngcmb");
    int english = 0;
    for (int i = 0; i < lng->count(); ++i)
        english += lng->itemText(i).compare("english", Qt::CaseInsensitive) == 0;
    EXPECT_EQ(english, 1);
    EXPECT_EQ(lng->currentIndex(), 0);
}

TEST_F(MainWindowTest, InstallationFaultsEndTheProgramWithTheirMessages)
{
    auto old = installFatal();
    QFile::remove(app("english.lf"));
    window.reset(BuildMainWindow());
    EXPECT_FALSE(window->startup());
    EXPECT_EQ(fatals, QStringList {"Default language file (English) missing !!"});

    fatals.clear();
    WriteAll(app("english.lf"), LanguageFileBytes("En", 177));
    window.reset(BuildMainWindow());
    EXPECT_FALSE(window->startup());
    EXPECT_EQ(fatals, QStringList {"Language file error, you must reinstall Tunora and contact technical support"});

    fatals.clear();
    WriteAll(app("english.lf"), LanguageFileBytes("En"));
    ASSERT_TRUE(QDir(app("skin")).removeRecursively());
    window.reset(BuildMainWindow());
    EXPECT_FALSE(window->startup());
    EXPECT_EQ(fatals, QStringList {"default images missing, please reinstall Tunora"});

    // A plain file named skin is no folder of images.
    fatals.clear();
    WriteAll(app("skin"), "x");
    window.reset(BuildMainWindow());
    EXPECT_FALSE(window->startup());
    EXPECT_EQ(fatals, QStringList {"default images missing, please reinstall Tunora"});
    SetFatalHandler(old);
}

// The genre table.

TEST_F(MainWindowTest, GenreFileOfExactly148LinesIsSilent)
{
    start();
    EXPECT_TRUE(messages->texts.isEmpty());
    ASSERT_EQ(GenreTable().size(), kGenreCount);
    EXPECT_EQ(GenreTable().first(), "Genre147");
    EXPECT_EQ(GenreTable().last(), "Genre0");
    EXPECT_EQ(GenreByteForName("genre0"), 0);
    EXPECT_EQ(GenreByteForName("GENRE147"), 147);
    EXPECT_EQ(GenreByteForName("No such genre"), 12);
}

TEST_F(MainWindowTest, LongGenreFileFills148Entries)
{
    WriteAll(app("styles.dat"), stylesDat(148) + "Extra1\r\nExtra2\r\n" + stylesDat(50));
    start();
    EXPECT_TRUE(messages->texts.isEmpty());
    ASSERT_EQ(GenreTable().size(), kGenreCount);
    EXPECT_EQ(GenreTable().last(), "Genre0");
    EXPECT_FALSE(GenreTable().contains("Extra1"));
}

TEST_F(MainWindowTest, ShortGenreFileShowsText64)
{
    WriteAll(app("styles.dat"), stylesDat(10));
    start();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(64)});
    ASSERT_EQ(GenreTable().size(), kGenreCount);
    EXPECT_EQ(GenreTable().at(9), "Genre138");
    EXPECT_EQ(GenreTable().at(10), "");
    // An empty name finds the first empty position.
    EXPECT_EQ(GetIDXFromStyleName(""), 10);
}

TEST_F(MainWindowTest, MissingGenreFileShowsText63AndDisablesId3v1)
{
    QFile::remove(app("styles.dat"));
    MainWindow* w = start();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(63)});
    if (auto* v1 = w->findChild<QWidget*>("ID3v1_chk")) {
        EXPECT_FALSE(v1->isEnabled());
    }
}

// The settings file.

TEST_F(MainWindowTest, UnreadableSettingsFileStartsWithDefaultsAndIsLeftAlone)
{
    const QByteArray garbage("this is \"not\" a settings file\r\n[unclosed\r\n=\r\n");
    ASSERT_TRUE(WriteAll(env->registryPath(), garbage));
    MainWindow* w = start();
    ASSERT_TRUE(w);
    // The burner's folder lives in the unreadable file too, so the burn page asks for it.
    messages->texts.removeAll(LanguageText(173));
    // Told once, in one message that names the file.
    ASSERT_EQ(messages->texts.size(), 1) << messages->texts.join('|').toStdString();
    EXPECT_TRUE(messages->texts.first().contains(env->registryPath()));
    EXPECT_TRUE(SettingsUnreadable());
    EXPECT_EQ(Child<QComboBox>(w, "setup_lngcmb")->currentText(), "English");
    EXPECT_TRUE(Child<QCheckBox>(w, "setup_autoupd_chk")->isChecked());
    EXPECT_EQ(ReadAll(env->registryPath()), garbage);

    // A second start says it no more than once more for the same file, and still leaves it.
    start();
    messages->texts.removeAll(LanguageText(173));
    EXPECT_LE(messages->texts.size(), 2);
    EXPECT_EQ(ReadAll(env->registryPath()), garbage);

    // Storing the setup page keeps the broken file aside and writes a fresh one.
    Child<QPushButton>(window.get(), "setup_ok_btn")->click();
    EXPECT_FALSE(SettingsUnreadable());
    EXPECT_EQ(Setting("HTTPPort"), "80");
    bool keptAside = false;
    for (const QString& f : QDir(env->root()).entryList(QDir::Files | QDir::Hidden))
        keptAside |= f != "registry.reg" && ReadAll(env->root() + "/" + f) == garbage;
    EXPECT_TRUE(keptAside);
}

TEST_F(MainWindowTest, AFirstStartOnAnEmptySettingsFileTellsNothingAndStoresTheSetup)
{
    ASSERT_TRUE(WriteAll(env->registryPath(), QByteArray()));
    MainWindow* w = start();
    ASSERT_TRUE(w);
    messages->texts.removeAll(LanguageText(173)); // no burner's folder yet
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    EXPECT_FALSE(SettingsUnreadable());
    EXPECT_EQ(Child<QComboBox>(w, "setup_lngcmb")->currentText(), "English");
    EXPECT_TRUE(Child<QCheckBox>(w, "setup_autoupd_chk")->isChecked());
    Child<QPushButton>(w, "setup_ok_btn")->click();
    EXPECT_EQ(Setting("HTTPPort"), "80");
    EXPECT_FALSE(ReadAll(env->registryPath()).isEmpty());
}

TEST_F(MainWindowTest, MailAndWebButtonsOpenTheProgramsAddresses)
{
    UrlRecorder recorder;
    for (const char* scheme : {"mailto", "http", "https"})
        QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    MainWindow* w = start();
    Child<QToolButton>(w, "brand_btn_6")->click();
    Child<QPushButton>(w, "email_btn")->click();
    Child<QPushButton>(w, "Web_btn")->click();
    for (const char* scheme : {"mailto", "http", "https"})
        QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls.at(0).scheme(), "mailto");
    EXPECT_EQ(recorder.urls.at(0).toString(), QString::fromLatin1(product::kSupportMail));
    EXPECT_EQ(recorder.urls.at(1).toString(), QString::fromLatin1(product::kWebSite));
}

#include "MainWindowTest.moc"
