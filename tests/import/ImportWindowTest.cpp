// The import window on the real main window, offscreen, over a tree of twenty albums against
// the loopback CDDB and MusicBrainz stand-ins: what it decides, that nothing is written until
// asked, the strong matches applied, a pick, Undo giving the bytes back, "Open in the album
// page", and the event loop turning all along.
#include "album/AlbumPage.h"
#include "album/ImportWindow.h"
#include "lookup/PlayingTimes.h"
#include "musicbrainz/MusicBrainz.h"
#include "shell/core/DiscLayout.h"
#include "tags/Journal.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"
#include "tests/freedb/FreedbServer.h"
#include "tests/musicbrainz/MusicBrainzServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace tunora;
using namespace tunora::test;

namespace {

const QString kDouble = "a1b2c3d4-0000-4000-8000-0000000000e3";
const QString kTwinOne = "a1b2c3d4-0000-4000-8000-0000000000e4";
const QString kTwinTwo = "a1b2c3d4-0000-4000-8000-0000000000e5";

using Track = StandInTrack;

// Every audio file under root and a digest of its bytes (playlists are no audio).
QStringList Snapshot(const QString& root)
{
    QStringList m;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(".m3u"))
            m << path.mid(root.size()) + " " +
                     QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha1).toHex().left(12);
    }
    m.sort();
    return m;
}

// The event loop's longest pause while measured, beside a thread that only sleeps 5 ms at a
// time: a pause the sleeper was late through as well is the machine's (other programs held
// both cores), not the window's; every other pause counts.
class PauseMeter {
public:
    PauseMeter()
    {
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 t = Now();
            if (m_on && t - m_last > 50)
                m_pauses.append({m_last, t});
            else if (m_on)
                m_small = std::max(m_small, t - m_last);
            m_longestSeen = std::max(m_longestSeen, m_on ? t - m_last : 0);
            m_last = t;
        });
        m_tick.start(10);
        m_sleeper = std::thread([this] {
            while (!m_stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_wakes.push_back(Now());
            }
        });
    }
    ~PauseMeter()
    {
        m_stop = true;
        m_sleeper.join();
    }
    void measure(bool on)
    {
        m_on = on;
        m_last = Now();
    }
    qint64 longestSeen() const { return m_longestSeen; }
    // The longest pause the sleeper did not share.
    qint64 longest()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        qint64 worst = m_small;
        for (const auto& [start, end] : m_pauses) {
            qint64 shared = 0;
            for (size_t i = 1; i < m_wakes.size(); ++i)
                shared = std::max(shared, std::min(m_wakes[i], end) - std::max(m_wakes[i - 1], start));
            if (shared < end - start - 50)
                worst = std::max(worst, end - start);
        }
        return worst;
    }

private:
    static qint64 Now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    QTimer m_tick;
    bool m_on = false;
    qint64 m_last = 0, m_small = 0, m_longestSeen = 0;
    QList<QPair<qint64, qint64>> m_pauses;
    std::mutex m_mutex;
    std::vector<qint64> m_wakes;
    std::atomic<bool> m_stop{false};
    std::thread m_sleeper;
};

