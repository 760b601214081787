#include "album/ImportWindow.h"

#include "dorvane/FileIo.h"
#include "folders/Choixrecoldir.h"
#include "lookup/CddbSource.h"
#include "lookup/LookupTexts.h"
#include "lookup/MusicBrainzSource.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"
#include "tags/Journal.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tunora {

namespace {

using import::AlbumState;
using import::Stage;
using import::Verdict;

// The window's texts, which the language files do not carry.
namespace importtext {
QString Title() { return LocalText("Tag many albums", "Étiqueter plusieurs albums"); }
QString Root() { return LocalText("Root folder:", "Dossier racine :"); }
QString Choose() { return LocalText("Choose...", "Choisir..."); }
QString Sources() { return LocalText("Sources:", "Sources :"); }
QString BothSources() { return LocalText("CDDB and MusicBrainz", "CDDB et MusicBrainz"); }
QString Start() { return LocalText("Find and match", "Chercher et comparer"); }
QString ApplyStrong() { return LocalText("Apply strong matches", "Appliquer les correspondances sûres"); }
QString ApplyPick() { return LocalText("Apply the pick", "Appliquer le choix"); }
QString Open() { return LocalText("Open in the album page", "Ouvrir dans la page album"); }
QString Undo() { return LocalText("Undo", "Annuler l'application"); }
QStringList Headers()
{
    return {LocalText("Folder", "Dossier"),          LocalText("Files", "Fichiers"),
            LocalText("Stage", "Étape"),             LocalText("Best candidate", "Meilleur candidat"),
            LocalText("Distance", "Distance"),       LocalText("Decision", "Décision")};
}
QString StageText(Stage s)
{
    switch (s) {
    case Stage::Waiting: return LocalText("waiting", "en attente");
    case Stage::Reading: return LocalText("reading", "lecture");
    case Stage::Searching: return LocalText("looking up", "recherche");
    case Stage::Decided: return LocalText("decided", "décidé");
    case Stage::Applying: return LocalText("applying", "application");
    case Stage::Done: return LocalText("done", "fini");
    }
    return {};
}
QString NoRoot() { return LocalText("Choose the root folder of the albums first.", "Choisissez d'abord le dossier racine des albums."); }
QString NotAFolder(const QString& path)
{
    return LocalText("%1 is not a folder.", "%1 n'est pas un dossier.").arg(path);
}
QString Counts(int albums, int strong, int unsure, int none, int applied)
{
    return LocalText("%1 albums: %2 strong, %3 unsure, %4 without a match, %5 applied",
                     "%1 albums : %2 sûrs, %3 incertains, %4 sans correspondance, %5 appliqués")
        .arg(albums)
        .arg(strong)
        .arg(unsure)
        .arg(none)
        .arg(applied);
}
QString Cancelled() { return LocalText("Cancelled.", "Annulé."); }
QString Undone() { return LocalText("undone", "annulé"); }
QString NothingToUndo() { return LocalText("Nothing to undo.", "Rien à annuler."); }
} // namespace importtext

QString DecisionText(const AlbumState& a)
{
    switch (a.verdict) {
    case Verdict::Applied: return LocalText("applied", "appliqué");
    case Verdict::Unsure: return LocalText("unsure: pick one", "incertain : à choisir");
    case Verdict::None: return LocalText("none: ", "aucun : ") + a.reason;
    case Verdict::Skipped: return LocalText("skipped: ", "sauté : ") + a.reason;
    case Verdict::Failed: return LocalText("failed: ", "échec : ") + a.reason;
    case Verdict::Pending: break;
    }
    if (a.stage != Stage::Done)
        return {};
    if (a.strong)
        return LocalText("strong: to apply", "sûr : à appliquer");
    return a.chosen ? LocalText("chosen: to apply", "choisi : à appliquer") : QString();
}

QString CandidateText(const import::Candidate& c)
{
    return c.title() + QStringLiteral("  (") + c.key() + QLatin1Char(')');
}

QString DistanceText(double d)
{
    return QString::number(d, 'f', 2);
}

template <class T>
T* named(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

bool ImportWindow::Talk::playlistInAlbumFolder()
{
    if (!m_askedFolder) {
        m_askedFolder = true;
        m_inFolder = AskYesNo(text::AskPlaylistInAlbumFolder());
    }
    return m_inFolder;
}

bool ImportWindow::Talk::replacePlaylist(const QString&)
{
    if (!m_askedReplace) {
        m_askedReplace = true;
        m_replace = AskYesNo(text::AskReplacePlaylist());
    }
    return m_replace;
}

// An apply's messages go to the window's log: a box for each album would stop the import.
void ImportWindow::Talk::tell(const QString& message)
{
    m_window.log(message);
}

void ImportWindow::Talk::status(const QString& text)
{
    if (!text.isEmpty())
        m_window.m_status->setText(text);
}

void ImportWindow::Talk::beat()
{
    YieldEvents();
}

QString ImportWindow::OpenCaption()
{
    return LocalText("Tag many albums...", "Étiqueter plusieurs albums...");
}

ImportWindow::ImportWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("import_window"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    buildUi();
    transme();
    updateButtons();
}

ImportWindow::~ImportWindow() = default;

void ImportWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_rootLbl = named<QLabel>(this, "root_lbl");
    m_root = named<QLineEdit>(this, "root_txt");
    m_rootBtn = named<QPushButton>(this, "root_btn");
    m_sourceLbl = named<QLabel>(this, "source_lbl");
    m_source = named<QComboBox>(this, "source_cmb");
    m_cover = named<QCheckBox>(this, "cover_chk");
    m_cover->setChecked(Setting(setting::kEmbedCover).trimmed() == QLatin1String("1"));
    m_start = named<QPushButton>(this, "start_btn");
    m_start->setDefault(true);
    top->addWidget(m_rootLbl);
    top->addWidget(m_root, 1);
    top->addWidget(m_rootBtn);
    top->addWidget(m_sourceLbl);
    top->addWidget(m_source);
    top->addWidget(m_cover);
    top->addWidget(m_start);
    layout->addLayout(top);

    m_table = named<QTableWidget>(this, "albums_tbl");
    m_table->setColumnCount(ColumnCount);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    // One line a row: long names and candidates are cut at the end, whole in their tooltip.
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideRight);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(FolderColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(CandidateColumn, QHeaderView::Stretch);
    for (int c : {FilesColumn, StageColumn, DistanceColumn})
        header->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    header->resizeSection(DecisionColumn, 200);
    layout->addWidget(m_table, 4);

    auto* progress = new QHBoxLayout;
    m_progress = named<QProgressBar>(this, "progress_bar");
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_cancel = named<QPushButton>(this, "cancel_btn");
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_cancel);
    layout->addLayout(progress);
    m_status = named<QLabel>(this, "status_lbl");
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);

    auto* actions = new QHBoxLayout;
    m_apply = named<QPushButton>(this, "apply_btn");
    m_pick = named<QPushButton>(this, "pick_btn");
    m_open = named<QPushButton>(this, "open_btn");
    m_undo = named<QPushButton>(this, "undo_btn");
    for (QPushButton* b : {m_apply, m_pick, m_open})
        actions->addWidget(b);
    actions->addStretch(1);
    actions->addWidget(m_undo);
    layout->addLayout(actions);

    m_log = named<QPlainTextEdit>(this, "log_txt");
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(5000);
    m_log->setMinimumHeight(60);
    layout->addWidget(m_log, 1);

    connect(m_rootBtn, &QPushButton::clicked, this, &ImportWindow::chooseRoot);
    connect(m_start, &QPushButton::clicked, this, &ImportWindow::start);
    connect(m_root, &QLineEdit::returnPressed, this, &ImportWindow::start);
    connect(m_cancel, &QPushButton::clicked, this, &ImportWindow::cancel);
    connect(m_apply, &QPushButton::clicked, this, &ImportWindow::applyStrong);
    connect(m_pick, &QPushButton::clicked, this, &ImportWindow::applyPick);
    connect(m_open, &QPushButton::clicked, this, &ImportWindow::openSelected);
    connect(m_undo, &QPushButton::clicked, this, &ImportWindow::undo);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &ImportWindow::updateButtons);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &ImportWindow::openSelected);
    resize(1100, 600);
}

