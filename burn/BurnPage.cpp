#include "burn/BurnPage.h"

#include "burn/BurnTexts.h"
#include "dorvane/Dorvanectrl.h"
#include "dorvane/FileIo.h"
#include "folders/FileListPanel.h"
#include "shell/Dialogs.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <unistd.h>
#include <vector>

namespace tunora {

namespace {
constexpr int kWaitPollMs = 100;
} // namespace

void BurnListWidget::mousePressEvent(QMouseEvent* event)
{
    QListWidget::mousePressEvent(event);
    Q_EMIT mouseDown();
}

void BurnListWidget::mouseMoveEvent(QMouseEvent* event)
{
    QListWidget::mouseMoveEvent(event);
    Q_EMIT mouseMove(event->buttons());
}

void BurnListWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    Q_EMIT mouseUp();
}

BurnPage::BurnPage(QWidget* parent) : Page(parent)
{
    auto* outer = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    m_list = new BurnListWidget(this);
    m_list->setObjectName("burn_lst");
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(m_list, 1);

    m_progFrame = new QGroupBox(this);
    m_progFrame->setObjectName("burn_prog_frm");
    auto* pf = new QVBoxLayout(m_progFrame);
    m_progHst = new QFrame(m_progFrame);
    m_progHst->setObjectName("burn_prog_hst");
    m_progHst->setFrameShape(QFrame::Box);
    m_progHst->setFixedHeight(18);
    m_progBar = new QFrame(m_progHst);
    m_progBar->setObjectName("burn_prog_bar");
    m_progBar->setAutoFillBackground(true);
    m_progBar->setStyleSheet(QStringLiteral("background-color: rgb(0,0,160);"));
    m_progBar->setGeometry(0, 0, 0, 18);
    m_progBar->hide();
    m_time = new QLabel(m_progFrame);
    m_time->setObjectName("burn_time_lbl");
    pf->addWidget(m_progHst);
    pf->addWidget(m_time);
    left->addWidget(m_progFrame);
    m_burner = new QLabel(this);
    m_burner->setObjectName("burn_burner_lbl");
    m_burner->setWordWrap(true);
    left->addWidget(m_burner);
    outer->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    auto button = [&](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        right->addWidget(b);
        return b;
    };
    // The dialog's answer and the walk go to the staging list first, each file only if the
    // list does not hold it yet (trimmed, letter case ignored).
    m_files = new FileListPanel({"burn_add_btn", "burn_addfolder_btn", "burn_delete_btn", "burn_reset_btn"},
                                ChooserMode::BurnAddFolder, this);
    m_files->takeChosen = TakeChosenFiles;
    m_files->entries = [this] { return entries(); };
    right->addWidget(m_files);
    m_up = button("burn_up_btn");
    m_down = button("burn_down_btn");
    right->addStretch(1);
    m_burn = button("burn_btn");
    m_c2cd = new QToolButton(this);
    m_c2cd->setObjectName("c2cd_btn");
    m_c2cd->setCheckable(true);
    m_c2cd->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_c2cd->setIconSize(QSize(88, 31));
    right->addWidget(m_c2cd);
    outer->addLayout(right);

    connect(m_files, &FileListPanel::filesChosen, this, [this](const QStringList& files, bool answered) {
        if (answered)
            m_tmp = files;
        // Also after a cancelled dialog: the rest of a cancelled import goes on.
        Import();
    });
    connect(m_files, &FileListPanel::folderWalked, this, [this](const QStringList& files) {
        m_tmp = files;
        Import();
    });
    connect(m_files, &FileListPanel::deleteClicked, this, &BurnPage::DeleteSelected);
    connect(m_files, &FileListPanel::resetClicked, this, &BurnPage::Reset);
    connect(m_up, &QPushButton::clicked, this, &BurnPage::MoveUp);
    connect(m_down, &QPushButton::clicked, this, &BurnPage::MoveDown);
    connect(m_burn, &QPushButton::clicked, this, &BurnPage::HandOff);
    connect(m_c2cd, &QToolButton::clicked, this, [this] {
        m_c2cd->setChecked(true);
        OpenBurnerSite();
        m_c2cd->setChecked(false);
    });
    connect(m_list, &BurnListWidget::mouseDown, this, &BurnPage::onMouseDown);
    connect(m_list, &BurnListWidget::mouseMove, this, &BurnPage::onMouseMove);
    connect(m_list, &BurnListWidget::mouseUp, this, &BurnPage::onMouseUp);
}

