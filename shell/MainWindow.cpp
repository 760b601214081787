#include "shell/MainWindow.h"

#include "shell/Page.h"
#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileIo.h"
#include "shell/Dialogs.h"
#include "shell/core/AppState.h"
#include "shell/core/Genres.h"
#include "shell/core/Language.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tunora {

namespace {
MainWindow* g_main = nullptr;

const char* const kIcons[MainWindow::kPageCount] = {"skin/Desktop.ico",  "skin/file_liste.ico", "skin/sweep disk.ico",
                                                     "skin/playlist.ico", "skin/mp3cda.ico",     "skin/ico456.ico",
                                                     "skin/vminst.ico"};
const int kCaptionTexts[MainWindow::kPageCount] = {175, 8, 9, 10, 3, 34, 38};

QString doubledAmpersands(QString s)
{
    return s.replace('&', QLatin1String("&&"));
}

// The name of a file of the app folder, found without regard to case as the language list
// finds it ("English" chosen finds "english.lf"); the exact spelling wins. Empty when none.
QString appFileNameCI(const QString& name)
{
    if (name.isEmpty() || name.contains('/'))
        return QFileInfo(AppFile(name)).isFile() ? name : QString();
    if (QFileInfo(AppFile(name)).isFile())
        return name;
    const QStringList files = QDir(AppFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& f : files)
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return {};
}
} // namespace

MainWindow::MainWindow(const std::array<PageFactory, kPageCount>& factories, QWidget* parent) : QWidget(parent)
{
    g_main = this;
    setObjectName("main");
    // The control on this window talks to the user through the window's seams.
    RouteControlMessages();
    dorvane::Dorvanectrl::SetDialogRunner([](QDialog& d) { return ExecDialog(&d); });
    setWindowTitle(QString::fromLatin1(product::kName));

    auto* outer = new QVBoxLayout(this);
    auto* buttonRow = new QHBoxLayout;
    outer->addLayout(buttonRow);
    for (int i = 0; i < kPageCount; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("brand_btn_%1").arg(i));
        b->setCheckable(true);
        b->setAutoExclusive(false);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(32, 32));
        b->setMinimumWidth(90);
        connect(b, &QToolButton::clicked, this, [this, i] { switchPage(PageId(i)); });
        buttonRow->addWidget(b);
        m_buttons[static_cast<size_t>(i)] = b;
    }
    buttonRow->addStretch(1);

    // The pages share one place whose size fits the largest of them, so a page switch never
    // resizes the window.
    m_stack = new QStackedWidget(this);
    outer->addWidget(m_stack, 1);
    for (int i = 0; i < kPageCount; ++i) {
        auto* frame = new QWidget(m_stack);
        frame->setObjectName(QStringLiteral("workfrm_%1").arg(i));
        auto* l = new QVBoxLayout(frame);
        l->setContentsMargins(0, 0, 0, 0);
        Page* p = factories[static_cast<size_t>(i)] ? factories[static_cast<size_t>(i)](this) : nullptr;
        if (!p)
            p = new Page;
        p->setParent(frame);
        l->addWidget(p);
        m_stack->addWidget(frame);
        m_frames[static_cast<size_t>(i)] = frame;
        m_pages[static_cast<size_t>(i)] = p;
    }

    auto* statusRow = new QHBoxLayout;
    m_info = new QLabel(this);
    m_info->setObjectName("info_lbl");
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName("cancel_btn");
    statusRow->addWidget(m_info, 1);
    statusRow->addWidget(m_cancel);
    outer->addLayout(statusRow);

    connect(m_cancel, &QPushButton::clicked, this, [] { SetCancelRequested(true); });
    connect(&AppState::instance(), &AppState::busyChanged, this, &MainWindow::onBusyChanged);
    connect(&AppState::instance(), &AppState::statusTextChanged, m_info, &QLabel::setText);

    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer1");
    m_timer->setSingleShot(true);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timer->stop();
        if (Setting(setting::kAutoUpdate) != QLatin1String("0") && checkForUpdate)
            checkForUpdate(true);
    });
    resize(900, 640);
}

