#include "folders/FileListPanel.h"

#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "folders/Choixrecoldir.h"
#include "folders/FolderWalk.h"
#include "shell/Dialogs.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tunora {

FileListPanel::FileListPanel(const FileListPanelNames& names, ChooserMode walkMode, QWidget* parent)
    : QWidget(parent), m_mode(walkMode), m_filter(MediaFileFilter(QStringLiteral("Media files")))
{
    // No margins: the four buttons line up with the page's own as one column.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto button = [&](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        column->addWidget(b);
        return b;
    };
    m_add = button(names.add);
    m_addFolder = button(names.addFolder);
    m_delete = button(names.remove);
    m_reset = button(names.reset);
    connect(m_add, &QPushButton::clicked, this, &FileListPanel::addFiles);
    connect(m_addFolder, &QPushButton::clicked, this, &FileListPanel::addFolder);
    connect(m_delete, &QPushButton::clicked, this, &FileListPanel::deleteClicked);
    connect(m_reset, &QPushButton::clicked, this, &FileListPanel::resetClicked);
}

void FileListPanel::transme()
{
    auto caption = [](int n) { return LanguageText(n).replace('&', QLatin1String("&&")); };
    m_add->setText(caption(94));
    m_addFolder->setText(caption(95));
    m_delete->setText(caption(14));
    m_reset->setText(caption(96));
}

void FileListPanel::setButtonsEnabled(bool enabled)
{
    for (QPushButton* b : {m_add, m_addFolder, m_delete, m_reset})
        b->setEnabled(enabled);
}

void FileListPanel::addFiles()
{
    QString dir = Setting(setting::kLastFolder).trimmed();
    if (dir.isEmpty() || !dorvane::io::IsFolder(dir))
        dir = AppFolder();
    const QStringList chosen = GetOpenFileNames(window(), QString::fromLatin1(product::kName), dir, m_filter);
    QString lastDir;
    const QStringList files = takeChosen ? takeChosen(chosen, &lastDir) : TakeExistingFiles(chosen, &lastDir);
    if (!lastDir.isEmpty())
        SetSetting(setting::kLastFolder, lastDir);
    Q_EMIT filesChosen(files, !chosen.isEmpty());
}

void FileListPanel::addFolder()
{
    Q_EMIT folderWalked(ChooseAndWalk(window(), m_mode, entries ? entries() : QStringList()));
}

void AddPathItem(QListWidget* list, const QString& path)
{
    (new QListWidgetItem(dorvane::io::DisplayName(path), list))->setData(Qt::UserRole, path);
}

QString PathOfItem(const QListWidgetItem* item)
{
    const QVariant path = item->data(Qt::UserRole);
    return path.isValid() ? path.toString() : item->text();
}

} // namespace tunora