void BurnPage::prepare()
{
    // Nothing is asked at start-up: a missing burner matters only when the user burns.
    m_total = 0;
    ShowTime();
    ShowBurner();
}

void BurnPage::ShowBurner()
{
    const Burner b = FindBurner();
    m_burner->setText(b.kind == BurnerKind::None ? burntext::NoBurner()
                                                 : burntext::BurnerInUse(BurnerName(b.kind), b.program));
}

void BurnPage::showEvent(QShowEvent* event)
{
    Page::showEvent(event);
    ShowBurner();
}

void BurnPage::transme()
{
    m_files->transme();
    m_up->setText(LanguageText(12));
    m_down->setText(LanguageText(13));
    m_burn->setText(LanguageText(170));
    m_progFrame->setTitle(LanguageText(171));
    m_c2cd->setIcon(QIcon(AppFile(QStringLiteral("skin/c2dvd.gif"))));
    m_c2cd->setText(LanguageText(2));
    if (m_total >= 0)
        m_time->setText(BurnTimeText(m_total));
    ShowBurner();
}

QStringList BurnPage::entries() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << PathOfItem(m_list->item(i));
    return out;
}

void BurnPage::EnablePage(bool enabled)
{
    m_files->setButtonsEnabled(enabled);
    for (QPushButton* b : {m_up, m_down, m_burn})
        b->setEnabled(enabled);
    SetBusy(!enabled);
}

void BurnPage::ShowTime()
{
    if (m_total < 0)
        return;
    m_time->setText(BurnTimeText(m_total));
    ShowProgress(m_progBar, m_progHst, BurnPercent(m_total));
}

void BurnPage::Import()
{
    SetCancelRequested(false);
    EnablePage(false);
    while (!m_tmp.isEmpty()) {
        if (CancelRequested()) {
            ReportCancelled();
            EnablePage(true);
            return;
        }
        double ms = 0;
        if (m_readTime(m_tmp.first(), ms)) {
            AddPathItem(m_list, m_tmp.first());
            m_total += ms;
        }
        ShowTime();
        m_tmp.removeFirst();
    }
    EnablePage(true);
}

void BurnPage::Recount()
{
    m_total = 0;
    ShowProgress(m_progBar, m_progHst, 0);
    int i = 0;
    while (i < m_list->count()) {
        double ms = 0;
        if (!m_readTime(PathOfItem(m_list->item(i)), ms)) {
            delete m_list->takeItem(i);
            ShowTime();
            continue;
        }
        m_total += ms;
        ShowTime();
        ++i;
    }
}

void BurnPage::AddFiles()
{
    m_files->addFiles();
}

void BurnPage::AddFolder()
{
    m_files->addFolder();
}

void BurnPage::DeleteSelected()
{
    bool recount = false;
    for (int i = m_list->count() - 1; i >= 0; --i) {
        QListWidgetItem* item = m_list->item(i);
        if (!item->isSelected())
            continue;
        double ms = 0;
        if (m_readTime(PathOfItem(item), ms))
            m_total -= ms;
        else
            recount = true;
        delete m_list->takeItem(i);
        // Subtracting floating times can leave a crumb below zero, which would freeze the display.
        if (m_list->count() == 0)
            m_total = 0;
        ShowTime();
    }
    if (recount)
        Recount();
}

void BurnPage::Reset()
{
    m_list->clear();
    m_total = 0;
    ShowTime();
}

static QList<bool> selectionFlags(const QListWidget* list)
{
    QList<bool> flags;
    for (int i = 0; i < list->count(); ++i)
        flags << list->item(i)->isSelected();
    return flags;
}

void BurnPage::swapRows(int a, int b)
{
    QListWidgetItem* ia = m_list->item(a);
    QListWidgetItem* ib = m_list->item(b);
    const QString t = ia->text();
    const QVariant path = ia->data(Qt::UserRole);
    ia->setText(ib->text());
    ia->setData(Qt::UserRole, ib->data(Qt::UserRole));
    ib->setText(t);
    ib->setData(Qt::UserRole, path);
}