MainWindow::~MainWindow()
{
    if (g_main == this)
        g_main = nullptr;
}

MainWindow* MainWindow::instance()
{
    return g_main;
}

bool MainWindow::startup()
{
    m_starting = true;
    const bool ok = startupSteps();
    m_starting = false;
    return ok;
}

bool MainWindow::startupSteps()
{
    SetBusy(false);

    if (appFileNameCI(QStringLiteral("english.lf")).isEmpty()) {
        Fatal(QStringLiteral("Default language file (English) missing !!"));
        return false;
    }
    listlangues();
    const QString langue = Setting(setting::kLanguage).trimmed();
    if (!langue.isEmpty() && !appFileNameCI(langue + ".lf").isEmpty())
        loadlangue(langue + ".lf");
    else
        loadlangue("english.lf");
    if (LanguageTable().size() != kLanguageTextCount)
        return false; // a broken English file ended the program
    transme();

    if (!QFileInfo(AppFile("skin")).isDir()) {
        Fatal(QStringLiteral("default images missing, please reinstall Tunora"));
        return false;
    }

    // Album naming state (patterns and their samples).
    page(PageId::Album)->prepare();

    switch (LoadGenreTable(AppFile("styles.dat"))) {
    case GenreLoad::Ok:
        break;
    case GenreLoad::Short:
        ShowMessage(LanguageText(64));
        break;
    case GenreLoad::Missing:
        ShowMessage(LanguageText(63));
        for (Page* p : m_pages)
            p->genreTableMissing();
        break;
    }

    for (int i = 0; i < kPageCount; ++i) {
        m_buttons[static_cast<size_t>(i)]->setStyleSheet(QStringLiteral("background-color: rgb(255,255,255);"));
        const QString icon = AppFile(QString::fromLatin1(kIcons[i]));
        m_buttons[static_cast<size_t>(i)]->setIcon(QIcon(icon));
        m_buttons[static_cast<size_t>(i)]->setProperty("iconFile", icon);
    }

    for (PageId id : {PageId::Lister, PageId::Bulk, PageId::Burn, PageId::Setup, PageId::Playlist})
        page(id)->prepare();
    page(PageId::Album)->afterStartup();

    m_maximized = Setting(setting::kFullscreen) == QLatin1String("1");
    restorePlacement();

    m_timer->start();
    switchPage(PageId::Album);
    return true;
}

void MainWindow::switchPage(PageId id)
{
    const int index = static_cast<int>(id);
    for (int i = 0; i < kPageCount; ++i)
        m_buttons[static_cast<size_t>(i)]->setChecked(i == index);
    if (index >= 0 && index < kPageCount)
        m_stack->setCurrentIndex(index);
    m_current = index;
    if (id == PageId::About)
        playAboutSound();
}

QRect FitInside(const QRect& wanted, const QRect& available, const QSize& minimum)
{
    if (!available.isValid())
        return wanted;
    QSize size = wanted.size().boundedTo(available.size()).expandedTo(minimum);
    QRect r(wanted.topLeft(), size);
    // Moved, never shrunk further: the whole window on the screen, its top left first.
    if (r.right() > available.right())
        r.moveRight(available.right());
    if (r.bottom() > available.bottom())
        r.moveBottom(available.bottom());
    if (r.left() < available.left())
        r.moveLeft(available.left());
    if (r.top() < available.top())
        r.moveTop(available.top());
    return r;
}

void MainWindow::restorePlacement()
{
    const QStringList parts = Setting(setting::kWindowPlacement).split(',');
    QRect wanted;
    if (parts.size() == 4) {
        int v[4];
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i)
            v[i] = parts.at(i).trimmed().toInt(&ok);
        if (ok && v[2] > 0 && v[3] > 0)
            wanted = QRect(v[0], v[1], v[2], v[3]);
    }
    QScreen* screen = wanted.isValid() ? QGuiApplication::screenAt(wanted.center()) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (!wanted.isValid()) {
        // First start: the built-in size, in the middle of the screen.
        wanted = QRect(QPoint(0, 0), size());
        if (available.isValid())
            wanted.moveCenter(available.center());
    }
    const QRect r = FitInside(wanted, available, minimumSizeHint());
    move(r.topLeft());
    resize(r.size());
}