void ImportWindow::transme()
{
    setWindowTitle(importtext::Title());
    m_rootLbl->setText(importtext::Root());
    m_rootBtn->setText(importtext::Choose());
    m_sourceLbl->setText(importtext::Sources());
    const int source = std::max(0, m_source->currentIndex());
    m_source->clear();
    m_source->addItem(importtext::BothSources(), QStringLiteral("both"));
    m_source->addItem(CddbSource::sourceName(), QStringLiteral("cddb"));
    m_source->addItem(MusicBrainzSource::sourceName(), QStringLiteral("musicbrainz"));
    m_source->setCurrentIndex(source);
    m_cover->setText(lookuptext::EmbedFrontCover());
    m_start->setText(importtext::Start());
    m_cancel->setText(LanguageText(32)); // the main window's Cancel
    m_apply->setText(importtext::ApplyStrong());
    m_pick->setText(importtext::ApplyPick());
    m_open->setText(importtext::Open());
    m_undo->setText(importtext::Undo());
    m_table->setHorizontalHeaderLabels(importtext::Headers());
    for (int i = 0; i < m_table->rowCount(); ++i)
        showAlbum(i);
}

void ImportWindow::chooseRoot()
{
    QString folder = m_root->text().trimmed();
    if (ChooseFolder(this, ChooserMode::ListerInput, &folder))
        m_root->setText(folder);
}

