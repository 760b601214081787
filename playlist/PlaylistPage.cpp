#include "playlist/PlaylistPage.h"

#include "album/Choixrecoldir.h"
#include "playlist/M3u.h"
#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tunora {

namespace {
QString caption(int n)
{
    return LanguageText(n).replace('&', QLatin1String("&&"));
}

// The file dialog shows the name and matches the patterns of the last parentheses.
const char* const kMediaFilter = "Media files (*.mp3; *.ogg; *.vqf; *.ape; *.mpc; *.wma; *.wav) "
                                 "(*.mp3 *.ogg *.vqf *.ape *.mpc *.wma *.wav)";
} // namespace

PlaylistPage::PlaylistPage(QWidget* parent) : Page(parent)
{
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName("pls_lst");
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(m_list, 1);

    auto* nameRow = new QHBoxLayout;
    m_nameLbl = new QLabel(this);
    m_nameLbl->setObjectName("pls_name_lbl");
    m_name = new QLineEdit(this);
    m_name->setObjectName("pls_name_txt");
    nameRow->addWidget(m_nameLbl);
    nameRow->addWidget(m_name, 1);
    left->addLayout(nameRow);

    m_outputFrame = new QGroupBox(this);
    m_outputFrame->setObjectName("pls_output_frm");
    auto* outputRow = new QHBoxLayout(m_outputFrame);
    m_output = new QLineEdit(m_outputFrame);
    m_output->setObjectName("pls_output_txt");
    m_outputBtn = new QPushButton(m_outputFrame);
    m_outputBtn->setObjectName("pls_output_btn");
    outputRow->addWidget(m_output, 1);
    outputRow->addWidget(m_outputBtn);
    left->addWidget(m_outputFrame);
    layout->addLayout(left, 1);

    auto* buttons = new QVBoxLayout;
    auto button = [this, buttons](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        buttons->addWidget(b);
        return b;
    };
    m_add = button("pls_add_btn");
    m_addFolder = button("pls_addfolder_btn");
    m_delete = button("pls_delete_btn");
    m_reset = button("pls_reset_btn");
    buttons->addStretch(1);
    m_go = button("pls_go_btn");
    layout->addLayout(buttons);

    connect(m_add, &QPushButton::clicked, this, &PlaylistPage::addFiles);
    connect(m_addFolder, &QPushButton::clicked, this, &PlaylistPage::addFolder);
    connect(m_delete, &QPushButton::clicked, this, &PlaylistPage::deleteSelected);
    connect(m_reset, &QPushButton::clicked, this, &PlaylistPage::reset);
    connect(m_outputBtn, &QPushButton::clicked, this, &PlaylistPage::chooseOutputFolder);
    connect(m_go, &QPushButton::clicked, this, [this] { writePlaylist(); });
    connect(m_name, &QLineEdit::textChanged, this, &PlaylistPage::refreshGo);
    connect(m_output, &QLineEdit::textChanged, this, &PlaylistPage::refreshGo);
}

void PlaylistPage::prepare()
{
    refreshGo();
}

void PlaylistPage::transme()
{
    m_go->setText(caption(97));
    m_add->setText(caption(94));
    m_addFolder->setText(caption(95));
    m_delete->setText(caption(14));
    m_reset->setText(caption(96));
    m_outputFrame->setTitle(caption(105));
    m_outputBtn->setText(caption(6));
    m_nameLbl->setText(LanguageText(117));
}

QStringList PlaylistPage::entries() const
{
    QStringList out;
    out.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

bool PlaylistPage::canWrite() const
{
    return IsPlaylistName(m_name->text()) && m_list->count() > 0 && QFileInfo(m_output->text()).isDir();
}

void PlaylistPage::refreshGo()
{
    m_go->setEnabled(canWrite());
}

void PlaylistPage::addFiles()
{
    QString dir = Setting(setting::kLastFolder).trimmed();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = AppFolder();
    const QStringList chosen = GetOpenFileNames(MainWindow::instance(), QString::fromLatin1(product::kName), dir,
                                                QString::fromLatin1(kMediaFilter));
    if (chosen.size() == 1) {
        const QString& path = chosen.first();
        if (QFileInfo(path.trimmed()).isFile()) {
            m_list->addItem(path);
            // One file: the folder is remembered with its final "/".
            SetSetting(setting::kLastFolder, (QFileInfo(path.trimmed()).absolutePath() + '/').trimmed());
        }
    } else if (chosen.size() > 1) {
        for (const QString& path : chosen)
            if (!path.isEmpty() && QFileInfo(path).isFile())
                m_list->addItem(path);
        SetSetting(setting::kLastFolder, QFileInfo(chosen.first()).absolutePath().trimmed());
    }
    refreshGo();
}

void PlaylistPage::addFolder()
{
    const QStringList found = ChooseAndWalk(MainWindow::instance(), ChooserMode::PlaylistAddFolder, entries());
    m_list->addItems(found);
    refreshGo();
}

void PlaylistPage::deleteSelected()
{
    for (int i = m_list->count() - 1; i >= 0; --i)
        if (m_list->item(i)->isSelected())
            delete m_list->takeItem(i);
    refreshGo();
}

void PlaylistPage::reset()
{
    m_list->clear();
    refreshGo();
}

void PlaylistPage::chooseOutputFolder()
{
    QString folder;
    // The chooser hands the root over as "", which names no folder here.
    if (ChooseFolder(MainWindow::instance(), ChooserMode::PlaylistOutput, &folder))
        m_output->setText(folder.isEmpty() ? QStringLiteral("/") : folder);
    refreshGo();
}

void PlaylistPage::setButtonsEnabled(bool enabled)
{
    for (QPushButton* b : {m_go, m_add, m_addFolder, m_delete, m_reset})
        b->setEnabled(enabled);
}

bool PlaylistPage::writePlaylist()
{
    // The folder may have gone since Go was enabled.
    refreshGo();
    if (!canWrite())
        return false;
    SetCancelRequested(false);
    const QString folder = m_output->text();
    const QString path = PlaylistPath(folder, m_name->text());
    const bool replacing = QFileInfo::exists(path);
    if (replacing && !AskYesNo(LanguageText(118)))
        return false;

    setButtonsEnabled(false);
    QByteArray bytes;
    QStringList leftOut;
    const bool complete = BuildM3u(
        entries(), folder, &bytes,
        [](const QString& file) {
            SetStatusText(file);
            return !CancelRequested();
        },
        &leftOut);
    if (!complete) {
        // The user agreed to give up the old playlist; a stopped run leaves none.
        if (replacing)
            QFile::remove(path);
        ReportCancelled();
        setButtonsEnabled(true);
        return false;
    }
    // The old playlist goes only once the new one is complete on disk; a file that appeared
    // since the question is never replaced unasked.
    QString error;
    if (!WriteFileAtomically(path, bytes, &error, replacing)) {
        ShowMessage(QStringLiteral("The playlist could not be written to \"%1\": %2").arg(path, error));
        setButtonsEnabled(true);
        return false;
    }
    setButtonsEnabled(true);
    if (!leftOut.isEmpty())
        ShowMessage(LeftOutMessage(leftOut));
    ShowMessage(LanguageText(51));
    return true;
}

} // namespace tunora
