#include "album/FetchFlow.h"

#include "album/AlbumSession.h"
#include "lookup/LookupTexts.h"
#include "lookup/PlayingTimes.h"
#include "freedb/FreedbTexts.h"
#include "freedb/Search.h"
#include "shell/Dialogs.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"
#include "shell/core/Ui.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

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

void AskQuery::nameSource(const QString& source)
{
    m_sourceName = source;
    transme();
}

void AskQuery::transme()
{
    if (m_sourceName.isEmpty() || m_sourceName == CddbSource::sourceName())
        setWindowTitle(LanguageText(78));
    else
        setWindowTitle(LocalText("Search %1", "Rechercher dans %1").arg(m_sourceName));
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

FetchFlow::FetchFlow(AlbumSession& session, QWidget* dialogParent)
    : QObject(nullptr), m_session(session), m_dialogParent(dialogParent)
{
    // A source's progress (the CDDB client's download counter) is the status line.
    for (LookupSource* source : {static_cast<LookupSource*>(&m_cddb), static_cast<LookupSource*>(&m_musicBrainz),
                                 static_cast<LookupSource*>(&m_acoustId)})
        connect(source, &LookupSource::statusChanged, this, [](const QString& text) { SetStatusText(text); });
}

FetchFlow::~FetchFlow() = default;

QString FetchFlow::TrackLine(int i, const QString& title)
{
    return AlbumSession::trackLine(i, title, true);
}

void FetchFlow::InitResFrm()
{
    m_session.initResFrm();
}

void FetchFlow::chooseSource(const QString& name)
{
    m_source = &m_cddb;
    for (LookupSource* source : {static_cast<LookupSource*>(&m_musicBrainz), static_cast<LookupSource*>(&m_acoustId)})
        if (name == source->name())
            m_source = source;
}

void FetchFlow::setButtons(const LookupButtons& buttons)
{
    changeButtons([&](LookupButtons& b) { b = buttons; });
}

void FetchFlow::changeButtons(const std::function<void(LookupButtons&)>& edit)
{
    const LookupButtons before = m_buttons;
    edit(m_buttons);
    if (m_buttons != before)
        Q_EMIT buttonsChanged(m_buttons);
}

void FetchFlow::showResults()
{
    QStringList rows;
    for (const LookupHit& hit : std::as_const(m_hits))
        rows << hit.source + QStringLiteral(": ") + hit.display;
    Q_EMIT resultsChanged(rows);
}

void FetchFlow::clearResults()
{
    m_hits.clear();
    showResults();
    changeButtons([](LookupButtons& b) { b.fetch = false; });
}

LookupOutcome FetchFlow::ask(LookupSource& source, const std::function<void()>& start, const QString& status)
{
    SetStatusText(status.isEmpty() ? source.statusText() : status);
    m_cancelled = false;
    if (&source == &m_cddb)
        return AwaitLookup(source, start); // its web client answers the cancel button itself
    // The cancel button only raises a flag: it is looked at while the request runs.
    SetCancelRequested(false);
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (CancelRequested() && source.isRunning()) {
            m_cancelled = true;
            source.cancel();
        }
    });
    watch.start(50);
    return AwaitLookup(source, start);
}

void FetchFlow::list(const LookupSource& source, const LookupOutcome& outcome)
{
    m_hits = outcome.hits;
    showResults();
    if (m_cancelled)
        return; // the user ended it: nothing to tell
    if (!m_hits.isEmpty())
        changeButtons([](LookupButtons& b) { b.fetch = true; });
    else if (source.lastFailureRefused())
        ShowMessage(outcome.failure); // the service's refusal says more than "nothing found"
    else
        ShowMessage(withReason(text::NoDiscFound(), outcome.failure));
}

QString FetchFlow::withReason(const QString& message, const QString& why)
{
    return why.isEmpty() ? message : message + QLatin1String("\n\n") + why;
}

// The CDDB server takes a hello without an address, but the user is told once that it
// identifies them better with one.
void FetchFlow::tellAboutAnonymousHello()
{
    if (m_source != &m_cddb || m_toldAnonymous || !Setting(setting::kCddbUser).trimmed().isEmpty())
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
        changeButtons([](LookupButtons& b) { b.more = false; });
        return;
    }
    SetBusy(true);
    if (!m_session.mp3.isEmpty()) {
        SearchFreeDB(false);
    } else {
        ShowMessage(text::NoFilesInAlbumFolder());
        SetBusy(false);
    }
}

void FetchFlow::SearchFreeDB(bool more)
{
    const bool moreWasEnabled = m_buttons.more;
    changeButtons([](LookupButtons& b) { b.more = false; });
    if (!more && m_buttons.apply && !AskYesNo(text::AskClearFetchedDisc())) {
        SetBusy(false); // the search button's busy state ends with the search
        return;
    }

    if (!more) {
        QString words = query_txt;
        AskQuery dialog(m_session.path, words, m_dialogParent);
        dialog.nameSource(m_source->name());
        if (ExecDialog(&dialog) != QDialog::Accepted) {
            // Escape or the close box: nothing is searched, and the page stays as it was.
            changeButtons([&](LookupButtons& b) { b.more = moreWasEnabled; });
            SetBusy(false);
            return;
        }
        query_txt = words;
    }

    SetBusy(true);
    changeButtons([](LookupButtons& b) { b.apply = b.search = b.findLengths = b.fetch = false; });
    clearResults();
    InitResFrm();

    if (!query_txt.trimmed().isEmpty()) {
        LookupSource& source = *m_source;
        tellAboutAnonymousHello();
        list(source, ask(source, [&] { source.searchWords(query_txt, more); }));
        SetStatusText(QString());
    }
    changeButtons([&](LookupButtons& b) {
        b.search = b.findLengths = true;
        b.more = !more && !query_txt.trimmed().isEmpty();
    });
    SetBusy(false);
}