void ImportWindow::log(const QString& line)
{
    m_log->appendPlainText(line);
}

// Files are written meanwhile: the main window neither switches pages nor closes, as
// during the album page's Apply.
void ImportWindow::setWorking(bool working)
{
    m_working = working;
    SetBusy(working);
    updateButtons();
}

int ImportWindow::selectedAlbum() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_table->selectedRanges();
    if (ranges.isEmpty() || !m_run || ranges.first().topRow() >= m_run->albums().size())
        return -1;
    return ranges.first().topRow();
}

void ImportWindow::updateButtons()
{
    const bool running = m_run && m_run->isRunning();
    const bool idle = !running && !m_working;
    for (QWidget* w : {static_cast<QWidget*>(m_root), static_cast<QWidget*>(m_rootBtn), static_cast<QWidget*>(m_source),
                       static_cast<QWidget*>(m_cover), static_cast<QWidget*>(m_start)})
        w->setEnabled(idle);
    m_cancel->setEnabled(running);
    bool strong = false;
    if (m_run)
        for (const AlbumState& a : m_run->albums())
            strong = strong || (a.strong && a.verdict == Verdict::Pending && !a.candidates.isEmpty());
    m_apply->setEnabled(idle && strong);
    const int album = selectedAlbum();
    const AlbumState* a = album >= 0 ? &m_run->albums().at(album) : nullptr;
    m_pick->setEnabled(idle && a && !a->candidates.isEmpty() && a->stage == Stage::Done &&
                       a->verdict != Verdict::Applied && a->verdict != Verdict::Skipped);
    m_open->setEnabled(!m_working && a && !a->album.media.isEmpty());
    m_undo->setEnabled(idle && !m_appliedRuns.isEmpty());
}

