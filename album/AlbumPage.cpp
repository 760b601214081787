#include "album/AlbumPage.h"

#include "album/AlbumApply.h"
#include "album/AlbumPatterns.h"
#include "album/ApplyPreview.h"
#include "album/AutoSort.h"
#include "album/AutosortDialog.h"
#include "album/StatsDialog.h"
#include "folders/AudioFormats.h"
#include "folders/Choixrecoldir.h"
#include "folders/FolderWalk.h"
#include "album/ImportWindow.h"
#include "lookup/AcoustIdSource.h"
#include "lookup/LookupTexts.h"
#include "lookup/MusicBrainzSource.h"
#include "album/TrackEditor.h"
#include "audio/GenrePicker.h"
#include "album/FetchFlow.h"
#include "shell/Dialogs.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace tunora {

const char* const AlbumPage::kFindByLengthsCaption = "Find by lengths";
const char* const AlbumPage::kFindByFilesCaption = "Find by the files";

namespace {

template <class T>
T* named(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QGroupBox* frame(QWidget* parent, const char* name)
{
    return named<QGroupBox>(parent, name);
}

// A list entry with its length at the right; a long name is elided in the middle.
class LengthDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString length = index.data(AlbumPage::kLengthRole).toString();
        if (length.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const QRect r = opt.rect.adjusted(4, 0, -4, 0);
        const int lengthWidth = opt.fontMetrics.horizontalAdvance(length) + 8;
        const QVariant colour = index.data(Qt::ForegroundRole);
        QColor pen = (opt.state & QStyle::State_Selected) ? opt.palette.color(QPalette::HighlightedText)
                                                           : opt.palette.color(QPalette::Text);
        if (colour.canConvert<QBrush>() && colour.value<QBrush>().style() != Qt::NoBrush)
            pen = colour.value<QBrush>().color();
        painter->save();
        painter->setPen(pen);
        painter->drawText(r.adjusted(0, 0, -lengthWidth, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(text, Qt::ElideMiddle, r.width() - lengthWidth));
        painter->drawText(r, Qt::AlignRight | Qt::AlignVCenter, length);
        painter->restore();
    }
    // As wide as the list, never wider: the name gives way, the length stays in sight.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (!index.data(AlbumPage::kLengthRole).toString().isEmpty() && option.widget)
            if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
                size.setWidth(std::min(size.width(), view->viewport()->width()));
        return size;
    }
};

} // namespace

