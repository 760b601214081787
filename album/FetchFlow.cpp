#include "album/FetchFlow.h"

#include "album/AlbumSession.h"
#include "album/LookupTexts.h"
#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/FreedbTexts.h"
#include "freedb/WebClient.h"
#include "shell/Dialogs.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tunora {

AskQuery::AskQuery(const QString& folder, QString& words, QWidget* parent)
    : QDialog(parent), m_words(words), m_label(new QLabel(this)), m_query(new QLineEdit(this)),
      m_ok(new QPushButton(this))
{
    setObjectName(QStringLiteral("AskQuery"));
    m_label->setObjectName(QStringLiteral("txt_lbl"));
    m_query->setObjectName(QStringLiteral("query_txt"));
    m_ok->setObjectName(QStringLiteral("ok_btn"));
    m_ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_query);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_ok);
    layout->addLayout(row);
    setMinimumWidth(360);
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    transme();

    // The album folder's own name is the likeliest words.
    const QStringList parts = folder.split(QLatin1Char('/'));
    if (parts.size() >= 3)
        m_query->setText(parts.last());

    connect(m_ok, &QPushButton::clicked, this, &AskQuery::accepted);
}

void AskQuery::transme()
{
    setWindowTitle(LanguageText(78));
    m_label->setText(LanguageText(77));
    m_ok->setText(LanguageText(65));
}

void AskQuery::accepted()
{
    m_words = CleanQueryWords(m_query->text());
    accept();
}

namespace {

// Marks the flow as running for one operation; a second click meanwhile (a double click on
// a result while a fetch waits) does nothing.
class RunningScope {
public:
    explicit RunningScope(bool& flag) : m_flag(flag), m_entered(!flag) { m_flag = true; }
    ~RunningScope()
    {
        if (m_entered)
            m_flag = false;
    }
    bool entered() const { return m_entered; }

private:
    bool& m_flag;
    bool m_entered;
};

} // namespace

FetchFlow::FetchFlow(AlbumSession& session, QWidget* albumPage) : QObject(nullptr), m_session(session), m_page(albumPage)
{
}

FetchFlow::~FetchFlow() = default;