void FetchFlow::fetch(int row)
{
    RunningScope running(m_running);
    if (!running.entered() || row < 0 || row >= m_hits.size())
        return;

    changeButtons([](LookupButtons& b) { b = {false, false, false, false, false}; });
    if (read(m_hits.at(row))) {
        changeButtons([](LookupButtons& b) { b.apply = true; });
        m_session.tracks.clear();
        for (int i = 0; i < m_session.fetched.size(); ++i)
            m_session.tracks << TrackLine(i, m_session.fetched.at(i).text);
        m_session.notifyChanged();

        if (m_session.tracks.size() > m_session.mp3.size() && AskYesNo(text::AskAddFakeTracks())) {
            while (m_session.mp3.size() < m_session.tracks.size())
                m_session.addFakeTrack();
        }
    }
    SetStatusText(QString());
    changeButtons([](LookupButtons& b) { b.fetch = b.more = b.search = b.findLengths = true; });
}

// The hit is read from the source it came from, whatever the choice is now.
bool FetchFlow::read(const LookupHit& hit)
{
    LookupSource* source = &m_cddb;
    QString status;
    if (hit.source == m_musicBrainz.name()) {
        m_musicBrainz.setFetchCover(m_fetchCover);
        m_musicBrainz.setFileCount(m_session.mp3.size());
        source = &m_musicBrainz;
    } else if (hit.source == m_acoustId.name()) {
        // AcoustID's releases are read from MusicBrainz.
        m_acoustId.setFetchCover(m_fetchCover);
        m_acoustId.setFileCount(m_session.mp3.size());
        source = &m_acoustId;
        status = lookuptext::AskingMusicBrainz();
    }
    m_session.fetched.clear();
    const LookupOutcome o = ask(*source, [&] { source->read(hit); }, status);
    if (!o.ok) {
        m_session.notifyChanged();
        if (m_cancelled)
            return false;
        ShowMessage(withReason(text::DetailsNotRetrieved(), o.failure));
        return false;
    }
    m_session.artist = o.disc.artist;
    m_session.album = o.disc.album;
    m_session.year = o.disc.year;
    for (const LookupTrack& t : o.disc.tracks)
        m_session.fetched.append({t.title, t.frames, t.artist});
    // The source's genre, or none: a genre left from another disc would be wrong.
    m_session.genre = o.disc.genre;
    m_session.discNumber = o.disc.discNumber;
    m_session.discCount = o.disc.discCount;
    m_session.frontCover = o.disc.frontCover;
    return true;
}

void FetchFlow::findByLengths()
{
    const int row = m_source == &m_acoustId ? lookUpByFiles() : lookUpByLengths();
    if (row < 0)
        return;
    // The one exact match is the disc: it is fetched as Enter or a double click on it would.
    Q_EMIT rowChosen(row);
    fetch(row);
}

int FetchFlow::lookUpByFiles()
{
    RunningScope running(m_running);
    if (!running.entered())
        return -1;
    if (m_session.mp3.isEmpty()) {
        ShowMessage(text::NoFilesInAlbumFolder());
        return -1;
    }
    // Without a key nothing is fingerprinted or sent: the source's one line says where to get one.
    if (Setting(setting::kAcoustIdKey).trimmed().isEmpty()) {
        ShowMessage(lookuptext::AcoustIdNeedsKey());
        return -1;
    }
    if (m_buttons.apply && !AskYesNo(text::AskClearFetchedDisc()))
        return -1;
    // A fake track has no file: its empty path fingerprints to nothing, and the files after it
    // keep their track numbers.
    QStringList paths;
    for (const ListItem& item : std::as_const(m_session.mp3))
        paths << (item.text.trimmed().compare(kFakeTrack, Qt::CaseInsensitive) == 0
                      ? QString()
                      : m_session.path + QLatin1Char('/') + item.text);

    SetBusy(true);
    changeButtons([](LookupButtons& b) { b = {false, false, false, false, false}; });
    clearResults();
    InitResFrm();
    list(m_acoustId, ask(m_acoustId, [&] { m_acoustId.searchFiles(paths); },
                         lookuptext::Fingerprinting(0, paths.size())));
    SetStatusText(QString());
    changeButtons([](LookupButtons& b) { b.search = b.findLengths = true; });
    SetBusy(false);
    // Several releases may hold the files; one that holds each at its own track number is the album.
    int exact = -1;
    for (int i = 0; i < m_hits.size(); ++i)
        if (m_hits.at(i).exact)
            exact = exact < 0 ? i : -2;
    return std::max(exact, -1);
}

int FetchFlow::lookUpByLengths()
{
    RunningScope running(m_running);
    if (!running.entered())
        return -1;
    if (m_session.mp3.isEmpty()) {
        ShowMessage(text::NoFilesInAlbumFolder());
        return -1;
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
        return -1;
    }
    if (m_buttons.apply && !AskYesNo(text::AskClearFetchedDisc()))
        return -1;

    SetBusy(true);
    changeButtons([](LookupButtons& b) { b = {false, false, false, false, false}; });
    clearResults();
    InitResFrm();

    // The files laid end to end as a disc: each source matches discs by their lengths.
    LookupSource& source = *m_source;
    tellAboutAnonymousHello();
    list(source, ask(source, [&] { source.searchLengths(lengths); }));
    SetStatusText(QString());
    changeButtons([](LookupButtons& b) { b.search = b.findLengths = true; });
    SetBusy(false);
    return m_hits.size() == 1 && m_hits.first().exact ? 0 : -1;
}

} // namespace tunora
