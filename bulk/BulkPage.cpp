#include "bulk/BulkPage.h"

#include "bulk/BulkRun.h"
#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "folders/FileListPanel.h"
#include "shell/Dialogs.h"
#include "shell/core/Shared.h"
#include "shell/core/Language.h"
#include "shell/core/Ui.h"
#include "tags/Journal.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tunora {

namespace {

QPushButton* makeButton(QWidget* parent, const char* name)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

template <class T>
T* makeOption(QWidget* parent, const char* name, const char* caption)
{
    auto* o = new T(QString::fromUtf8(caption), parent);
    o->setObjectName(QLatin1String(name));
    return o;
}

} // namespace

BulkPage::BulkPage(QWidget* parent) : Page(parent)
{
    setObjectName("bulk_page");
    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    outer->addLayout(top, 1);

    // Each file with the name the options give it, before Go.
    m_list = new QTreeWidget(this);
    m_list->setObjectName("bulk_lst");
    m_list->setColumnCount(2);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformRowHeights(true); // keeps lists of many thousand files quick
    m_list->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_list->setTextElideMode(Qt::ElideLeft); // the file names are at the ends
    top->addWidget(m_list, 1);

    auto* buttons = new QVBoxLayout;
    top->addLayout(buttons);
    m_files = new FileListPanel({"add_btn", "addfolder_btn", "Command3", "reset_btn"}, ChooserMode::BulkAddFolder, this);
    m_files->setFileFilter(fileDialogFilter());
    m_files->entries = [this] { return m_entries; };
    m_go = makeButton(this, "bulk_go_btn");
    m_undoBtn = makeButton(this, "bulk_undo_btn");
    buttons->addWidget(m_files);
    buttons->addStretch(1);
    buttons->addWidget(m_go);
    buttons->addWidget(m_undoBtn);

    m_optionsFrame = new QGroupBox(this);
    m_optionsFrame->setObjectName("Frame4");
    auto* opts = new QVBoxLayout(m_optionsFrame);
    m_multi = makeOption<QCheckBox>(m_optionsFrame, "multi_chk", "Replace multiple spaces by a single space");
    m_case = makeOption<QCheckBox>(m_optionsFrame, "case_chk", "Enable Case Standardization");
    m_caseFrame = new QGroupBox(QStringLiteral("Case Standardization"), m_optionsFrame);
    m_caseFrame->setObjectName("case_frm");
    auto* caseLayout = new QHBoxLayout(m_caseFrame);
    m_lc = makeOption<QRadioButton>(m_caseFrame, "lc_rdo", "Lower Case");
    m_uc = makeOption<QRadioButton>(m_caseFrame, "uc_rdo", "Upper Case");
    m_fluc = makeOption<QRadioButton>(m_caseFrame, "fluc_rdo", "Capitalize First Letter (ie : An Ode To No One)");
    for (QRadioButton* r : {m_lc, m_uc, m_fluc})
        caseLayout->addWidget(r);
    m_unmerge = makeOption<QCheckBox>(m_optionsFrame, "unmerge_chk",
                                      "Un-merge title (ie : AnOdeToNoOne ->  An Ode To No One)");
    m_merge = makeOption<QCheckBox>(m_optionsFrame, "merge_chk",
                                    "Merge title (ie : AnOdeToNoOne ->  An Ode To No One)");
    m_under = makeOption<QCheckBox>(m_optionsFrame, "under_chk", "Replace underscores (\"_\") by space");
    m_space = makeOption<QCheckBox>(m_optionsFrame, "space_chk", "Replace space by underscores (\"_\") ");
    opts->addWidget(m_multi);
    opts->addWidget(m_case);
    opts->addWidget(m_caseFrame);
    for (QCheckBox* c : {m_unmerge, m_merge, m_under, m_space})
        opts->addWidget(c);
    outer->addWidget(m_optionsFrame);

    m_barFrame = new QFrame(this);
    m_barFrame->setObjectName("bulk_cur_hst");
    m_barFrame->setFrameShape(QFrame::Box);
    m_barFrame->setFixedHeight(18);
    m_bar = new QWidget(m_barFrame);
    m_bar->setObjectName("bulk_cur_bar");
    m_bar->setAutoFillBackground(true);
    QPalette pal = m_bar->palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128));
    m_bar->setPalette(pal);
    m_bar->setGeometry(0, 0, 0, 18);
    m_bar->hide();
    outer->addWidget(m_barFrame);

    // A cancelled dialog counts as an edit too: the undo list no longer applies.
    connect(m_files, &FileListPanel::filesChosen, this, [this](const QStringList& files) {
        appendEntries(files);
        listChanged();
    });
    // The chooser leaves out files the list already holds (the same path exactly).
    connect(m_files, &FileListPanel::folderWalked, this, [this](const QStringList& files) {
        appendEntries(files);
        listChanged();
    });
    connect(m_files, &FileListPanel::deleteClicked, this, &BulkPage::deleteSelected);
    connect(m_files, &FileListPanel::resetClicked, this, &BulkPage::reset);
    connect(m_go, &QPushButton::clicked, this, &BulkPage::run);
    connect(m_undoBtn, &QPushButton::clicked, this, &BulkPage::undo);

    // toggled rather than clicked: a partner unchecked by an interlock re-evaluates Go too.
    connect(m_case, &QCheckBox::toggled, this, [this](bool on) {
        for (QWidget* w : std::initializer_list<QWidget*> {m_caseFrame, m_lc, m_uc, m_fluc})
            w->setEnabled(on);
        refreshGo();
    });
    auto exclusive = [this](QCheckBox* box, QCheckBox* partner) {
        connect(box, &QCheckBox::toggled, this, [this, partner](bool on) {
            if (on)
                partner->setChecked(false);
            refreshGo();
        });
    };
    exclusive(m_space, m_under);
    exclusive(m_under, m_space);
    exclusive(m_unmerge, m_merge);
    exclusive(m_merge, m_unmerge);
    connect(m_multi, &QCheckBox::toggled, this, &BulkPage::refreshGo);
    for (QRadioButton* r : {m_lc, m_uc, m_fluc})
        connect(r, &QRadioButton::toggled, this, &BulkPage::refreshGo);
}

