#include "folders/Choixrecoldir.h"

#include "folders/AudioFormats.h"
#include "folders/FolderWalk.h"
#include "dorvane/FileIo.h"
#include "shell/Dialogs.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tunora {

namespace {

// What each mode shows beside the folder tree, and its default size (the form's, in pixels).
struct ModeLayout {
    int width, height;
    bool recurse, preview;
};

bool validMode(ChooserMode mode)
{
    return mode >= ChooserMode::AlbumFolder && mode <= ChooserMode::BurnAddFolder;
}

ModeLayout layoutFor(ChooserMode mode)
{
    switch (mode) {
    case ChooserMode::AlbumFolder:
        return {531, 317, false, true};
    case ChooserMode::BulkAddFolder:
    case ChooserMode::PlaylistAddFolder:
    case ChooserMode::BurnAddFolder:
        return {288, 317, true, false};
    default:
        return {288, 317, false, false};
    }
}

QString unescapeMountField(const QByteArray& field)
{
    // /proc/self/mounts writes blanks, tabs, newlines and backslashes as octal escapes.
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(v));
                i += 3;
                continue;
            }
        }
        out.append(field.at(i));
    }
    return dorvane::io::DecodeName(out);
}

bool isPseudoFileSystem(const QByteArray& type)
{
    static const char* const kTypes[] = {"proc",     "sysfs",     "cgroup",     "cgroup2", "devpts",
                                         "mqueue",   "debugfs",   "tracefs",    "securityfs", "pstore",
                                         "bpf",      "configfs",  "fusectl",    "hugetlbfs", "autofs",
                                         "binfmt_misc", "devtmpfs", "nsfs",     "rpc_pipefs", "efivarfs",
                                         "selinuxfs", "ramfs"};
    for (const char* t : kTypes)
        if (type == t)
            return true;
    return false;
}

bool underSystemFolder(const QString& mp)
{
    for (const char* p : {"/proc", "/sys", "/dev", "/run"}) {
        const QString root = QString::fromLatin1(p);
        if (mp == root || mp.startsWith(root + '/'))
            return !mp.startsWith(QStringLiteral("/run/media/"));
    }
    return false;
}

} // namespace

QStringList MountPoints()
{
    QStringList out {QStringLiteral("/")};
    QFile f(QStringLiteral("/proc/self/mounts"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3)
            continue;
        const QString mp = unescapeMountField(fields.at(1));
        if (mp.isEmpty() || out.contains(mp) || isPseudoFileSystem(fields.at(2)) || underSystemFolder(mp))
            continue;
        if (!dorvane::io::IsFolder(mp)) // bind-mounted single files
            continue;
        out.append(mp);
    }
    return out;
}