template <class T>
T* FetchFlow::control(const char* name) const
{
    return m_page ? m_page->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

void FetchFlow::setEnabled(const char* name, bool on) const
{
    if (auto* w = control<QWidget>(name))
        w->setEnabled(on);
}

bool FetchFlow::isEnabled(const char* name) const
{
    auto* w = control<QWidget>(name);
    return w && w->isEnabled();
}

QString FetchFlow::TrackLine(int i, const QString& title)
{
    return AlbumSession::trackLine(i, title, true);
}

void FetchFlow::InitResFrm()
{
    m_session.initResFrm();
}

void FetchFlow::showResults()
{
    if (auto* list = control<QListWidget>("resalb_lst")) {
        list->clear();
        // Each row names the source it came from.
        for (const QString& text : std::as_const(m_results.List3))
            list->addItem(QStringLiteral("CDDB: ") + text);
        for (const LookupHit& hit : std::as_const(m_hits))
            list->addItem(hit.source + QStringLiteral(": ") + hit.display);
    }
}

bool FetchFlow::musicBrainzChosen() const
{
    const auto* choice = control<QComboBox>("source_cmb");
    return choice && choice->currentText() == MusicBrainzSource::sourceName();
}

int FetchFlow::rowCount() const
{
    return static_cast<int>(m_results.size() + m_hits.size());
}

void FetchFlow::clearResults()
{
    m_results.clear();
    m_hits.clear();
    showResults();
    setEnabled("fetch_btn", false);
}

LookupOutcome FetchFlow::askMusicBrainz(const std::function<void()>& start)
{
    SetStatusText(lookuptext::AskingMusicBrainz());
    return AwaitLookup(m_musicBrainz, start);
}

void FetchFlow::listedCddb(const QString& refusal)
{
    showResults();
    if (m_results.size() > 0)
        setEnabled("fetch_btn", true);
    else
        ShowMessage(failureText(62, refusal));
    ErrorOccured();
}

void FetchFlow::listMusicBrainz(const std::function<void()>& start)
{
    const LookupOutcome o = askMusicBrainz(start);
    m_hits = o.hits;
    showResults();
    if (rowCount() > 0)
        setEnabled("fetch_btn", true);
    else
        ShowMessage(withReason(62, o.failure));
}

QString FetchFlow::withReason(int text, const QString& why)
{
    return why.isEmpty() ? LanguageText(text) : LanguageText(text) + QLatin1String("\n\n") + why;
}

QString FetchFlow::failureText(int text, const QString& refusal)
{
    return freedbtext::WithReason(LanguageText(text), refusal, WebClient::instance().lastNotice());
}

void FetchFlow::tellAboutAnonymousHello()
{
    if (m_toldAnonymous || !Setting(setting::kCddbUser).trimmed().isEmpty())
        return;
    m_toldAnonymous = true;
    ShowMessage(freedbtext::AnonymousHello());
}

void FetchFlow::search(bool more)
{
    RunningScope running(m_running);
    if (!running.entered())
        return;
    if (more) {
        SearchFreeDB(true);
        setEnabled("more_btn", false);
        return;
    }
    SetBusy(true);
    if (!m_session.mp3.isEmpty()) {
        SearchFreeDB(false);
    } else {
        ShowMessage(LanguageText(167));
        SetBusy(false);
    }
}

void FetchFlow::SearchFreeDB(bool more)
{
    const bool moreWasEnabled = isEnabled("more_btn");
    setEnabled("more_btn", false);
    if (!more && isEnabled("apply_btn") && !AskYesNo(LanguageText(61))) {
        SetBusy(false); // the search button's busy state ends with the search
        return;
    }

    if (!more) {
        QString words = query_txt;
        AskQuery dialog(m_session.path, words, m_page);
        if (ExecDialog(&dialog) != QDialog::Accepted) {
            // Escape or the close box: nothing is searched, and the page stays as it was.
            setEnabled("more_btn", moreWasEnabled);
            SetBusy(false);
            return;
        }
        query_txt = words;
    } else if (!musicBrainzChosen()) {
        query_txt = MoreWords(query_txt);
    }

    SetBusy(true);
    WebClient::instance().resetReceivedBytes();
    web_txt.clear();
    setEnabled("apply_btn", false);
    setEnabled("go_btn", false);
    setEnabled("findlen_btn", false);
    setEnabled("fetch_btn", false);
    clearResults();
    InitResFrm();

    const bool musicBrainz = musicBrainzChosen();
    if (query_txt.trimmed().isEmpty()) {
        setEnabled("go_btn", true);
        setEnabled("findlen_btn", true);
        SetBusy(false);
        return;
    }

    if (musicBrainz) {
        // The same words, widened to either field by the service's query for "more".
        listMusicBrainz([&] { m_musicBrainz.searchWords(query_txt, more); });
    } else {
        tellAboutAnonymousHello();
        SetStatusText(freedbtext::Contacting());
        QString error, refusal;
        if (more)
            RunWebSearch(query_txt, m_results, &web_txt, &error, &refusal);
        else
            RunWordSearch(query_txt, m_results, &web_txt, &error, &refusal);
        listedCddb(refusal);
    }

    SetStatusText(QString());
    setEnabled("go_btn", true);
    setEnabled("findlen_btn", true);
    setEnabled("more_btn", !more);
    SetBusy(false);
}

void FetchFlow::fetch()
{
    RunningScope running(m_running);
    if (!running.entered())
        return;
    auto* list = control<QListWidget>("resalb_lst");
    if (!list)
        return;
    const int index = list->currentRow();
    if (index < 0 || !list->item(index)->isSelected() || index >= rowCount())
        return;

    setEnabled("fetch_btn", false);
    setEnabled("apply_btn", false);
    setEnabled("go_btn", false);
    setEnabled("findlen_btn", false);
    setEnabled("more_btn", false);
    // The row's own source, whatever the choice is now.
    bool read = false;
    if (!m_hits.isEmpty()) {
        read = fetchMusicBrainz(m_hits.at(index));
    } else {
        WebClient::instance().resetReceivedBytes();
        SetStatusText(freedbtext::Contacting());
        const QString category = m_results.categ_lst.at(index);
        const QString discid = m_results.List2.at(index);
        DiscRecord record;
        record.artist = m_session.artist;
        record.album = m_session.album;
        record.year = m_session.year;
        m_session.fetched.clear();
        QString error, refusal;
        read = ReadCDDBDisc(category, discid, record, &error, &refusal);
        if (!read) {
            m_session.notifyChanged();
            ShowMessage(failureText(54, refusal));
        } else {
            m_session.artist = record.artist;
            m_session.album = record.album;
            m_session.year = record.year;
            for (const CddbTrack& t : std::as_const(record.tracks))
                m_session.fetched.append({t.title, t.frames});
            m_session.genre = category;
            // A CDDB entry tells no medium and has no picture.
            m_session.discNumber = m_session.discCount = 0;
            m_session.frontCover.clear();
        }
    }
    if (read) {
        setEnabled("apply_btn", true);
        m_session.tracks.clear();
        for (int i = 0; i < m_session.fetched.size(); ++i)
            m_session.tracks << TrackLine(i, m_session.fetched.at(i).text);
        m_session.notifyChanged();

        if (m_session.tracks.size() > m_session.mp3.size() && AskYesNo(LanguageText(53))) {
            while (m_session.mp3.size() < m_session.tracks.size())
                m_session.addFakeTrack();
        }
    }

    SetStatusText(QString());
    setEnabled("fetch_btn", true);
    setEnabled("more_btn", true);
    setEnabled("go_btn", true);
    setEnabled("findlen_btn", true);
}

void FetchFlow::findByLengths()
{
    if (!lookUpByLengths())
        return;
    // The one exact match is the disc: it is fetched as Enter or a double click on it would.
    if (auto* list = control<QListWidget>("resalb_lst"); list && list->count() == 1) {
        list->setCurrentRow(0);
        fetch();
    }
}

bool FetchFlow::lookUpByLengths()
{
    RunningScope running(m_running);
    if (!running.entered())
        return false;
    if (m_session.mp3.isEmpty()) {
        ShowMessage(LanguageText(167));
        return false;
    }
    QStringList paths;
    bool fake = false;
    for (const ListItem& item : std::as_const(m_session.mp3)) {
        fake = fake || item.text.trimmed().compare(kFakeTrack, Qt::CaseInsensitive) == 0;
        paths << m_session.path + QLatin1Char('/') + item.text;
    }
    QList<qint64> lengths;
    if (fake || !MeasurePlayingTimes(paths, lengths)) {
        ShowMessage(freedbtext::NoPlayingTimes());
        return false;
    }
    if (isEnabled("apply_btn") && !AskYesNo(LanguageText(61)))
        return false;

    SetBusy(true);
    WebClient::instance().resetReceivedBytes();
    setEnabled("more_btn", false);
    setEnabled("apply_btn", false);
    setEnabled("go_btn", false);
    setEnabled("findlen_btn", false);
    setEnabled("fetch_btn", false);
    clearResults();
    InitResFrm();

    bool exact = false;
    if (musicBrainzChosen()) {
        // The files laid end to end as a disc: the service also matches discs by their lengths.
        listMusicBrainz([&] { m_musicBrainz.searchLengths(lengths); });
    } else {
        tellAboutAnonymousHello();
        SetStatusText(freedbtext::Contacting());
        QList<QueryMatch> matches;
        QString error, refusal;
        QueryCDDB(LayoutFromLengths(lengths), matches, &error, &refusal, &exact);
        m_results.addMatches(matches);
        listedCddb(refusal);
    }
    SetStatusText(QString());
    setEnabled("go_btn", true);
    setEnabled("findlen_btn", true);
    SetBusy(false);
    return exact && m_results.size() == 1;
}

// Reads the hit's medium (the one with as many tracks as files when the row names none),
// with the release's front cover when cover_chk is checked.
bool FetchFlow::fetchMusicBrainz(const LookupHit& hit)
{
    const auto* cover = control<QCheckBox>("cover_chk");
    m_musicBrainz.setFetchCover(cover && cover->isChecked());
    m_musicBrainz.setFileCount(m_session.mp3.size());
    m_session.fetched.clear();
    const LookupOutcome o = askMusicBrainz([&] { m_musicBrainz.read(hit); });
    if (!o.ok) {
        m_session.notifyChanged();
        ShowMessage(withReason(54, o.failure));
        return false;
    }
    m_session.artist = o.disc.artist;
    m_session.album = o.disc.album;
    m_session.year = o.disc.year;
    for (const LookupTrack& t : o.disc.tracks)
        m_session.fetched.append({t.title, t.frames});
    m_session.discNumber = o.disc.discNumber;
    m_session.discCount = o.disc.discCount;
    m_session.frontCover = o.disc.frontCover;
    return true;
}

} // namespace tunora