void BurnPage::MoveUp()
{
    const int row = MoveUpRow(selectionFlags(m_list));
    if (row < 0)
        return;
    swapRows(row, row - 1);
    m_list->item(row)->setSelected(false);
    m_list->setCurrentRow(row - 1, QItemSelectionModel::NoUpdate);
    m_list->item(row - 1)->setSelected(true);
}

void BurnPage::MoveDown()
{
    const int row = MoveDownRow(selectionFlags(m_list));
    if (row < 0)
        return;
    swapRows(row, row + 1);
    m_list->item(row)->setSelected(false);
    m_list->setCurrentRow(row + 1, QItemSelectionModel::NoUpdate);
    m_list->item(row + 1)->setSelected(true);
}

void BurnPage::onMouseDown()
{
    m_dragIndex = m_list->currentRow();
}

void BurnPage::onMouseMove(Qt::MouseButtons buttons)
{
    if (!(buttons & Qt::LeftButton) || !m_up->isEnabled())
        return;
    const int current = m_list->currentRow();
    if (m_dragIndex < 0 || m_dragIndex >= m_list->count() || current < 0 || m_dragIndex == current)
        return;
    swapRows(m_dragIndex, current);
    m_list->item(m_dragIndex)->setSelected(false);
    m_dragIndex = current;
    m_list->item(current)->setSelected(true);
}

void BurnPage::onMouseUp()
{
    m_dragIndex = -1;
}

void BurnPage::OpenBurnerSite()
{
    QString u = QString::fromLatin1(kBurnerSite);
    bool newWindow = true;
    try {
        toolctl().OpenURL(0, u, newWindow);
    } catch (const dorvane::RuntimeError&) {
        // No browser to open: nothing more to do from here.
    }
}

void BurnPage::HandOff()
{
    SetCancelRequested(false);
    EnablePage(false);
    const Burner found = FindBurner();
    ShowBurner();
    if (found.kind == BurnerKind::None) {
        EnablePage(true);
        if (AskYesNo(LanguageText(173)))
            OpenBurnerSite();
        return;
    }
    if (ExceedsCdCapacity(m_total) && !AskYesNo(LanguageText(174))) {
        EnablePage(true);
        return;
    }
    QStringList leftOut;
    const QStringList files = BurnableEntries(entries(), &leftOut);
    if (!leftOut.isEmpty())
        ShowMessage(burntext::LeftOutLineBreaks(leftOut));
    const QString listPath = BurnListPath();
    QString error;
    // Only CopyToCD reads the list file; the others take the files as arguments.
    if (found.kind == BurnerKind::CopyToCd && !WriteFileAtomically(listPath, BurnListFileContents(files), &error)) {
        // A burner started on an old list would burn the wrong compilation.
        ShowMessage(listPath + QStringLiteral(": ") + error);
        EnablePage(true);
        return;
    }
    const BurnerCommand cmd = BurnerCommandFor(found, listPath, files);
    auto* burner = new QProcess(this);
    burner->setProcessChannelMode(QProcess::ForwardedChannels);
    burner->setInputChannelMode(QProcess::ForwardedInputChannel);
    // QProcess would hand the files over as UTF-8, naming other files when a name is not: the
    // child starts the burner itself with each argument's own bytes.
    std::vector<QByteArray> raw {dorvane::io::EncodeName(cmd.program)};
    for (const QString& a : cmd.arguments)
        raw.push_back(dorvane::io::EncodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : raw)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    burner->setChildProcessModifier([&argv] { ::execv(argv[0], argv.data()); });
    burner->start(cmd.program, cmd.arguments);
    if (!burner->waitForStarted()) {
        delete burner;
        EnablePage(true);
        if (AskYesNo(LanguageText(173)))
            OpenBurnerSite();
        return;
    }
    while (true) {
        YieldEvents();
        if (burner->state() == QProcess::NotRunning || CancelRequested())
            break;
        WaitMs(kWaitPollMs);
        YieldEvents();
    }
    if (burner->state() == QProcess::NotRunning) {
        delete burner;
    } else {
        // Waiting was cancelled: the burner goes on by itself and is reaped when it ends.
        burner->setParent(nullptr);
        connect(burner, &QProcess::finished, burner, &QObject::deleteLater);
    }
    EnablePage(true);
}

} // namespace tunora