Choixrecoldir::Choixrecoldir(QWidget* parent) : QDialog(parent)
{
    setObjectName("Choixrecoldir");
    setModal(true);

    // A folder typed or pasted goes to the tree on Enter (and is taken by OK).
    m_path = new QLineEdit(this);
    m_path->setObjectName("dir_txt");

    m_driveFrm = new QGroupBox(this);
    m_driveFrm->setObjectName("drive_frm");
    m_drive = new QComboBox(m_driveFrm);
    m_drive->setObjectName("Drive1");
    (new QVBoxLayout(m_driveFrm))->addWidget(m_drive);

    m_folderFrm = new QGroupBox(this);
    m_folderFrm->setObjectName("folder_frm");
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QStringLiteral("/"));
    m_tree = new QTreeView(m_folderFrm);
    m_tree->setObjectName("Dir1");
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int c = 1; c < m_model->columnCount(); ++c)
        m_tree->hideColumn(c);
    (new QVBoxLayout(m_folderFrm))->addWidget(m_tree);

    m_formatFrm = new QGroupBox(this);
    m_formatFrm->setObjectName("format_frm");
    m_format_cmb = new QComboBox(m_formatFrm);
    m_format_cmb->setObjectName("format_cmb");
    (new QVBoxLayout(m_formatFrm))->addWidget(m_format_cmb);

    m_fileFrm = new QGroupBox(this);
    m_fileFrm->setObjectName("file_frm");
    m_files = new QListWidget(m_fileFrm);
    m_files->setObjectName("file_lst");
    (new QVBoxLayout(m_fileFrm))->addWidget(m_files);

    m_recurseFrm = new QGroupBox(this);
    m_recurseFrm->setObjectName("recurse_frm");
    m_recurse = new QCheckBox(m_recurseFrm);
    m_recurse->setObjectName("recurse_chk");
    (new QVBoxLayout(m_recurseFrm))->addWidget(m_recurse);

    m_ok = new QPushButton(this);
    m_ok->setObjectName("ok_btn");
    m_ok->setDefault(true);
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName("cancel_btn");

    // Laid out, not placed: captions of any language and any font size fit.
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(m_path);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(m_driveFrm);
    left->addWidget(m_folderFrm, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(m_formatFrm);
    right->addWidget(m_fileFrm, 1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    outer->addLayout(columns, 1);
    outer->addWidget(m_recurseFrm);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    outer->addLayout(buttons);

    // Opening: captions, the owner's icon, mode 1, the formats, the last folder.
    transme();
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    m_drive->addItems(MountPoints());
    m_format_cmb->addItems(AudioFormatNames());
    m_format_cmb->setCurrentIndex(0);

    connect(m_ok, &QPushButton::clicked, this, &Choixrecoldir::onOk);
    connect(m_cancel, &QPushButton::clicked, this, &Choixrecoldir::onCancel);
    connect(m_drive, &QComboBox::activated, this, &Choixrecoldir::onDriveChosen);
    connect(m_format_cmb, &QComboBox::currentIndexChanged, this, &Choixrecoldir::RefreshList);
    connect(m_format_cmb, &QComboBox::activated, this, &Choixrecoldir::RefreshList);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid())
                    return;
                m_dir = m_model->filePath(current);
                m_path->setText(m_dir);
                takeFolderFormat();
                RefreshList();
            });
    m_path->installEventFilter(this);

    const QString last = Setting(setting::kLastFolder).trimmed();
    if (last.isEmpty() || !setDirPath(last))
        setDirPath(QDir::homePath());
    SetMode(ChooserMode::AlbumFolder);
}

Choixrecoldir::~Choixrecoldir() = default;

void Choixrecoldir::transme()
{
    setWindowTitle(LanguageText(5));
    m_ok->setText(LanguageText(65));
    m_cancel->setText(LanguageText(32));
    m_driveFrm->setTitle(LanguageText(100));
    m_formatFrm->setTitle(LanguageText(101));
    m_fileFrm->setTitle(LanguageText(11));
    m_folderFrm->setTitle(LanguageText(102));
    m_recurseFrm->setTitle(LanguageText(4));
    m_recurse->setText(LanguageText(103));
}

void Choixrecoldir::SetMode(ChooserMode mode)
{
    m_mode = mode;
    if (!validMode(mode))
        return;
    const ModeLayout l = layoutFor(mode);
    m_formatFrm->setVisible(l.preview);
    m_fileFrm->setVisible(l.preview);
    m_recurseFrm->setVisible(l.recurse);
    // The form's size, or more when the captions need it.
    if (QLayout* lay = layout())
        lay->activate();
    resize(QSize(l.width, l.height).expandedTo(minimumSizeHint()));
}

bool Choixrecoldir::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the path field moves the tree there; it does not press OK as well.
    if (watched == m_path && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            takeTypedPath();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool Choixrecoldir::takeTypedPath()
{
    QString typed = m_path->text().trimmed();
    if (typed == m_dir)
        return true;
    if (typed.startsWith(QLatin1String("~/")) || typed == QLatin1String("~"))
        typed = QDir::homePath() + typed.mid(1);
    if (setDirPath(typed))
        return true;
    // Not a folder: the user hears why, and the shown folder stays.
    const bool exists = !typed.isEmpty() && dorvane::io::Exists(typed);
    ShowMessage(typed + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(exists ? ENOTDIR : ENOENT)));
    m_path->setText(m_dir);
    return false;
}

QStringList Choixrecoldir::drives() const
{
    QStringList out;
    for (int i = 0; i < m_drive->count(); ++i)
        out.append(m_drive->itemText(i));
    return out;
}

void Choixrecoldir::selectDriveFor(const QString& path)
{
    int best = -1, bestLen = -1;
    for (int i = 0; i < m_drive->count(); ++i) {
        const QString mp = m_drive->itemText(i);
        const bool contains = mp == QLatin1String("/") || path == mp || path.startsWith(mp + '/');
        if (contains && mp.size() > bestLen) {
            best = i;
            bestLen = static_cast<int>(mp.size());
        }
    }
    if (best >= 0)
        m_drive->setCurrentIndex(best);
}