AlbumPage::AlbumPage(QWidget* parent) : Page(parent)
{
    setObjectName("album_page");
    buildUi();
    // The lookup flow knows none of these controls: it is fed the user's choices and
    // tells the buttons' state and the result rows through its signals.
    m_fetch = std::make_unique<FetchFlow>(m_session, this);
    connect(m_fetch.get(), &FetchFlow::buttonsChanged, this, &AlbumPage::showButtons);
    connect(m_fetch.get(), &FetchFlow::resultsChanged, this, [this](const QStringList& rows) {
        m_results->clear();
        m_results->addItems(rows);
    });
    connect(m_fetch.get(), &FetchFlow::rowChosen, m_results, qOverload<int>(&QListWidget::setCurrentRow));
    chooseSource(m_source->currentText());
    m_fetch->setFetchCover(m_cover->isChecked());
    showButtons(m_fetch->buttons());

    connect(&m_session, &AlbumSession::changed, this, &AlbumPage::syncFromSession);
    connect(findChild<QPushButton*>("browse_btn"), &QPushButton::clicked, this, &AlbumPage::browse);
    connect(findChild<QPushButton*>("many_btn"), &QPushButton::clicked, this, &AlbumPage::showImportWindow);
    connect(findChild<QPushButton*>("clear_btn"), &QPushButton::clicked, this, &AlbumPage::clearFiles);
    connect(findChild<QPushButton*>("delete_btn"), &QPushButton::clicked, this, &AlbumPage::deleteSelected);
    connect(findChild<QPushButton*>("ghost_btn"), &QPushButton::clicked, this, &AlbumPage::addFakeTrack);
    connect(m_up, &QPushButton::clicked, this, &AlbumPage::moveUp);
    connect(findChild<QPushButton*>("down_btn"), &QPushButton::clicked, this, &AlbumPage::moveDown);
    connect(findChild<QPushButton*>("info_btn"), &QPushButton::clicked, this, &AlbumPage::showStatistics);
    connect(findChild<QPushButton*>("info2_btn"), &QPushButton::clicked, this, &AlbumPage::showStatistics);
    connect(findChild<QPushButton*>("autosort_btn"), &QPushButton::clicked, this, &AlbumPage::autoSort);
    connect(m_apply, &QPushButton::clicked, this, &AlbumPage::apply);
    connect(m_undo, &QPushButton::clicked, this, &AlbumPage::undo);
    connect(findChild<QPushButton*>("helpgenre_btn"), &QPushButton::clicked, this, &AlbumPage::chooseGenre);
    connect(m_tracks, &QListWidget::itemDoubleClicked, this, &AlbumPage::editTrack);
    connect(m_go, &QPushButton::clicked, this, [this] { m_fetch->search(false); });
    connect(m_more, &QPushButton::clicked, this, [this] { m_fetch->search(true); });
    connect(m_fetchBtn, &QPushButton::clicked, this, &AlbumPage::fetchSelected);
    connect(m_findLengths, &QPushButton::clicked, this, [this] { m_fetch->findByLengths(); });
    // Enter on a result, or a double click, fetches it.
    connect(m_results, &QListWidget::itemActivated, this, &AlbumPage::fetchSelected);
    // "2 - Retrieve details" reads the selected result: without one it has nothing to do.
    connect(m_results, &QListWidget::itemSelectionChanged, this, [this] { showButtons(m_fetch->buttons()); });

    connect(m_mp3, &QListWidget::itemSelectionChanged, this, &AlbumPage::syncSelectionToSession);
    connect(m_mp3, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_syncing)
            m_session.mp3Focus = row;
    });
    connect(m_tracks, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_syncing)
            m_session.tracksFocus = row;
    });
    connect(m_source, &QComboBox::currentTextChanged, this, [this](const QString& source) {
        chooseSource(source);
        SetSetting(setting::kLookupSource, source);
    });
    connect(m_cover, &QCheckBox::toggled, this, [this](bool on) {
        m_fetch->setFetchCover(on);
        SetSetting(setting::kEmbedCover, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    for (QLineEdit* e : {m_artist, m_album, m_year, m_genre})
        connect(e, &QLineEdit::textChanged, this, &AlbumPage::readFieldsToSession);
    m_mp3->viewport()->installEventFilter(this);
    syncFromSession();
}

AlbumPage::~AlbumPage() = default;

void AlbumPage::buildUi()
{
    auto* grid = new QGridLayout(this);

    // Left: the folder, its files and the apply options.
    auto* choose = frame(this, "choosefold_frm");
    auto* chooseL = new QGridLayout(choose);
    m_path = named<QLineEdit>(choose, "path_txt");
    m_path->setReadOnly(true);
    m_ext = named<QLineEdit>(choose, "ext_txt");
    m_ext->setReadOnly(true);
    m_ext->setMaximumWidth(70);
    chooseL->addWidget(m_path, 0, 0);
    chooseL->addWidget(m_ext, 0, 1);
    chooseL->addWidget(named<QPushButton>(choose, "browse_btn"), 0, 2);
    // Many album folders at once, below the one folder's row.
    chooseL->addWidget(named<QPushButton>(choose, "many_btn"), 1, 1, 1, 2);
    chooseL->setColumnStretch(0, 1);

    auto* files = frame(this, "curfiles_frm");
    auto* filesL = new QHBoxLayout(files);
    m_mp3 = named<QListWidget>(files, "mp3_lst");
    m_mp3->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_mp3->setItemDelegate(new LengthDelegate(m_mp3));
    filesL->addWidget(m_mp3, 1);
    auto* fileButtons = new QVBoxLayout;
    for (const char* name :
         {"up_btn", "down_btn", "delete_btn", "ghost_btn", "clear_btn", "info_btn", "autosort_btn", "undo_btn"})
        fileButtons->addWidget(named<QPushButton>(files, name));
    fileButtons->addStretch(1);
    filesL->addLayout(fileButtons);
    m_up = files->findChild<QPushButton*>("up_btn");
    m_undo = files->findChild<QPushButton*>("undo_btn");

    auto* opt = frame(this, "opt_frm");
    auto* optL = new QGridLayout(opt);
    m_ren = named<QCheckBox>(opt, "ren_chk");
    m_testLbl = named<QLabel>(opt, "test_lbl");
    m_pls = named<QCheckBox>(opt, "pls_chk");
    m_plsLbl = named<QLabel>(opt, "pls_lbl");
    m_v1 = named<QCheckBox>(opt, "ID3v1_chk");
    m_v1->setText(QStringLiteral("ID3v1"));
    m_v2 = named<QCheckBox>(opt, "ID3v2_chk");
    m_v2->setText(QStringLiteral("ID3v2"));
    m_tags = named<QCheckBox>(opt, "tags_chk");
    m_tags->setVisible(false); // until a folder of another format than MP3 is chosen
    for (QCheckBox* c : {m_ren, m_pls, m_v1, m_v2, m_tags})
        c->setChecked(true);
    optL->addWidget(m_ren, 0, 0);
    optL->addWidget(m_testLbl, 0, 1);
    optL->addWidget(m_pls, 1, 0);
    optL->addWidget(m_plsLbl, 1, 1);
    optL->addWidget(m_v1, 2, 0);
    optL->addWidget(m_v2, 2, 1);
    optL->addWidget(m_tags, 2, 0, 1, 2); // in the ID3 options' place, shown instead of them
    m_cover = named<QCheckBox>(opt, "cover_chk");
    m_cover->setChecked(Setting(setting::kEmbedCover).trimmed() == QLatin1String("1"));
    optL->addWidget(m_cover, 3, 0, 1, 2);
    optL->setColumnStretch(1, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(choose);
    left->addWidget(files, 1);
    left->addWidget(opt);

    // Right: the steps, the search results, the fetched disc.
    auto* steps = frame(this, "steps_frm");
    auto* stepsL = new QHBoxLayout(steps);
    // Where step 1 looks albums up; a row of the results keeps its own source.
    m_source = named<QComboBox>(steps, "source_cmb");
    m_source->addItems({QStringLiteral("CDDB"), MusicBrainzSource::sourceName(), AcoustIdSource::sourceName()});
    m_source->setCurrentText(Setting(setting::kLookupSource).trimmed());
    stepsL->addWidget(named<QLabel>(steps, "source_lbl"));
    stepsL->addWidget(m_source);
    m_go = named<QPushButton>(steps, "go_btn");
    m_more = named<QPushButton>(steps, "more_btn");
    m_findLengths = named<QPushButton>(steps, "findlen_btn");
    m_findLengths->setText(QString::fromLatin1(kFindByLengthsCaption));
    m_fetchBtn = named<QPushButton>(steps, "fetch_btn");
    m_apply = named<QPushButton>(steps, "apply_btn");
    for (QPushButton* b : {m_go, m_more, m_findLengths, m_fetchBtn, m_apply})
        stepsL->addWidget(b);
    m_undo->setEnabled(false);

    auto* res = frame(this, "res_frm");
    auto* resL = new QVBoxLayout(res);
    m_results = named<QListWidget>(res, "resalb_lst");
    resL->addWidget(m_results);

    auto* alb = frame(this, "alb_frm");
    auto* albL = new QGridLayout(alb);
    m_artist = named<QLineEdit>(alb, "artist_txt");
    m_album = named<QLineEdit>(alb, "album_txt");
    m_year = named<QLineEdit>(alb, "year_txt");
    m_genre = named<QLineEdit>(alb, "genre_txt");
    albL->addWidget(named<QLabel>(alb, "artist_lbl"), 0, 0);
    albL->addWidget(m_artist, 0, 1, 1, 3);
    albL->addWidget(named<QLabel>(alb, "album_lbl"), 1, 0);
    albL->addWidget(m_album, 1, 1, 1, 3);
    albL->addWidget(named<QLabel>(alb, "year_lbl"), 2, 0);
    albL->addWidget(m_year, 2, 1);
    albL->addWidget(named<QPushButton>(alb, "helpgenre_btn"), 2, 2);
    albL->addWidget(m_genre, 2, 3);
    albL->setColumnStretch(3, 1);

    auto* sel = frame(this, "sel_frm");
    auto* selL = new QVBoxLayout(sel);
    m_tracks = named<QListWidget>(sel, "tracks_lst");
    m_tracks->setItemDelegate(new LengthDelegate(m_tracks));
    selL->addWidget(m_tracks, 1);
    auto* info2 = named<QPushButton>(sel, "info2_btn");
    selL->addWidget(info2, 0, Qt::AlignRight);

    auto* right = new QVBoxLayout;
    right->addWidget(steps);
    right->addWidget(res, 1);
    right->addWidget(alb);
    right->addWidget(sel, 2);

    grid->addLayout(left, 0, 0);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
}

void AlbumPage::transme()
{
    auto text = [this](const char* name, const QString& caption) {
        QWidget* w = findChild<QWidget*>(QString::fromLatin1(name));
        if (auto* b = qobject_cast<QPushButton*>(w))
            b->setText(caption);
        else if (auto* c = qobject_cast<QCheckBox*>(w))
            c->setText(caption);
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            g->setTitle(caption);
        else if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(caption);
    };
    text("choosefold_frm", LanguageText(5));
    text("browse_btn", LanguageText(6));
    text("opt_frm", LanguageText(20));
    text("ren_chk", LanguageText(21));
    text("pls_chk", LanguageText(22));
    text("steps_frm", LanguageText(40));
    text("go_btn", "1 - " + LanguageText(41));
    text("more_btn", LanguageText(42));
    text("fetch_btn", "2 - " + LanguageText(43));
    text("apply_btn", "3 - " + LanguageText(44));
    text("curfiles_frm", LanguageText(11));
    text("artist_lbl", LanguageText(28));
    text("helpgenre_btn", LanguageText(30));
    text("up_btn", LanguageText(12));
    text("down_btn", LanguageText(13));
    text("delete_btn", LanguageText(14));
    text("ghost_btn", LanguageText(15));
    text("clear_btn", LanguageText(16));
    text("info_btn", LanguageText(17));
    text("autosort_btn", LanguageText(18));
    text("undo_btn", LanguageText(19));
    text("res_frm", LanguageText(24));
    text("alb_frm", LanguageText(25));
    text("sel_frm", LanguageText(26));
    text("album_lbl", LanguageText(29));
    text("year_lbl", LanguageText(31));
    // The second statistics button beside the fetched tracks carries the same caption.
    text("info2_btn", LanguageText(17));
    text("source_lbl", lookuptext::Source());
    text("cover_chk", lookuptext::EmbedFrontCover());
    text("tags_chk", LocalText("Write tags", "Écrire les étiquettes"));
    text("many_btn", ImportWindow::OpenCaption());
    if (m_import)
        m_import->transme();
}

void AlbumPage::prepare()
{
    const PatternSamples s = RefreshPatternSamples(m_session);
    m_ren->setEnabled(s.renameEnabled);
    m_pls->setEnabled(s.playlistEnabled);
    m_testLbl->setText(s.renameSample);
    m_plsLbl->setText(s.playlistSample);
    m_testLbl->setVisible(s.renameEnabled);
    m_plsLbl->setVisible(s.playlistEnabled);
}

void AlbumPage::afterStartup()
{
    m_session.undoAvailable = false;
    LookupButtons buttons = m_fetch->buttons();
    buttons.more = false;
    m_fetch->setButtons(buttons);
    InitResFrm();
    m_session.ext = QStringLiteral("Unknown");
    syncFromSession();
}

void AlbumPage::showButtons(const LookupButtons& buttons)
{
    // A source that finds albums by the files' sound alone has no words to search for.
    const bool words = m_source->currentText() != AcoustIdSource::sourceName();
    m_go->setEnabled(buttons.search && words);
    m_more->setEnabled(buttons.more && words);
    m_fetchBtn->setEnabled(buttons.fetch && !m_results->selectedItems().isEmpty());
    m_findLengths->setEnabled(buttons.findLengths);
    m_apply->setEnabled(buttons.apply);
}

void AlbumPage::chooseSource(const QString& source)
{
    m_fetch->chooseSource(source);
    showButtons(m_fetch->buttons());
    m_findLengths->setText(QString::fromLatin1(source == AcoustIdSource::sourceName() ? kFindByFilesCaption
                                                                                     : kFindByLengthsCaption));
}

void AlbumPage::fetchSelected()
{
    const QListWidgetItem* item = m_results->currentItem();
    m_fetch->fetch(item && item->isSelected() ? m_results->currentRow() : -1);
}

void AlbumPage::genreTableMissing()
{
    m_v1->setEnabled(false);
}

void AlbumPage::InitResFrm()
{
    m_session.initResFrm();
}

void AlbumPage::syncFromSession()
{
    m_syncing = true;
    m_session.normaliseSelection();
    if (m_path->text() != m_session.path)
        m_path->setText(m_session.path);
    if (m_ext->text() != m_session.ext)
        m_ext->setText(m_session.ext);
    const QList<std::pair<QLineEdit*, QString*>> fields = {
        {m_artist, &m_session.artist}, {m_album, &m_session.album}, {m_year, &m_session.year}, {m_genre, &m_session.genre}};
    for (const auto& [edit, value] : fields)
        if (edit->text() != *value)
            edit->setText(*value);

    bool same = m_mp3->count() == m_session.mp3.size();
    for (int i = 0; same && i < m_mp3->count(); ++i)
        same = m_mp3->item(i)->text() == dorvane::io::DisplayName(m_session.mp3.at(i).text);
    if (!same) {
        m_mp3->clear();
        for (const ListItem& e : m_session.mp3)
            m_mp3->addItem(dorvane::io::DisplayName(e.text)); // the name as shown, not its bytes
    }
    for (int i = 0; i < m_mp3->count(); ++i) {
        m_mp3->item(i)->setData(Qt::UserRole, m_session.mp3.at(i).data);
        m_mp3->item(i)->setSelected(m_session.isSelected(i));
    }
    if (m_session.mp3Focus >= 0 && m_session.mp3Focus < m_mp3->count())
        m_mp3->setCurrentRow(m_session.mp3Focus, QItemSelectionModel::NoUpdate);

    bool sameTracks = m_tracks->count() == m_session.tracks.size();
    for (int i = 0; sameTracks && i < m_tracks->count(); ++i)
        sameTracks = m_tracks->item(i)->text() == m_session.tracks.at(i);
    if (!sameTracks) {
        m_tracks->clear();
        m_tracks->addItems(m_session.tracks);
    }
    if (m_session.tracksFocus >= 0 && m_session.tracksFocus < m_tracks->count())
        m_tracks->setCurrentRow(m_session.tracksFocus);
    showLengths();

    // Before this window's first Apply: the journal's last one, from before a restart.
    m_undo->setEnabled(m_session.undoAvailable || (m_session.applyRun.isEmpty() && AlbumApplyToUndo()));
    m_syncing = false;
}

qint64 AlbumPage::fileLength(int i)
{
    const ListItem& e = m_session.mp3.at(i);
    if (e.text.compare(kFakeTrack, Qt::CaseInsensitive) == 0)
        return 0;
    const QString path = m_session.path + '/' + e.text;
    auto it = m_lengths.constFind(path);
    if (it == m_lengths.constEnd())
        it = m_lengths.insert(path, MeasureMs(path));
    return *it;
}

void AlbumPage::showLengths()
{
    const QBrush warning(LengthWarningColour());
    for (int i = 0; i < m_mp3->count() && i < m_session.mp3.size(); ++i) {
        const qint64 ms = fileLength(i);
        const bool differs = i < m_session.fetched.size() && LengthsDiffer(ms, m_session.fetched.at(i).data);
        QListWidgetItem* file = m_mp3->item(i);
        file->setData(kLengthRole, ShortLength(ms));
        file->setToolTip(m_session.mp3.at(i).text); // the whole name where it is elided
        file->setForeground(differs ? warning : QBrush());
        if (i < m_tracks->count())
            m_tracks->item(i)->setForeground(differs ? warning : QBrush());
    }
    for (int i = 0; i < m_tracks->count(); ++i) {
        m_tracks->item(i)->setData(kLengthRole,
                                   i < m_session.fetched.size() ? ShortLength(m_session.fetched.at(i).data * 1000 / 75)
                                                                : QString());
        if (i >= m_mp3->count())
            m_tracks->item(i)->setForeground(QBrush());
    }
}

void AlbumPage::syncSelectionToSession()
{
    if (m_syncing)
        return;
    m_session.normaliseSelection();
    for (int i = 0; i < m_mp3->count() && i < m_session.mp3.size(); ++i)
        m_session.mp3Selected[i] = m_mp3->item(i)->isSelected();
    m_session.mp3Focus = m_mp3->currentRow();
}

void AlbumPage::readFieldsToSession()
{
    if (m_syncing)
        return;
    m_session.artist = m_artist->text();
    m_session.album = m_album->text();
    m_session.year = m_year->text();
    m_session.genre = m_genre->text();
}

void AlbumPage::browse()
{
    browseTo(QString(), QString());
}

void AlbumPage::openFolder(const QString& folder, const QString& format)
{
    browseTo(folder, format);
}

ImportWindow* AlbumPage::showImportWindow()
{
    if (!m_import) {
        m_import = new ImportWindow(this);
        connect(m_import, &ImportWindow::openAlbum, this, [this](const QString& folder, const QString& format) {
            openFolder(folder, format);
            window()->raise();
            window()->activateWindow();
        });
        // Over the main window, as its dialogs open.
        m_import->move(window()->geometry().center() - m_import->rect().center());
    }
    m_import->show();
    m_import->raise();
    m_import->activateWindow();
    return m_import;
}

void AlbumPage::browseTo(const QString& given, const QString& givenFormat)
{
    m_session.mp3.clear();
    m_session.mp3Selected.clear();
    m_session.mp3Focus = -1;
    m_session.ext.clear();
    syncFromSession();

    QString folder = given, format = givenFormat;
    bool another = false;
    if (!given.isEmpty() || ChooseFolder(this, ChooserMode::AlbumFolder, &folder, &format)) {
        another = folder != m_session.path;
        m_lengths.clear(); // measured anew: a file may have changed meanwhile
        m_session.path = folder;
        m_session.ext = format;
        // The discs found belong to the folder before.
        m_fetch->clearResults();
    }
    if (another) {
        // So does the disc fetched for it: its titles would tag this folder's files.
        m_session.initResFrm();
        LookupButtons buttons = m_fetch->buttons();
        buttons.apply = false;
        m_fetch->setButtons(buttons);
    }
    if (m_session.ext.isEmpty()) {
        syncFromSession();
        return;
    }
    const bool mp3 = m_session.ext.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0;
    m_v1->setEnabled(mp3);
    m_v2->setEnabled(m_v1->isEnabled());
    // MP3 keeps its two ID3 options; every other format has one option for its own tags.
    m_v1->setVisible(mp3);
    m_v2->setVisible(mp3);
    m_tags->setVisible(!mp3);
    m_tags->setEnabled(!mp3 && FormatInfo(FormatNamed(m_session.ext)).tagged);

    QStringList names = ListFolderFiles(m_session.path, m_session.ext);
    SetCancelRequested(false);
    SortListBox(names);
    m_session.setFiles(names);
    LookupButtons buttons = m_fetch->buttons();
    buttons.search = !m_session.mp3.isEmpty();
    buttons.more = false;
    m_fetch->setButtons(buttons);
    m_session.undoAvailable = false;
    syncFromSession();
}

void AlbumPage::clearFiles()
{
    m_session.clearFiles();
}

void AlbumPage::deleteSelected()
{
    m_session.deleteSelected();
}

void AlbumPage::addFakeTrack()
{
    m_session.addFakeTrack();
}

void AlbumPage::moveUp()
{
    m_session.moveUp();
}

void AlbumPage::moveDown()
{
    m_session.moveDown();
}

void AlbumPage::showStatistics()
{
    StatsDialog dlg(m_session, this);
    ExecDialog(&dlg);
}

void AlbumPage::autoSort()
{
    if (m_session.mp3.isEmpty())
        return;
    if (m_session.hasFakeTrack() || m_session.mp3.size() != m_session.fetched.size()) {
        ShowMessage(text::AutoSortNeedsEqualCounts());
        return;
    }
    AutosortDialog dlg(m_session, this);
    ExecDialog(&dlg);
}

void AlbumPage::apply()
{
    ApplyOptions o;
    o.rename = m_ren->isChecked() && m_ren->isEnabled();
    o.playlist = m_pls->isChecked() && m_pls->isEnabled();
    o.id3v1 = m_v1->isChecked() && m_v1->isEnabled();
    o.id3v2 = m_v2->isChecked() && m_v2->isEnabled();
    o.tags = m_tags->isChecked() && m_tags->isEnabled() && m_tags->isVisibleTo(this);
    o.embedCover = m_cover->isChecked();
    readFieldsToSession();
    if (!o.rename && !o.playlist && !o.id3v1 && !o.id3v2 && !o.tags) {
        ApplyAlbum(m_session, o, m_talk); // says which option is missing
        return;
    }
    if (m_session.fetched.size() != m_session.mp3.size()) {
        ShowMessage(text::TrackCountDiffers()); // nothing would be tagged or renamed
        return;
    }
    // What Apply will do, before it does it: the lengths beside each file and track, and
    // the rows that will be left alone.
    MeasureMissingLengths(m_session);
    ApplyOptions preview = o;
    preview.dryRun = true;
    preview.quiet = true;
    ApplyPreview dlg(ApplyAlbum(m_session, preview, m_talk), this);
    if (ExecDialog(&dlg) != QDialog::Accepted)
        return;
    const ApplyResult result = ApplyAlbum(m_session, o, m_talk, [this](bool running) {
        // The file list and the disc stay as they are while the files are worked on: the
        // pass pairs them by position between its yields.
        static const char* const kFrozen[] = {"choosefold_frm", "curfiles_frm", "opt_frm", "alb_frm", "sel_frm"};
        LookupButtons buttons = m_fetch->buttons();
        buttons.apply = buttons.search = buttons.fetch = buttons.more = !running;
        m_fetch->setButtons(buttons);
        if (running) {
            for (const char* f : kFrozen)
                findChild<QWidget*>(QString::fromLatin1(f))->setEnabled(false);
            SetBusy(true);
        } else {
            SetBusy(false);
            for (const char* f : kFrozen)
                findChild<QWidget*>(QString::fromLatin1(f))->setEnabled(true);
            m_session.undoAvailable = true;
            syncFromSession();
        }
    });
    if (!result.somethingDone) {
        m_session.undoAvailable = false;
        syncFromSession();
    }
}

void AlbumPage::undo()
{
    int restored = 0;
    const int left = m_session.undoAvailable ? UndoAlbum(m_session, m_talk, &restored)
                                             : UndoLastAlbumApply(m_session, m_talk, &restored);
    SetStatusText(UndoCountsLine(restored, left));
}

void AlbumPage::chooseGenre()
{
    QString genre = m_session.genre;
    if (ChooseGenre(this, genre)) {
        m_session.genre = genre;
        syncFromSession();
    }
}

void AlbumPage::editTrack()
{
    m_session.tracksFocus = m_tracks->currentRow();
    EditFocusedTrack(m_session, this);
}

bool AlbumPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_mp3->viewport())
        return Page::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        m_dragIndex = m_mp3->indexAt(me->position().toPoint()).row();
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->buttons() != Qt::LeftButton || !m_up->isEnabled() || m_dragIndex < 0)
            break;
        const int focus = m_mp3->indexAt(me->position().toPoint()).row();
        const int moved = m_session.dragMove(m_dragIndex, focus);
        if (moved != m_dragIndex) {
            m_dragIndex = moved;
            m_mp3->setToolTip(dorvane::io::DisplayName(m_session.mp3.at(moved).text));
        }
        // A drag moves the entry; it does not stretch the selection over the rows passed.
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_dragIndex = -1;
        break;
    default:
        break;
    }
    return Page::eventFilter(watched, event);
}

} // namespace tunora