void BulkPage::prepare()
{
    m_fluc->setChecked(true);
    const bool on = m_case->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*> {m_caseFrame, m_lc, m_uc, m_fluc})
        w->setEnabled(on);
    setProgress(0);
    showUndo(false);
    refreshGo();
}

void BulkPage::transme()
{
    m_multi->setText(LanguageText(92));
    m_case->setText(LanguageText(86));
    m_caseFrame->setTitle(LanguageText(93));
    m_lc->setText(LanguageText(87));
    m_uc->setText(LanguageText(88));
    m_fluc->setText(LanguageText(89));
    m_unmerge->setText(LanguageText(85));
    // merge_chk has no language text and keeps its built-in caption.
    m_under->setText(LanguageText(90));
    m_space->setText(LanguageText(91));
    m_files->transme();
    m_go->setText(LanguageText(97));
    m_undoBtn->setText(LanguageText(19));
    m_optionsFrame->setTitle(LanguageText(4));
    m_list->setHeaderLabels({LanguageText(11), LanguageText(83)});
}

BulkOptions BulkPage::options() const
{
    BulkOptions o;
    o.multi = m_multi->isChecked();
    o.case_ = m_case->isChecked();
    o.unmerge = m_unmerge->isChecked();
    o.merge = m_merge->isChecked();
    o.under = m_under->isChecked();
    o.space = m_space->isChecked();
    o.case_mode = m_lc->isChecked() ? CaseMode::lc : m_uc->isChecked() ? CaseMode::uc : CaseMode::fluc;
    return o;
}

QString BulkPage::fileDialogFilter()
{
    auto files = [](AudioFormat f) {
        return FormatInfo(f).name + QStringLiteral(" Files (") + AudioFileMasks(f).join(u' ') + u')';
    };
    return files(AudioFormat::Mp3) + QStringLiteral(";;") + files(AudioFormat::OggVorbis) + QStringLiteral(";;") +
           MediaFileFilter(QStringLiteral("All Media files"));
}

void BulkPage::appendEntries(const QStringList& paths)
{
    QList<QTreeWidgetItem*> items;
    items.reserve(paths.size());
    for (const QString& path : paths)
        items.append(new QTreeWidgetItem(QStringList {dorvane::io::DisplayName(path)}));
    m_entries.append(paths);
    m_list->addTopLevelItems(items);
}

void BulkPage::setEntry(int index, const QString& path)
{
    if (index < 0 || index >= m_entries.size())
        return;
    m_entries[index] = path;
    if (m_running)
        m_pendingRows.append(index);
    else if (QTreeWidgetItem* item = m_list->topLevelItem(index))
        item->setText(0, dorvane::io::DisplayName(path));
    Q_EMIT entryRenamed(index, path);
}

// Each change of an item lays out and repaints the whole list; over thousands of files the
// run shows its renames in batches, at each step of the progress bar.
void BulkPage::showPendingEntries()
{
    for (int row : std::as_const(m_pendingRows))
        if (QTreeWidgetItem* item = m_list->topLevelItem(row))
            item->setText(0, dorvane::io::DisplayName(m_entries.at(row)));
    m_pendingRows.clear();
}

// Every edit of the list makes the undo list meaningless.
void BulkPage::listChanged()
{
    showUndo(false);
    refreshGo();
}

void BulkPage::refreshGo()
{
    const BulkOptions o = options();
    const bool anyOption = o.case_ || o.space || o.under || o.multi || o.unmerge || o.merge;
    m_go->setEnabled(!m_running && anyOption && !m_entries.isEmpty());
    if (!m_running)
        refreshPreview();
}