bool Wait(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class ImportWindowTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        mb = std::make_unique<MusicBrainzServer>(env->root(), QStringList{"--no-pace"});
        cddb = std::make_unique<FreedbServer>(env->root(), env->root() + "/cddb");
        ASSERT_TRUE(mb->running());
        ASSERT_TRUE(cddb->running());
        cddb->useAsProxy();
        SetSetting("CDDBUser", "tester@example.org");
        // Tags only: no names or playlists, so Undo's bytes are the whole story.
        SetSetting("Pattern", "Album");
        SetSetting("Playlist", "Album");
        root = env->makeDir("music");
        // Seventeen FLAC albums the stand-in knows by their table of contents, titles in the names.
        for (int n = 1; n <= 17; ++n) {
            const QList<Track> tracks{{"Alpha", 1.0 + 0.25 * n}, {"Beta", 2.0}, {"Gamma", 1.5}};
            const QString artist = QString("Band %1").arg(n), album = QString("Album %1").arg(n);
            const QStringList files = make(artist + " - " + album, tracks, true, "flac");
            const QString id = QString("a1b2c3d4-0000-4000-8000-%1").arg(n, 12, 10, QChar('0'));
            known(files, {MbReleaseJson(id, artist, album, {tracks})});
        }
        // Two media in CD1 and "CD 2", untagged: found by the first one's table of contents.
        known(make("Double Set/CD1", {{"01", 2}, {"02", 3}, {"03", 4}}, false, "flac"),
              {MbReleaseJson(kDouble, "Set Artist", "Double Set", {{{"Uno", 2}, {"Dos", 3}, {"Tres", 4}}, {{"Cuatro", 3}, {"Cinco", 2}}})});
        make("Double Set/CD 2", {{"01", 3}, {"02", 2}}, false, "flac");
        // Two releases with the same tracks and nothing in the files to tell them apart.
        const QList<Track> twins{{"One", 5}, {"Two", 6}};
        known(make("Twins", {{"a", 5}, {"b", 6}}, false, "flac"),
              {MbReleaseJson(kTwinOne, "Twin Band", "Twin One", {twins}), MbReleaseJson(kTwinTwo, "Twin Band", "Twin Two", {twins})});
        // Nothing knows it.
        make("nothing - here", {{"1", 2}, {"2", 2}, {"3", 3}, {"4", 3}}, false, "mp3");
        start();
        page = qobject_cast<AlbumPage*>(window->page(PageId::Album));
        ASSERT_TRUE(page);
    }
    void TearDown() override
    {
        EXPECT_TRUE(mb->violations().isEmpty()) << mb->violations().join("\n").toStdString();
        window.reset();
        mb.reset();
        cddb.reset();
        MainWindowFixture::TearDown();
    }
    // An album folder of MP3 (lame) or FLAC (ffmpeg) files of the tracks' lengths.
    QStringList make(const QString& folder, const QList<Track>& tracks, bool numbered, const QString& format)
    {
        const QString dir = env->makeDir("music/" + folder);
        QStringList paths;
        for (int i = 0; i < tracks.size(); ++i) {
            paths << dir + "/" + (numbered ? QString("%1 ").arg(i + 1, 2, 10, QChar('0')) : QString()) +
                         tracks.at(i).title + "." + format;
            if (format == "mp3")
                EXPECT_TRUE(MakeMp3(paths.last(), tracks.at(i).seconds));
            else
                EXPECT_EQ(RunProgram("/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                                         QString("sine=sample_rate=44100:duration=%1").arg(tracks.at(i).seconds),
                                                         paths.last()}),
                          0);
        }
        return paths;
    }
    // The stand-in answers the files' table of contents with these releases.
    void known(const QStringList& files, const QJsonArray& releases)
    {
        QList<qint64> ms;
        ASSERT_TRUE(MeasurePlayingTimes(files, ms));
        const QString path = mb->extra() + "/discid/" + MusicBrainzDiscId(LayoutFromLengths(ms)) + ".json";
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_FALSE(QFileInfo::exists(path)) << "two albums of one table of contents";
        ASSERT_TRUE(WriteAll(path, QJsonDocument(QJsonObject{{"releases", releases}}).toJson()));
    }
    template <class T>
    T* in(const char* name)
    {
        return Child<T>(import, name);
    }
    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? item->text() : QString();
    }
    int rowOf(const QString& folder) const
    {
        for (int r = 0; r < table->rowCount(); ++r)
            if (cell(r, ImportWindow::FolderColumn) == folder)
                return r;
        return -1;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < table->rowCount(); ++r)
            out << cell(r, c);
        return out;
    }
    void select(const QString& folder)
    {
        const int row = rowOf(folder);
        ASSERT_GE(row, 0) << folder.toStdString();
        table->selectRow(row);
    }

    std::unique_ptr<MusicBrainzServer> mb;
    std::unique_ptr<FreedbServer> cddb;
    QString root;
    AlbumPage* page = nullptr;
    ImportWindow* import = nullptr;
    QTableWidget* table = nullptr;
};

} // namespace