void MainWindow::savePlacement()
{
    const QRect r = (isMaximized() || isFullScreen()) ? normalGeometry() : QRect(pos(), size());
    if (!r.isValid())
        return;
    const QString text = QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    if (Setting(setting::kWindowPlacement) != text)
        SetSetting(setting::kWindowPlacement, text);
}

void MainWindow::playAboutSound()
{
    ++m_soundPlays;
    // Playback is asynchronous; a machine without a sound device simply stays silent.
    if (!m_sound) {
        m_sound = new QSoundEffect(this);
        m_sound->setSource(QUrl::fromLocalFile(AppFile("VMsound.wav")));
    }
    m_sound->stop();
    m_sound->play();
}

void MainWindow::loadlangue(const QString& fileName)
{
    QStringList& table = LanguageTable();
    // At start-up an empty table tells that no language could be loaded. Later the texts on
    // screen stay until a whole new table is read.
    if (m_starting)
        table.clear();
    QString name = fileName;
    if (name.startsWith('&'))
        name.remove(0, 1);
    const bool isEnglish = SameTextCI(name.trimmed(), QStringLiteral("english.lf"));
    const QString onDisk = appFileNameCI(name);
    QByteArray bytes;
    int err = 0;
    const bool read =
        !onDisk.isEmpty() && dorvane::io::ReadFileHead(AppFile(onDisk), kMaxLanguageFileBytes, &bytes, &err);
    const QStringList texts = read ? ParseLanguageFile(bytes) : QStringList();
    if (texts.size() == kLanguageTextCount) {
        table = texts;
        const QString shown = name.left(name.size() - 3);
        for (Page* p : m_pages)
            p->languageLoaded(shown);
        // A settings file that cannot be read is left alone at start: nothing the user chose is new.
        if (Setting(setting::kLanguage) != shown && !(m_starting && SettingsUnreadable()))
            SetSetting(setting::kLanguage, shown);
        return;
    }
    if (!m_starting && (!read || isEnglish)) {
        // A language file that vanished or broke while the program runs never ends it.
        ShowMessage(QStringLiteral("The language file %1 cannot be read; the texts shown stay as they are.")
                        .arg(AppFile(onDisk.isEmpty() ? name : onDisk)));
        return;
    }
    if (!isEnglish) {
        // A chosen language whose file vanished falls back to English instead of blank captions.
        loadlangue(QStringLiteral("english.lf"));
        return;
    }
    if (!read)
        Fatal(QStringLiteral("Default language file (English) missing !!"));
    else
        Fatal(QStringLiteral("Language file error, you must reinstall ") + QString::fromLatin1(product::kName) +
              QStringLiteral(" and contact technical support"));
}

void MainWindow::listlangues()
{
    // Listed by name, as users of the language list expect, rather than in directory order.
    const QStringList files = QDir(AppFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QString& f : files) {
        if (f.size() <= 3 || !f.endsWith(QLatin1String(".lf"), Qt::CaseInsensitive))
            continue;
        if (f.trimmed().toLower() == QLatin1String("english.lf"))
            continue;
        names << f.left(f.size() - 3);
    }
    for (Page* p : m_pages)
        p->languagesListed(names);
}

void MainWindow::transme()
{
    for (int i = 0; i < kPageCount; ++i)
        m_buttons[static_cast<size_t>(i)]->setText(doubledAmpersands(LanguageText(kCaptionTexts[i])));
    for (PageId id : {PageId::About, PageId::Album, PageId::Lister, PageId::Bulk, PageId::Burn, PageId::Setup,
                      PageId::Playlist})
        page(id)->transme();
    m_cancel->setText(LanguageText(32));
}

void MainWindow::onBusyChanged(bool busy)
{
    for (QToolButton* b : m_buttons)
        b->setEnabled(!busy);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (IsBusy()) {
        event->ignore();
        return;
    }
    if (closeConnections)
        closeConnections();
    savePlacement();
    event->accept();
    // The program ends with its main window: every other window of it goes too.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
}

} // namespace tunora