void ImportWindow::start()
{
    if ((m_run && m_run->isRunning()) || m_working)
        return;
    const QString root = m_root->text().trimmed();
    if (root.isEmpty()) {
        ShowMessage(importtext::NoRoot());
        return;
    }
    if (!dorvane::io::IsFolder(root)) {
        ShowMessage(importtext::NotAFolder(root));
        return;
    }
    // Every album is decided first and nothing written: the strong ones wait for their button.
    import::ImportOptions options;
    options.source = m_source->currentData().toString();
    options.cover = m_cover->isChecked();
    options.dryRun = true;
    options.coverAhead = true; // Apply strong matches comes later and finds the covers fetched
    // The run before may still be unwinding a request it was cancelled in: it goes later.
    if (m_run) {
        m_run->disconnect(this);
        m_run.release()->deleteLater();
    }
    m_talk.reset();
    m_logged = -1;
    m_appliedRuns.clear();
    m_table->setRowCount(0);
    m_log->clear();
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_status->clear();
    m_run = std::make_unique<import::ImportRun>(QStringList{root}, options, m_talk);
    connect(m_run.get(), &import::ImportRun::albumsFound, this, &ImportWindow::found);
    connect(m_run.get(), &import::ImportRun::albumChanged, this, &ImportWindow::showAlbum);
    connect(m_run.get(), &import::ImportRun::progress, this, [this](int done, int total, const QString& folder) {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(done - 1);
        m_status->setText(QStringLiteral("[%1/%2] %3").arg(done).arg(total).arg(dorvane::io::DisplayName(folder)));
    });
    connect(m_run.get(), &import::ImportRun::finished, this, &ImportWindow::finished);
    m_run->start();
    updateButtons();
}

void ImportWindow::cancel()
{
    if (m_run && m_run->isRunning())
        m_run->cancel();
}

void ImportWindow::found(int count)
{
    m_table->setRowCount(count);
    m_progress->setRange(0, std::max(count, 1));
    for (int i = 0; i < count; ++i)
        showAlbum(i);
    if (count == 0)
        m_status->setText(importtext::Counts(0, 0, 0, 0, 0));
}

void ImportWindow::showAlbum(int index)
{
    if (!m_run || index < 0 || index >= m_run->albums().size() || index >= m_table->rowCount())
        return;
    const AlbumState& a = m_run->albums().at(index);
    auto cell = [&](int column, const QString& text, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        QTableWidgetItem* item = m_table->item(index, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(align);
            m_table->setItem(index, column, item);
        }
        if (item->text() != text)
            item->setText(text);
        item->setToolTip(text);
    };
    // Below the root, which the root box shows; the whole path in the tooltip.
    const QString relative = QDir(a.album.root).relativeFilePath(a.album.folder);
    cell(FolderColumn, dorvane::io::DisplayName(relative == QLatin1String(".") ? a.album.folder : relative));
    if (QTableWidgetItem* folder = m_table->item(index, FolderColumn))
        folder->setToolTip(dorvane::io::DisplayName(a.album.folder));
    cell(FilesColumn, QString::number(a.fileCount), Qt::AlignRight | Qt::AlignVCenter);
    cell(StageColumn, importtext::StageText(a.stage));
    // An apply's messages in the log follow the album they are about.
    if (a.stage == Stage::Applying && m_logged != index) {
        m_logged = index;
        log(a.album.folder + QLatin1Char(':'));
    }
    // An album whose apply was undone stays so: the run still counts it as applied.
    const QTableWidgetItem* decision = m_table->item(index, DecisionColumn);
    const bool undone = decision && decision->data(Qt::UserRole).toBool();
    cell(DecisionColumn, undone ? importtext::Undone() : DecisionText(a));

    // The candidates, best first; an album with more than one can be picked from.
    QStringList texts;
    for (const import::Candidate& c : a.candidates)
        texts << CandidateText(c);
    auto* pick = qobject_cast<QComboBox*>(m_table->cellWidget(index, CandidateColumn));
    if (texts.size() > 1 || (pick && !texts.isEmpty())) {
        QStringList shown;
        for (int i = 0; pick && i < pick->count(); ++i)
            shown << pick->itemText(i);
        if (!pick) {
            pick = new QComboBox;
            pick->setObjectName(QStringLiteral("pick_cmb"));
            m_table->setCellWidget(index, CandidateColumn, pick);
            // The distance shown is the picked candidate's.
            connect(pick, &QComboBox::currentIndexChanged, this, [this, index] { showAlbum(index); });
        }
        if (shown != texts) {
            const QSignalBlocker block(pick);
            pick->clear();
            pick->addItems(texts);
            pick->setCurrentIndex(0);
        }
        pick->setEnabled(a.verdict != Verdict::Applied && a.verdict != Verdict::Skipped && a.stage == Stage::Done);
        cell(CandidateColumn, QString());
    } else {
        cell(CandidateColumn, texts.value(0));
    }
    const int picked = pick ? std::max(0, pick->currentIndex()) : 0;
    cell(DistanceColumn, a.candidates.isEmpty() ? QString() : DistanceText(a.candidates.value(picked).distance),
         Qt::AlignRight | Qt::AlignVCenter);
    if (index == selectedAlbum())
        updateButtons();
}