TEST_F(ImportWindowTest, DecidesTwentyAlbumsThenAppliesPicksUndoesAndOpensWhileTheWindowAnswers)
{
    const auto before = Snapshot(root);
    auto* many = Child<QPushButton>(page, "many_btn");
    EXPECT_EQ(many->text(), "Tag many albums...");
    many->click();
    import = page->findChild<ImportWindow*>("import_window");
    ASSERT_TRUE(import);
    EXPECT_TRUE(import->isVisible());
    EXPECT_EQ(import->windowTitle(), "Tag many albums");
    table = in<QTableWidget>("albums_tbl");
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->horizontalHeaderItem(c)->text();
    EXPECT_EQ(headers, QStringList({"Folder", "Files", "Stage", "Best candidate", "Distance", "Decision"}));
    for (const char* b : {"apply_btn", "pick_btn", "open_btn", "undo_btn", "cancel_btn"})
        EXPECT_FALSE(in<QPushButton>(b)->isEnabled()) << b;

    // No root yet: told so, nothing started.
    in<QPushButton>("start_btn")->click();
    EXPECT_EQ(messages->texts, QStringList{"Choose the root folder of the albums first."});
    messages->texts.clear();

    // The event loop's longest pause while the window works.
    PauseMeter pauses;
    auto measure = [&](bool on) { pauses.measure(on); };

    // Every album decided, nothing written; the table fills as the run goes. With the front
    // cover asked for: only Band 7's release has one at the stand-in.
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(300, '\x07');
    ASSERT_TRUE(WriteAll(mb->extra() + "/cover/a1b2c3d4-0000-4000-8000-000000000007.png", png));
    in<QCheckBox>("cover_chk")->setChecked(true);
    in<QLineEdit>("root_txt")->setText(root);
    measure(true);
    int rowsSeen = -1;
    QString progressSeen;
    QTimer::singleShot(0, in<QPushButton>("start_btn"), &QPushButton::click);
    ASSERT_TRUE(Wait([&] {
        if (rowsSeen < 0 && table->rowCount() > 0 && in<QPushButton>("cancel_btn")->isEnabled())
            rowsSeen = table->rowCount();
        if (progressSeen.isEmpty() && in<QLabel>("status_lbl")->text().startsWith("["))
            progressSeen = in<QLabel>("status_lbl")->text();
        return import->run() && !import->run()->isRunning() && in<QPushButton>("start_btn")->isEnabled();
    }, 240000));
    measure(false);
    EXPECT_EQ(rowsSeen, 20);
    EXPECT_TRUE(progressSeen.contains("/20] " + root + "/")) << progressSeen.toStdString();
    ASSERT_EQ(table->rowCount(), 20);
    EXPECT_EQ(Snapshot(root), before);
    EXPECT_EQ(in<QProgressBar>("progress_bar")->value(), in<QProgressBar>("progress_bar")->maximum());
    EXPECT_EQ(in<QLabel>("status_lbl")->text(), "20 albums: 18 strong, 1 unsure, 1 without a match, 0 applied");
    EXPECT_EQ(column(ImportWindow::StageColumn), QStringList(20, "done"));
    const int band7 = rowOf("Band 7 - Album 7");
    ASSERT_GE(band7, 0);
    EXPECT_EQ(cell(band7, ImportWindow::FilesColumn), "3");
    EXPECT_EQ(cell(band7, ImportWindow::CandidateColumn),
              "Band 7 / Album 7  (musicbrainz:a1b2c3d4-0000-4000-8000-000000000007)");
    EXPECT_LE(cell(band7, ImportWindow::DistanceColumn).toDouble(), 0.1);
    EXPECT_EQ(cell(band7, ImportWindow::DecisionColumn), "strong: to apply");
    const int twins = rowOf("Twins"), nothing = rowOf("nothing - here"), twoDiscs = rowOf("Double Set");
    EXPECT_EQ(cell(twoDiscs, ImportWindow::FilesColumn), "5");
    EXPECT_EQ(cell(twoDiscs, ImportWindow::DecisionColumn), "strong: to apply");
    EXPECT_EQ(cell(twins, ImportWindow::DecisionColumn), "unsure: pick one");
    EXPECT_EQ(cell(nothing, ImportWindow::DecisionColumn), "none: no disc found");
    EXPECT_EQ(cell(nothing, ImportWindow::DistanceColumn), "");
    auto* pick = qobject_cast<QComboBox*>(table->cellWidget(twins, ImportWindow::CandidateColumn));
    ASSERT_TRUE(pick);
    ASSERT_GE(pick->count(), 2);
    EXPECT_EQ(pick->itemText(1), "Twin Band / Twin Two  (musicbrainz:" + kTwinTwo + ")");
    EXPECT_TRUE(in<QPushButton>("apply_btn")->isEnabled());

    // The strong matches, tagged as the album page would.
    measure(true);
    bool busyMeanwhile = false;
    QTimer busyWatch;
    QObject::connect(&busyWatch, &QTimer::timeout, [&] { busyMeanwhile = busyMeanwhile || IsBusy(); });
    busyWatch.start(5);
    in<QPushButton>("apply_btn")->click();
    busyWatch.stop();
    measure(false);
    EXPECT_TRUE(busyMeanwhile); // the main window stays open and on its page while files are written
    EXPECT_FALSE(IsBusy());
    EXPECT_EQ(cell(band7, ImportWindow::DecisionColumn), "applied");
    EXPECT_EQ(cell(twins, ImportWindow::DecisionColumn), "unsure: pick one");
    EXPECT_EQ(in<QLabel>("status_lbl")->text(), "20 albums: 18 strong, 1 unsure, 1 without a match, 18 applied");
    EXPECT_FALSE(in<QPushButton>("apply_btn")->isEnabled());
    const QString band7Dir = root + "/Band 7 - Album 7";
    QByteArray tags;
    RunProgram(SystemPython(), {"-c", "import sys, mutagen; f = mutagen.File(sys.argv[1], easy=True); "
                                      "print('|'.join(f[k][0] for k in ('title', 'artist', 'album', 'tracknumber')))",
                                band7Dir + "/02 Beta.flac"},
               &tags);
    EXPECT_EQ(tags.trimmed(), "Beta|Band 7|Album 7|2");
    const char* const pictures = "import sys, mutagen; print(len(mutagen.File(sys.argv[1]).pictures))";
    RunProgram(SystemPython(), {"-c", pictures, band7Dir + "/02 Beta.flac"}, &tags);
    EXPECT_EQ(tags.trimmed(), "1"); // the cover fetched while deciding
    RunProgram(SystemPython(), {"-c", pictures, root + "/Band 8 - Album 8/02 Beta.flac"}, &tags);
    EXPECT_EQ(tags.trimmed(), "0");
    RunProgram(SystemPython(), {"-c", "import sys, mutagen; f = mutagen.File(sys.argv[1], easy=True); "
                                      "print('|'.join(f[k][0] for k in ('title', 'album', 'discnumber', 'disctotal')))",
                                root + "/Double Set/CD 2/01.flac"},
               &tags);
    EXPECT_EQ(QString::fromUtf8(tags.trimmed()), "Cuatro|Double Set|2|2");
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join("|").toStdString();
    // Apply's messages go to the log, each album's after its folder, no box.
    const QString log = in<QPlainTextEdit>("log_txt")->toPlainText();
    EXPECT_TRUE(log.contains(band7Dir + ":\nDone.\nTagged: 3, renamed: 0")) << log.toStdString();

    // The twins by hand: the second release, with its cover (fetched at the pick).
    ASSERT_TRUE(WriteAll(mb->extra() + "/cover/" + kTwinTwo + ".png", png));
    select("Twins");
    EXPECT_TRUE(in<QPushButton>("pick_btn")->isEnabled());
    pick->setCurrentIndex(1);
    EXPECT_EQ(cell(twins, ImportWindow::DistanceColumn), QString::number(import->run()->albums().at(twins).candidates.at(1).distance, 'f', 2));
    in<QPushButton>("pick_btn")->click();
    EXPECT_EQ(cell(twins, ImportWindow::DecisionColumn), "applied");
    EXPECT_FALSE(pick->isEnabled());
    RunProgram(SystemPython(), {"-c", "import sys, mutagen; print(mutagen.File(sys.argv[1], easy=True)['album'][0])",
                                root + "/Twins/b.flac"},
               &tags);
    EXPECT_EQ(tags.trimmed(), "Twin Two");
    RunProgram(SystemPython(), {"-c", pictures, root + "/Twins/b.flac"}, &tags);
    EXPECT_EQ(tags.trimmed(), "1");

    // Undo gives back the pick, then the strong matches: every byte as before.
    ASSERT_TRUE(in<QPushButton>("undo_btn")->isEnabled());
    in<QPushButton>("undo_btn")->click();
    EXPECT_EQ(cell(twins, ImportWindow::DecisionColumn), "undone") << in<QPlainTextEdit>("log_txt")->toPlainText().toStdString();
    EXPECT_EQ(cell(band7, ImportWindow::DecisionColumn), "applied");
    EXPECT_EQ(in<QLabel>("status_lbl")->text(), "Undo: 2 restored, 0 left as they are.");
    EXPECT_EQ(Snapshot(root).filter("/Twins/"), before.filter("/Twins/"));
    EXPECT_NE(Snapshot(root), before); // the strong ones still tagged
    in<QPushButton>("undo_btn")->click();
    EXPECT_EQ(cell(band7, ImportWindow::DecisionColumn), "undone");
    EXPECT_FALSE(in<QPushButton>("undo_btn")->isEnabled());
    EXPECT_EQ(Snapshot(root), before);
    EXPECT_EQ(in<QLabel>("status_lbl")->text(), "Undo: 56 restored, 0 left as they are.");

    // An album opened in the album page, as Browse would have chosen it: its first medium.
    select("Double Set");
    in<QPushButton>("open_btn")->click();
    EXPECT_EQ(Child<QLineEdit>(page, "path_txt")->text(), root + "/Double Set/CD1");
    EXPECT_EQ(Child<QLineEdit>(page, "ext_txt")->text(), "FLAC");
    EXPECT_EQ(Shown(page, "mp3_lst"), QStringList({"01.flac", "02.flac", "03.flac"}));
    EXPECT_TRUE(Child<QPushButton>(page, "go_btn")->isEnabled());
    select("nothing - here");
    in<QPushButton>("open_btn")->click();
    EXPECT_EQ(Child<QLineEdit>(page, "path_txt")->text(), root + "/nothing - here");
    EXPECT_EQ(Shown(page, "mp3_lst"), QStringList({"1.mp3", "2.mp3", "3.mp3", "4.mp3"}));

    EXPECT_LT(pauses.longest(), 100) << "longest seen " << pauses.longestSeen() << " ms";
}