bool Choixrecoldir::setDirPath(const QString& path)
{
    if (path.isEmpty() || !dorvane::io::IsFolder(path))
        return false;
    QString p = dorvane::io::AbsolutePath(path);
    m_dir = p;
    m_path->setText(p);
    const QModelIndex idx = m_model->index(p);
    if (idx.isValid()) {
        QSignalBlocker block(m_tree->selectionModel());
        m_tree->setCurrentIndex(idx);
        m_tree->expand(idx);
        m_tree->scrollTo(idx);
    }
    selectDriveFor(p);
    takeFolderFormat();
    RefreshList();
    return true;
}

void Choixrecoldir::takeFolderFormat()
{
    const QString format = MostCommonFormat(m_dir);
    if (format.isEmpty() || !m_formatFrm->isVisibleTo(this))
        return;
    const QSignalBlocker block(m_format_cmb); // the caller refreshes the list once
    m_format_cmb->setCurrentText(format);
}

void Choixrecoldir::onDriveChosen(int index)
{
    const QString root = m_drive->itemText(index);
    // Opened as the walk opens folders: a mount that cannot answer is not waited on.
    const int fd = ::open(dorvane::io::EncodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ShowMessage(why);
        selectDriveFor(m_dir);
        return;
    }
    ::close(fd);
    setDirPath(root);
}

void Choixrecoldir::RefreshList()
{
    m_files->clear();
    if (m_dir.isEmpty())
        return;
    QStringList names = ListFolderFiles(m_dir, m_format_cmb->currentText());
    // The preview reads best in name order, whatever order the file system keeps.
    names.sort(Qt::CaseInsensitive);
    for (const QString& n : std::as_const(names))
        m_files->addItem(dorvane::io::DisplayName(n)); // a preview only: nothing reads these back
}

void Choixrecoldir::onOk()
{
    if (m_walking)
        return;
    // A path typed without Enter counts too.
    if (!takeTypedPath())
        return;
    // No more input while the choice is carried out; cancel stays live to stop a walk.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != m_cancel)
            w->setEnabled(false);
    SetSetting(setting::kLastFolder, m_dir);

    switch (m_mode) {
    case ChooserMode::AlbumFolder:
        m_folder = DeliveredFolder(m_dir);
        m_format = m_format_cmb->currentText();
        break;
    case ChooserMode::ListerInput:
    case ChooserMode::ListerOutput:
    case ChooserMode::SetupPlaylistFolder:
    case ChooserMode::PlaylistOutput:
        m_folder = DeliveredFolder(m_dir);
        break;
    case ChooserMode::BulkAddFolder:
    case ChooserMode::PlaylistAddFolder:
    case ChooserMode::BurnAddFolder: {
        m_walking = true;
        m_stopWalk = false;
        // The caption shows where the walk is; the window stays live and cancel is heard.
        const WalkResult r = WalkAudioFolder(m_dir, m_recurse->isChecked(), [this](const QString& folder) {
            setWindowTitle(folder);
            QCoreApplication::processEvents(); // the dialog keeps answering while it walks
            return !m_stopWalk;
        });
        m_walking = false;
        m_found = r.files;
        m_walkCancelled = r.cancelled;
        break;
    }
    default:
        break;
    }
    accept();
}

void Choixrecoldir::onCancel()
{
    if (m_walking) {
        m_stopWalk = true; // the dialog's own: the program's cancel belongs to the pages
        return;
    }
    QDialog::reject();
}

void Choixrecoldir::reject()
{
    // Escape and the close box stop a running walk instead of closing under it.
    onCancel();
}

bool ChooseFolder(QWidget* parent, ChooserMode mode, QString* folder, QString* format)
{
    Choixrecoldir d(parent);
    d.SetMode(mode);
    if (ExecDialog(&d) != QDialog::Accepted)
        return false;
    if (folder)
        *folder = d.deliveredFolder();
    if (format)
        *format = d.deliveredFormat();
    return true;
}

QStringList ChooseAndWalk(QWidget* parent, ChooserMode mode, const QStringList& existing)
{
    Choixrecoldir d(parent);
    d.SetMode(mode);
    if (ExecDialog(&d) != QDialog::Accepted)
        return {};
    return ApplyWalkDuplicateRule(mode, d.foundFiles(), existing);
}

} // namespace tunora