void ImportWindow::countLine()
{
    int strong = 0, unsure = 0, none = 0, applied = 0;
    for (const AlbumState& a : m_run->albums()) {
        strong += a.strong;
        unsure += a.verdict == Verdict::Unsure;
        none += a.verdict == Verdict::None;
        applied += a.verdict == Verdict::Applied;
    }
    m_status->setText(importtext::Counts(int(m_run->albums().size()), strong, unsure, none, applied));
}

void ImportWindow::finished()
{
    m_progress->setValue(m_progress->maximum());
    for (int i = 0; i < m_table->rowCount(); ++i)
        showAlbum(i);
    countLine();
    bool cancelled = false;
    for (const AlbumState& a : m_run->albums())
        cancelled = cancelled || a.stage != Stage::Done;
    if (cancelled)
        m_status->setText(importtext::Cancelled() + QLatin1Char(' ') + m_status->text());
    updateButtons();
}

void ImportWindow::applied(const std::function<bool()>& apply)
{
    if (!m_run || m_run->isRunning() || m_working)
        return;
    QList<Verdict> before;
    for (const AlbumState& a : m_run->albums())
        before << a.verdict;
    setWorking(true);
    apply();
    setWorking(false);
    QList<int> rows;
    for (int i = 0; i < m_run->albums().size(); ++i)
        if (m_run->albums().at(i).verdict == Verdict::Applied && before.value(i) != Verdict::Applied)
            rows << i;
    if (!rows.isEmpty())
        m_appliedRuns << rows;
    for (int i = 0; i < m_table->rowCount(); ++i)
        showAlbum(i);
    countLine();
    updateButtons();
}

void ImportWindow::applyStrong()
{
    applied([this] { return m_run->applyStrong(); });
}

void ImportWindow::applyPick()
{
    const int album = selectedAlbum();
    if (album < 0)
        return;
    const auto* pick = qobject_cast<QComboBox*>(m_table->cellWidget(album, CandidateColumn));
    const int candidate = pick ? std::max(0, pick->currentIndex()) : 0;
    applied([&] { return m_run->applyCandidate(album, candidate); });
}

void ImportWindow::openSelected()
{
    const int album = selectedAlbum();
    if (album < 0 || m_working)
        return;
    const import::AlbumFolder& a = m_run->albums().at(album).album;
    if (!a.media.isEmpty())
        Q_EMIT openAlbum(dorvane::io::AbsolutePath(a.media.first()), a.format);
}

void ImportWindow::undo()
{
    if (m_appliedRuns.isEmpty() || m_working || (m_run && m_run->isRunning()))
        return;
    QStringList lines;
    bool all = false;
    QString why;
    setWorking(true);
    const bool undone = tags::UndoLastRun(&lines, &all, &why);
    setWorking(false);
    for (const QString& line : std::as_const(lines))
        log(line);
    if (!undone) {
        log(why.isEmpty() ? importtext::NothingToUndo() : why);
        m_appliedRuns.clear();
        updateButtons();
        return;
    }
    for (int row : m_appliedRuns.takeLast())
        if (QTableWidgetItem* item = m_table->item(row, DecisionColumn)) {
            item->setData(Qt::UserRole, true);
            item->setText(importtext::Undone());
        }
    int restored = 0;
    for (const QString& line : std::as_const(lines))
        restored += line.startsWith(QLatin1String("restored\t"));
    m_status->setText(UndoCountsLine(restored, int(lines.size()) - restored));
    updateButtons();
}

void ImportWindow::closeEvent(QCloseEvent* event)
{
    // An apply under way finishes first; a search just stops.
    if (m_working) {
        event->ignore();
        return;
    }
    cancel();
    QWidget::closeEvent(event);
}

} // namespace tunora