TEST_F(ImportWindowTest, CancelStopsTheRunAndTheWindowIsReadyAgain)
{
    Child<QPushButton>(page, "many_btn")->click();
    import = page->findChild<ImportWindow*>("import_window");
    ASSERT_TRUE(import);
    table = in<QTableWidget>("albums_tbl");
    in<QLineEdit>("root_txt")->setText(root);
    QTimer::singleShot(0, in<QPushButton>("start_btn"), &QPushButton::click);
    // Cancelled once the first albums are decided.
    ASSERT_TRUE(Wait([&] { return column(ImportWindow::StageColumn).count("done") >= 2; }, 120000));
    const qsizetype asked = mb->targets().size();
    in<QPushButton>("cancel_btn")->click();
    ASSERT_TRUE(Wait([&] { return in<QPushButton>("start_btn")->isEnabled(); }, 10000));
    EXPECT_FALSE(import->run()->isRunning());
    EXPECT_FALSE(in<QPushButton>("cancel_btn")->isEnabled());
    EXPECT_TRUE(in<QLabel>("status_lbl")->text().startsWith("Cancelled.")) << in<QLabel>("status_lbl")->text().toStdString();
    EXPECT_LT(column(ImportWindow::StageColumn).count("done"), 20);
    WaitMs(1500);
    EXPECT_LE(mb->targets().size(), asked + 1); // at most the request under way when it stopped

    // Started anew at once, the table is the new run's; cancelled again while it looks up.
    const import::ImportRun* first = import->run();
    QTimer::singleShot(0, in<QPushButton>("start_btn"), &QPushButton::click);
    ASSERT_TRUE(Wait([&] { return import->run() != first && column(ImportWindow::StageColumn).contains("looking up"); }, 60000));
    EXPECT_EQ(table->rowCount(), 20);
    in<QPushButton>("cancel_btn")->click();
    ASSERT_TRUE(Wait([&] { return in<QPushButton>("start_btn")->isEnabled(); }, 10000));
    EXPECT_FALSE(import->run()->isRunning());

    // The window's captions follow the language, as the album page's do (the setup page's way).
    SetSetting("langue", "French");
    window->loadlangue("French.lf");
    window->transme();
    EXPECT_EQ(Child<QPushButton>(page, "many_btn")->text(), "Étiqueter plusieurs albums...");
    EXPECT_EQ(import->windowTitle(), "Étiqueter plusieurs albums");
    EXPECT_EQ(in<QPushButton>("cancel_btn")->text(), "Annuler");
    EXPECT_EQ(table->horizontalHeaderItem(ImportWindow::FolderColumn)->text(), "Dossier");
    EXPECT_TRUE(column(ImportWindow::StageColumn).contains("en attente")); // the albums the cancel left
}