void BulkPage::refreshPreview()
{
    const BulkOptions o = options();
    const bool anyOption = o.case_ || o.space || o.under || o.multi || o.unmerge || o.merge;
    const QList<BulkPreviewRow> rows = anyOption ? PreviewBulk(m_entries, o) : QList<BulkPreviewRow>();
    const QBrush normal = m_list->palette().brush(QPalette::Text);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const BulkPreviewRow row = rows.value(i);
        const bool shown = row.state == BulkPreviewRow::Renamed || row.state == BulkPreviewRow::Taken;
        const QString name = shown ? row.newPath.mid(row.newPath.lastIndexOf('/') + 1) : QString();
        QString why;
        if (row.state == BulkPreviewRow::Taken)
            why = LanguageText(46)
                      .replace(QLatin1String("%%1%%"), row.newPath)
                      .replace(QLatin1String("%%2%%"), dorvane::io::DisplayName(row.oldPath));
        if (item->text(1) == name && item->toolTip(1) == why)
            continue;
        item->setText(1, name);
        item->setToolTip(1, why);
        item->setForeground(1, why.isEmpty() ? normal : QBrush(Qt::red));
    }
}

void BulkPage::setProgress(int percent)
{
    if (percent == m_shownPercent && percent != 0)
        return; // the run has just yielded; nothing new to draw
    m_shownPercent = percent;
    showPendingEntries();
    ShowProgress(m_bar, m_barFrame, percent);
}

// While a run yields to the event loop, nothing may change the list or the options under it.
void BulkPage::setRunning(bool running)
{
    if (m_running == running)
        return;
    m_running = running;
    if (!running)
        showPendingEntries();
    m_files->setButtonsEnabled(!running);
    m_optionsFrame->setEnabled(!running);
    if (running) {
        m_ranHere = true;
        m_undoWasEnabled = m_memoryUndo;
        m_undoBtn->setEnabled(false);
    } else {
        showUndo(m_undoWasEnabled);
    }
    refreshGo();
}

void BulkPage::addFiles()
{
    if (!m_running)
        m_files->addFiles();
}

void BulkPage::addFolder()
{
    if (!m_running)
        m_files->addFolder();
}

void BulkPage::deleteSelected()
{
    if (m_running)
        return;
    for (int i = m_list->topLevelItemCount() - 1; i >= 0; --i) {
        if (m_list->topLevelItem(i)->isSelected()) {
            delete m_list->takeTopLevelItem(i);
            m_entries.removeAt(i);
        }
    }
    listChanged();
}

void BulkPage::reset()
{
    if (m_running)
        return;
    m_list->clear();
    m_entries.clear();
    listChanged();
}

void BulkPage::run()
{
    if (m_running || IsBusy())
        return;
    const BulkOptions o = options();
    setRunning(true);
    SetCancelRequested(false);
    SetBusy(true);
    BulkRunHooks hooks;
    hooks.entryChanged = [this](int i, const QString& path) { setEntry(i, path); };
    // After each file the window gets a turn, so the cancel button is heard.
    hooks.keepGoing = [] {
        YieldEvents();
        return !CancelRequested();
    };
    hooks.tell = [](const QString& text) { ShowMessage(text); };
    hooks.stopped = [] { ReportCancelled(); };
    hooks.progress = [this](int percent) { setProgress(percent); };
    hooks.finished = [this] {
        m_undoWasEnabled = true;
        setRunning(false);
    };
    const BulkRunOutcome out = RunBulk(m_entries, m_undo, o, hooks);
    if (!out.cancelled)
        SetStatusText(QString());
    SetBusy(false);
    // The undo list now holds the names before this run: valid for what it renamed.
    if (out.cancelled)
        m_undoWasEnabled = out.renamed > 0;
    setRunning(false);
}

void BulkPage::undo()
{
    if (m_running)
        return;
    if (m_memoryUndo)
        UndoBulk(m_entries, m_undo, [this](int i, const QString& path) { setEntry(i, path); },
                 [](const QString& text) { ShowMessage(text); });
    else
        undoJournalRun();
    m_ranHere = true;
    showUndo(false);
    refreshPreview();
}

void BulkPage::showUndo(bool memory)
{
    m_memoryUndo = memory;
    // After a restart (or an edit of the list) the journal's last bulk run can still be undone.
    m_undoBtn->setEnabled(memory || (!m_ranHere && !tags::LastRunToUndo(QLatin1String(tags::kBulkRun)).isEmpty()));
}

void BulkPage::undoJournalRun()
{
    tags::UndoneRun undone;
    QString why;
    if (!tags::UndoLastRunOf(QLatin1String(tags::kBulkRun), &undone, &why)) {
        ShowMessage(why);
        return;
    }
    const tags::RunInfo& info = undone.run;
    const QStringList& lines = undone.lines;
    const QStringList& left = undone.leftPaths;
    const QStringList& told = undone.leftLines;
    // The list follows the names the files have again, last rename first.
    for (auto it = info.files.crbegin(); it != info.files.crend(); ++it) {
        const int i = int(m_entries.indexOf(it->path));
        if (i >= 0 && tags::IdentityOf(it->path).size < 0 && !left.contains(it->from))
            setEntry(i, it->from);
    }
    SetStatusText(LocalText("Undo: %1 restored, %2 left as they are.", "Annuler : %1 rétablis, %2 laissés tels quels.")
                      .arg(lines.size() - left.size())
                      .arg(left.size()));
    if (!told.isEmpty())
        ShowMessage(told.join('\n'));
}

} // namespace tunora
