#include "playlist/PlaylistPage.h"

#include "dorvane/FileIo.h"
#include "folders/Choixrecoldir.h"
#include "folders/FileListPanel.h"
#include "playlist/M3u.h"
#include "shell/Dialogs.h"
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
    // Duplicates are allowed: a playlist may play a file twice.
    m_files = new FileListPanel({"pls_add_btn", "pls_addfolder_btn", "pls_delete_btn", "pls_reset_btn"},
                                ChooserMode::PlaylistAddFolder, this);
    m_files->entries = [this] { return entries(); };
    buttons->addWidget(m_files);
    buttons->addStretch(1);
    m_go = button("pls_go_btn");
    layout->addLayout(buttons);

    connect(m_files, &FileListPanel::filesChosen, this, [this](const QStringList& files) {
        addPaths(files);
        refreshGo();
    });
    connect(m_files, &FileListPanel::folderWalked, this, [this](const QStringList& files) {
        addPaths(files);
        refreshGo();
    });
    connect(m_files, &FileListPanel::deleteClicked, this, &PlaylistPage::deleteSelected);
    connect(m_files, &FileListPanel::resetClicked, this, &PlaylistPage::reset);
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
    m_files->transme();
    m_outputFrame->setTitle(caption(105));
    m_outputBtn->setText(caption(6));
    m_nameLbl->setText(LanguageText(117));
}

QStringList PlaylistPage::entries() const
{
    QStringList out;
    out.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        out << PathOfItem(m_list->item(i));
    return out;
}

void PlaylistPage::addPaths(const QStringList& paths)
{
    for (const QString& p : paths)
        AddPathItem(m_list, p);
}

bool PlaylistPage::canWrite() const
{
    return IsPlaylistName(m_name->text()) && m_list->count() > 0 && dorvane::io::IsFolder(m_output->text());
}

void PlaylistPage::refreshGo()
{
    m_go->setEnabled(canWrite());
}

void PlaylistPage::addFiles()
{
    m_files->addFiles();
}

void PlaylistPage::addFolder()
{
    m_files->addFolder();
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
    if (ChooseFolder(window(), ChooserMode::PlaylistOutput, &folder))
        m_output->setText(folder.isEmpty() ? QStringLiteral("/") : folder);
    refreshGo();
}

void PlaylistPage::setButtonsEnabled(bool enabled)
{
    m_go->setEnabled(enabled);
    m_files->setButtonsEnabled(enabled);
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
    const bool replacing = dorvane::io::Exists(path);
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
