#include "album/ImportCore.h"

#include "album/AlbumJournal.h"
#include "album/AlbumPatterns.h"
#include "album/AlbumSession.h"
#include "album/AutoSort.h"
#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "folders/FolderWalk.h"
#include "lookup/AcoustIdSource.h"
#include "lookup/CddbSource.h"
#include "lookup/MusicBrainzSource.h"
#include "musicbrainz/MusicBrainzClient.h"
#include "shell/core/DiscLayout.h"
#include "shell/core/Genres.h"
#include "shell/core/Settings.h"
#include "tags/Journal.h"
#include "tags/Tags.h"

#include <QDir>
#include <QEventLoop>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tunora::import {

namespace {

const QString kCddb = QStringLiteral("cddb");
const QString kMusicBrainz = QStringLiteral("musicbrainz");
const QString kAcoustId = QStringLiteral("acoustid"); // releases found by the sound, read from MusicBrainz
// Of the hits a search brings, so many are read: the best ones come first.
constexpr int kReadsPerSearch = 3;

// "CD1", "cd 2", "Disc-3", "disc_4", "Disk 5".
const QRegularExpression& MediumPattern()
{
    static const QRegularExpression re(QStringLiteral("^(?:cd|dis[ck])[ _-]?0*([1-9][0-9]?)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString Parent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QString() : path.left(slash);
}

QString BaseName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Case, accents, punctuation and a leading "The" do not count.
QString Normalised(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD).toLower();
    QString out;
    for (const QChar c : decomposed) {
        if (c.isMark())
            continue;
        out += c.isLetterOrNumber() ? c : QLatin1Char(' ');
    }
    out = out.simplified();
    if (out.startsWith(QLatin1String("the ")))
        out = out.mid(4);
    return out;
}

// 1 for the same text once normalised, down to 0 for nothing in common (edit distance).
double Similarity(const QString& a, const QString& b)
{
    const QString x = Normalised(a), y = Normalised(b);
    if (x == y)
        return 1;
    if (x.isEmpty() || y.isEmpty())
        return 0;
    QList<int> row(y.size() + 1);
    for (int j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= y.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x.at(i - 1) == y.at(j - 1) ? 0 : 1)});
            diagonal = up;
        }
    }
    return 1.0 - double(row[y.size()]) / double(std::max(x.size(), y.size()));
}

// A file's title when its tags give none: the name without its number; nothing when the
// name says no more than a track number.
QString TitleFromName(const QString& path)
{
    QString name = BaseName(path);
    name = name.left(name.lastIndexOf(QLatin1Char('.')));
    static const QRegularExpression number(QStringLiteral("^[\\s\\d._()\\[\\]-]+"));
    name.remove(number);
    const QString plain = Normalised(name);
    static const QRegularExpression generic(QStringLiteral("^(?:track|piste|audio ?track)?\\s*\\d*$"));
    return generic.match(plain).hasMatch() ? QString() : name.trimmed();
}

QString MostCommon(const QStringList& values)
{
    QHash<QString, int> counts;
    QString best;
    for (const QString& v : values) {
        const QString t = v.trimmed();
        if (t.isEmpty())
            continue;
        if (++counts[t] > counts.value(best))
            best = t;
    }
    return best;
}

struct FileRead {
    QString path;
    qint64 ms = 0;
    QString title;
};

// What the files and folder names of one album tell.
struct AlbumRead {
    QList<QList<FileRead>> media;
    QString artist, album; // from the tags, else from the folder names; empty when unknown
    QString failure;       // a file that cannot be read
    QString words() const { return artist.isEmpty() ? album : artist + QStringLiteral(" - ") + album; }
};

AlbumRead ReadAlbum(const AlbumFolder& a)
{
    AlbumRead r;
    QStringList artists, albumArtists, albums;
    for (const QStringList& files : a.files) {
        QList<FileRead> medium;
        for (const QString& path : files) {
            tags::FileTags t;
            QString why;
            if (!tags::ReadFileTags(path, &t, &why) || t.lengthMs <= 0) {
                r.failure = QStringLiteral("%1 has no playing time%2").arg(path, why.isEmpty() ? QString() : ": " + why);
                return r;
            }
            medium << FileRead{path, t.lengthMs, t.fields.title.trimmed().isEmpty() ? TitleFromName(path) : t.fields.title};
            artists << t.fields.artist;
            albumArtists << t.fields.albumArtist;
            albums << t.fields.album;
        }
        r.media << medium;
    }
    r.artist = MostCommon(albumArtists);
    if (r.artist.isEmpty())
        r.artist = MostCommon(artists);
    r.album = MostCommon(albums);
    // The folder names: "Artist - Album", else "Artist/Album" below the root.
    QString folderArtist, folderAlbum = BaseName(a.folder);
    const qsizetype dash = folderAlbum.indexOf(QLatin1String(" - "));
    if (dash > 0) {
        folderArtist = folderAlbum.left(dash).trimmed();
        folderAlbum = folderAlbum.mid(dash + 3).trimmed();
    } else if (const QString parent = Parent(a.folder); !parent.isEmpty() && a.folder != a.root &&
                                                        QDir::cleanPath(parent) != QDir::cleanPath(a.root)) {
        folderArtist = BaseName(parent);
    }
    if (r.artist.isEmpty())
        r.artist = folderArtist;
    if (r.album.isEmpty())
        r.album = folderAlbum;
    return r;
}

// The distance of a candidate from the album, and whether its lengths are close (see the
// weights in the header). A part the files say nothing about is left out and the others
// weigh the more.
void Measure(const AlbumRead& read, Candidate& c)
{
    bool countEqual = c.discs.size() == read.media.size();
    double deviationSum = 0, titleSum = 0, maxDeviation = 0;
    int pairs = 0, titled = 0, files = 0;
    for (qsizetype k = 0; k < read.media.size(); ++k) {
        const QList<FileRead>& medium = read.media.at(k);
        files += int(medium.size());
        const QList<LookupTrack> tracks = k < c.discs.size() ? c.discs.at(k).tracks : QList<LookupTrack>();
        if (tracks.size() != medium.size())
            countEqual = false;
        QList<ListItem> fileItems, trackItems;
        for (qsizetype i = 0; i < medium.size(); ++i)
            fileItems << ListItem{QString::number(i), medium.at(i).ms};
        for (const LookupTrack& t : tracks)
            trackItems << ListItem{t.title, t.frames};
        if (tracks.size() == medium.size())
            fileItems = OptimalSort(fileItems, trackItems);
        for (qsizetype i = 0; i < std::min(fileItems.size(), trackItems.size()); ++i) {
            const FileRead& f = medium.at(fileItems.at(i).text.toInt());
            const double dev = trackItems.at(i).data > 0 ? std::abs(Deviation(f.ms, trackItems.at(i).data)) : 1e9;
            deviationSum += std::min(dev, 10000.0);
            maxDeviation = std::max(maxDeviation, dev);
            ++pairs;
            if (!f.title.isEmpty()) {
                titleSum += 1 - Similarity(f.title, trackItems.at(i).text);
                ++titled;
            }
        }
    }
    const double missing = std::max(0, files - pairs); // files without a track count as 10 s off
    const double lengths = files > 0 ? (deviationSum + missing * 10000.0) / files / 10000.0 : 1;
    double sum = (countEqual ? 0 : kWeightCount) + kWeightLengths * std::min(1.0, lengths);
    double weights = kWeightCount + kWeightLengths;
    if (titled > 0) {
        sum += kWeightTitles * titleSum / titled;
        weights += kWeightTitles;
    }
    if (!read.artist.isEmpty()) {
        sum += kWeightArtist * (1 - Similarity(read.artist, c.artist));
        weights += kWeightArtist;
    }
    if (!read.album.isEmpty()) {
        sum += kWeightAlbum * (1 - Similarity(read.album, c.album));
        weights += kWeightAlbum;
    }
    c.distance = sum / weights;
    c.lengthsClose = countEqual && pairs > 0 && maxDeviation <= double(kStrongTrackMs);
}

// Two candidates name the same album (found by both sources, or twice by one).
bool SameAlbum(const Candidate& a, const Candidate& b)
{
    if (a.discs.size() != b.discs.size())
        return false;
    for (qsizetype k = 0; k < a.discs.size(); ++k)
        if (a.discs.at(k).tracks.size() != b.discs.at(k).tracks.size())
            return false;
    return Normalised(a.artist) == Normalised(b.artist) && Normalised(a.album) == Normalised(b.album);
}

// Best first; strong when the best is close in lengths, near enough and clear of the next
// candidate that names another album.
bool Rank(QList<Candidate>& candidates)
{
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    if (candidates.isEmpty())
        return false;
    const Candidate& best = candidates.first();
    if (!best.lengthsClose || best.distance > kStrongDistance)
        return false;
    for (qsizetype i = 1; i < candidates.size(); ++i)
        if (!SameAlbum(best, candidates.at(i)))
            return candidates.at(i).distance - best.distance >= kStrongGap - 1e-9;
    return true;
}

QString Absolute(const QString& folder)
{
    return QDir::cleanPath(dorvane::io::AbsolutePath(folder));
}

} // namespace

int MediumNumber(const QString& folderName)
{
    const QRegularExpressionMatch m = MediumPattern().match(folderName.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QList<AlbumFolder> FindAlbumFolders(const QStringList& roots)
{
    QList<AlbumFolder> found;
    for (const QString& given : roots) {
        const QString root = DeliveredFolder(given);
        // Each folder that directly holds audio files, with the format most of them have.
        QMap<QString, QString> holding; // folder -> format
        WalkFolders(root.isEmpty() ? QStringLiteral("/") : root, true, [&](const WalkedFolder& w) {
            for (const FolderEntry& e : w.entries)
                if (e.kind == EntryKind::File && FormatOfName(e.name) != AudioFormat::Unknown) {
                    holding.insert(DeliveredFolder(w.path), QString());
                    break;
                }
            return WalkStep::Go;
        });
        // Sibling medium folders of one parent are one album.
        QMap<QString, QMap<int, QString>> mediaOf; // parent -> number -> folder
        for (auto it = holding.begin(); it != holding.end(); ++it)
            if (const int n = MediumNumber(BaseName(it.key())); n > 0 && it.key() != root)
                mediaOf[Parent(it.key())].insert(n, it.key());
        QMap<QString, AlbumFolder> albums;
        auto add = [&](const QString& folder, const QStringList& media) {
            AlbumFolder a;
            a.folder = folder;
            a.root = root;
            a.media = media;
            a.format = MostCommonFormat(media.first());
            for (const QString& m : media) {
                QStringList names = ListFolderFiles(m, a.format);
                std::sort(names.begin(), names.end());
                QStringList paths;
                for (const QString& n : std::as_const(names))
                    paths << m + QLatin1Char('/') + n;
                a.files << paths;
            }
            if (!a.format.isEmpty() && !a.files.first().isEmpty())
                albums.insert(folder, a);
        };
        QSet<QString> inMultiDisc;
        for (auto it = mediaOf.begin(); it != mediaOf.end(); ++it) {
            if (it.value().size() < 2)
                continue;
            add(it.key(), it.value().values());
            for (const QString& m : it.value())
                inMultiDisc.insert(m);
        }
        for (auto it = holding.begin(); it != holding.end(); ++it)
            if (!inMultiDisc.contains(it.key()) && !albums.contains(it.key()))
                add(it.key(), {it.key()});
        found += albums.values();
    }
    return found;
}

QString ResumeStateFile(const QString& journalFile)
{
    return (journalFile.isEmpty() ? tags::JournalPath() : journalFile) + QStringLiteral(".import-done");
}

struct ImportRun::Impl {
    ImportRun* q = nullptr;
    QStringList roots;
    ImportOptions options;
    ApplyTalk* talk = nullptr;
    QList<AlbumState> albums;
    QList<AlbumRead> reads;
    int readCount = 0;   // albums read so far (in order)
    bool found = false;  // the folders are known
    bool running = false, cancelled = false, runOpen = false;
    std::atomic<bool> stop{false};
    QThread* worker = nullptr;

    // The album being looked up and where it stands.
    enum class Phase { Start, Toc, Read, Words, WordsAnswer, Sound, SoundAnswer, Chosen, Decide, Apply };
    int current = -1, nextAlbum = 0;
    int chosenMedium = 0; // the medium of a release a hand pick names, 0 when it names none
    Phase phase = Phase::Start;
    Phase afterReads = Phase::Words;
    QStringList readQueue;   // MusicBrainz releases to read for the current album
    bool mbBusy = false, inAdvance = false;
    QString readSource = kMusicBrainz; // what the releases read now are candidates of
    QList<MbRelease> mbReleases;
    MbRelease mbRelease;
    bool mbGotRelease = false;
    QByteArray mbCover;
    QString mbFailure;
    MusicBrainzClient mb;
    CddbSource cddb;
    AcoustIdSource sound;
    bool soundBusy = false;
    QStringList soundReleases; // of the last search by the sound, best first

    QSet<QString> done;               // folders applied by this run or an earlier one (absolute)
    QList<JournalEntry> journal;      // what undo needs, of every album applied
    QString runId;

    bool useCddb() const { return options.source != kMusicBrainz; }
    bool useMb() const { return options.source != kCddb; }

    void finish();
    void advance();
    bool step(); // one step of the current album; false when waiting
    void startAlbum();
    void cddbByLengths(const AlbumRead& read);
    void cddbByWords(const AlbumRead& read);
    void addCddbHit(const LookupHit& hit, const AlbumRead& read);
    void addRelease(const MbRelease& release, const AlbumRead& read);
    bool soundWanted(const AlbumRead& read) const;
    void queueReads(const QList<MbRelease>& releases, const AlbumRead& read, bool onlyCounted);
    void decide();
    bool apply(int index, const Candidate& c, QString* why);
    void closeAlbum();
    bool saveState(QString* why);
    void openRun();
};

ImportRun::ImportRun(QStringList roots, ImportOptions options, ApplyTalk& talk, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    d->q = this;
    d->roots = std::move(roots);
    d->options = std::move(options);
    d->talk = &talk;
    connect(&d->mb, &MusicBrainzClient::releasesReady, this, [this](const QList<MbRelease>& releases) {
        d->mbBusy = false;
        d->mbReleases = releases;
        d->advance();
    });
    connect(&d->mb, &MusicBrainzClient::releaseReady, this, [this](const MbRelease& release) {
        d->mbBusy = false;
        d->mbRelease = release;
        d->mbGotRelease = true;
        d->advance();
    });
    connect(&d->mb, &MusicBrainzClient::coverReady, this, [this](const QByteArray& image) {
        d->mbBusy = false;
        d->mbCover = image;
        d->advance();
    });
    connect(&d->mb, &MusicBrainzClient::failed, this, [this](const QString& why) {
        d->mbBusy = false;
        d->mbFailure = why;
        d->advance();
    });
    connect(&d->sound, &LookupSource::hitsReady, this, [this] {
        d->soundBusy = false;
        for (const MbRelease& r : d->sound.lastReleases())
            d->soundReleases << r.id;
        d->advance();
    });
    connect(&d->sound, &LookupSource::failed, this, [this] {
        d->soundBusy = false; // a failed search by the sound is no candidate more
        d->advance();
    });
}

ImportRun::~ImportRun()
{
    d->stop = true;
    if (d->worker) {
        d->worker->wait();
        delete d->worker;
    }
    if (d->runOpen)
        tags::EndRun();
}

const QList<AlbumState>& ImportRun::albums() const
{
    return d->albums;
}

bool ImportRun::isRunning() const
{
    return d->running;
}

QString ImportRun::journalRunId() const
{
    return d->runId;
}

void ImportRun::Impl::openRun()
{
    if (runOpen)
        return;
    QString why;
    runOpen = tags::BeginRun(QStringLiteral("import ") + roots.join(QLatin1Char(' ')), &why);
    if (!runOpen)
        talk->tell(QStringLiteral("the write journal cannot be written: ") + why);
}

void ImportRun::start()
{
    if (d->running || d->worker)
        return;
    d->running = true;
    // The folders applied before, for --resume; a run without it starts the list anew.
    const QString state = ResumeStateFile(d->options.journalFile);
    if (d->options.resume) {
        QByteArray bytes;
        bool missing = false, tooBig = false;
        int err = 0;
        if (dorvane::io::ReadSmallFile(state, 16 << 20, &bytes, &missing, &tooBig, &err))
            for (const QString& line : QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                d->done.insert(line);
        if (!d->options.journalFile.isEmpty() && dorvane::io::Exists(d->options.journalFile)) {
            QString why;
            if (!ReadJournal(d->options.journalFile, d->journal, &why))
                d->talk->tell(QStringLiteral("the journal %1 cannot be read: %2").arg(d->options.journalFile, why));
        }
    }
    if (!d->options.dryRun)
        d->openRun();
    // Folders are found and files read on a thread of their own; each album read comes back
    // here in order, so the lookups of the first start while the others are still read.
    QPointer<ImportRun> self(this);
    const QStringList roots = d->roots;
    std::atomic<bool>* stop = &d->stop;
    d->worker = QThread::create([self, roots, stop] {
        const QList<AlbumFolder> folders = FindAlbumFolders(roots);
        QMetaObject::invokeMethod(self, [self, folders] {
            if (!self)
                return;
            for (const AlbumFolder& a : folders) {
                AlbumState s;
                s.album = a;
                for (const QStringList& m : a.files)
                    s.fileCount += int(m.size());
                self->d->albums << s;
            }
            self->d->reads.resize(folders.size());
            self->d->found = true;
            Q_EMIT self->albumsFound(int(folders.size()));
            self->d->advance();
        }, Qt::QueuedConnection);
        for (qsizetype i = 0; i < folders.size() && !*stop; ++i) {
            QMetaObject::invokeMethod(self, [self, i] {
                if (!self || self->d->albums.at(i).stage != Stage::Waiting)
                    return;
                self->d->albums[i].stage = Stage::Reading;
                Q_EMIT self->albumChanged(int(i));
            }, Qt::QueuedConnection);
            AlbumRead read = ReadAlbum(folders.at(i));
            QMetaObject::invokeMethod(self, [self, i, read] {
                if (!self)
                    return;
                self->d->reads[i] = read;
                self->d->readCount = int(i) + 1;
                if (self->d->albums.at(i).stage == Stage::Reading) {
                    self->d->albums[i].stage = Stage::Waiting; // read, waiting for its lookups
                    Q_EMIT self->albumChanged(int(i));
                }
                self->d->advance();
            }, Qt::QueuedConnection);
        }
    });
    d->worker->start();
}

void ImportRun::cancel()
{
    if (!d->running)
        return;
    d->stop = true;
    d->cancelled = true;
    d->mb.cancel();
    d->sound.cancel();
    d->mbBusy = d->soundBusy = false;
    d->finish();
}

void ImportRun::Impl::finish()
{
    if (!running)
        return;
    // current stays: a CDDB request that was running when the run was cancelled still ends
    // in the step that started it.
    running = false;
    if (runOpen) {
        tags::EndRun();
        runOpen = false;
    }
    Q_EMIT q->finished();
}

void ImportRun::Impl::advance()
{
    // CDDB requests run to their end inside the call, the event loop turning meanwhile: an
    // answer of MusicBrainz that comes then waits for the step that is running.
    if (inAdvance || !running || cancelled)
        return;
    inAdvance = true;
    while (running && !cancelled && !mbBusy && !soundBusy && step()) {
    }
    inAdvance = false;
}

bool ImportRun::Impl::step()
{
    if (!found)
        return false;
    if (current < 0) {
        if (nextAlbum >= albums.size()) {
            finish();
            return false;
        }
        if (nextAlbum >= readCount)
            return false; // its files are still being read
        current = nextAlbum++;
        phase = Phase::Start;
    }
    AlbumState& a = albums[current];
    const AlbumRead& read = reads.at(current);
    switch (phase) {
    case Phase::Start:
        startAlbum();
        return true;
    case Phase::Toc:
        queueReads(mbReleases, read, false);
        mbReleases.clear();
        afterReads = Phase::Words;
        phase = Phase::Read;
        return true;
    case Phase::Read:
        if (mbGotRelease) {
            addRelease(mbRelease, read);
            mbGotRelease = false;
        }
        mbFailure.clear(); // a release that cannot be read is one candidate less
        if (!readQueue.isEmpty()) {
            mbBusy = true;
            mb.readRelease(readQueue.takeFirst());
            return false;
        }
        phase = afterReads;
        readSource = kMusicBrainz;
        return true;
    case Phase::Words: {
        a.strong = Rank(a.candidates);
        if (a.strong || read.words().trimmed().isEmpty()) {
            phase = Phase::Sound;
            return true;
        }
        if (useCddb() && read.media.size() == 1)
            cddbByWords(read);
        if (cancelled)
            return false;
        if (useMb()) {
            phase = Phase::WordsAnswer;
            mbReleases.clear();
            mbBusy = true;
            mb.searchReleases(read.words(), false);
            return false;
        }
        phase = Phase::Sound;
        return true;
    }
    case Phase::WordsAnswer:
        queueReads(mbReleases, read, true);
        mbReleases.clear();
        mbFailure.clear();
        afterReads = Phase::Sound;
        phase = Phase::Read;
        return true;
    case Phase::Sound:
        // The third source, for what the others leave unsure or unfound.
        a.strong = Rank(a.candidates);
        phase = Phase::Decide;
        if (soundWanted(read)) {
            QStringList paths;
            for (const FileRead& f : read.media.first())
                paths << f.path;
            soundReleases.clear();
            phase = Phase::SoundAnswer;
            soundBusy = true;
            sound.searchFiles(paths);
            return !soundBusy;
        }
        return true;
    case Phase::SoundAnswer:
        for (const QString& id : std::as_const(soundReleases)) {
            const bool known = std::any_of(a.candidates.begin(), a.candidates.end(), [&](const Candidate& c) {
                return c.source != kCddb && c.id.section(QLatin1Char('/'), 0, 0) == id;
            });
            if (!known && !readQueue.contains(id) && readQueue.size() < kReadsPerSearch)
                readQueue << id;
        }
        soundReleases.clear();
        readSource = kAcoustId;
        afterReads = Phase::Decide;
        phase = Phase::Read;
        return true;
    case Phase::Chosen:
        if (mbGotRelease) {
            addRelease(mbRelease, read);
            mbGotRelease = false;
        }
        readSource = kMusicBrainz;
        if (!mbFailure.isEmpty()) {
            a.reason = mbFailure;
            mbFailure.clear();
        }
        phase = Phase::Decide;
        return true;
    case Phase::Decide:
        decide();
        return !mbBusy;
    case Phase::Apply: {
        Candidate& c = a.candidates.first();
        c.disc.frontCover = mbCover;
        for (LookupDisc& disc : c.discs)
            disc.frontCover = mbCover;
        mbCover.clear();
        mbFailure.clear();
        if (options.dryRun) { // the cover fetched ahead waits with its candidate for applyStrong
            closeAlbum();
            return true;
        }
        QString why;
        a.stage = Stage::Applying;
        Q_EMIT q->albumChanged(current);
        if (apply(current, c, &why)) {
            a.verdict = Verdict::Applied;
        } else {
            a.verdict = Verdict::Failed;
            a.reason = why;
        }
        closeAlbum();
        return true;
    }
    }
    return false;
}

void ImportRun::Impl::startAlbum()
{
    AlbumState& a = albums[current];
    const AlbumRead& read = reads.at(current);
    Q_EMIT q->progress(current + 1, int(albums.size()), a.album.folder);
    const QString absolute = Absolute(a.album.folder);
    if (options.resume && done.contains(absolute)) {
        a.verdict = Verdict::Skipped;
        a.reason = QStringLiteral("done");
        closeAlbum();
        return;
    }
    if (!read.failure.isEmpty()) {
        a.verdict = Verdict::Failed;
        a.reason = read.failure;
        closeAlbum();
        return;
    }
    a.stage = Stage::Searching;
    Q_EMIT q->albumChanged(current);
    chosenMedium = 0;
    readSource = kMusicBrainz;
    soundReleases.clear();
    mbReleases.clear();
    mbGotRelease = false;
    mbFailure.clear();
    mbCover.clear();
    readQueue.clear();
    // A hand pick reads that one disc and nothing else.
    const QString choice = options.choose.value(a.album.folder, options.choose.value(absolute));
    if (!choice.isEmpty()) {
        a.chosen = true;
        const QString source = choice.section(QLatin1Char(':'), 0, 0).toLower();
        const QString id = choice.section(QLatin1Char(':'), 1);
        phase = Phase::Chosen;
        chosenMedium = id.section(QLatin1Char('/'), 1, 1).toInt();
        if ((source == kMusicBrainz || source == kAcoustId) && IsReleaseId(id.section(QLatin1Char('/'), 0, 0))) {
            readSource = source;
            mbBusy = true;
            mb.readRelease(id.section(QLatin1Char('/'), 0, 0));
        } else if (source == kCddb && id.count(QLatin1Char('/')) == 1) {
            addCddbHit(LookupHit{CddbSource::sourceName(), id.section(QLatin1Char('/'), 1), id.section(QLatin1Char('/'), 0, 0), 0, {}},
                       read);
        } else {
            a.reason = QStringLiteral("%1 names no disc of cddb or musicbrainz").arg(choice);
        }
        return;
    }
    // The table of contents goes first: while it waits for its turn, CDDB is asked.
    QList<qint64> first;
    for (const FileRead& f : read.media.first())
        first << f.ms;
    if (useMb() && !first.isEmpty() && first.size() <= kMaxDiscTracks) {
        mbBusy = true;
        mb.lookupLayout(LayoutFromLengths(first));
    }
    if (useCddb() && read.media.size() == 1)
        cddbByLengths(read);
    phase = Phase::Toc;
}

void ImportRun::Impl::cddbByLengths(const AlbumRead& read)
{
    QList<qint64> lengths;
    for (const FileRead& f : read.media.first())
        lengths << f.ms;
    const LookupOutcome o = AwaitLookup(cddb, [&] { cddb.searchLengths(lengths); });
    for (qsizetype i = 0; i < std::min<qsizetype>(o.hits.size(), kReadsPerSearch) && !cancelled; ++i)
        addCddbHit(o.hits.at(i), read);
}

void ImportRun::Impl::cddbByWords(const AlbumRead& read)
{
    const LookupOutcome o = AwaitLookup(cddb, [&] { cddb.searchWords(read.words(), false); });
    QList<Candidate>& candidates = albums[current].candidates;
    int taken = 0;
    for (const LookupHit& hit : o.hits) {
        if (taken >= kReadsPerSearch || cancelled)
            break;
        const QString key = kCddb + QLatin1Char(':') + hit.group + QLatin1Char('/') + hit.id;
        if (std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& c) { return c.key() == key; }))
            continue;
        ++taken;
        addCddbHit(hit, read);
    }
}

void ImportRun::Impl::addCddbHit(const LookupHit& hit, const AlbumRead& read)
{
    LookupDisc disc;
    QString why;
    if (!ReadLookupDisc(cddb, hit, disc, &why) || cancelled)
        return;
    Candidate c;
    c.source = kCddb;
    c.id = hit.group + QLatin1Char('/') + hit.id;
    c.artist = disc.artist;
    c.album = disc.album;
    c.disc = disc;
    c.discs = {disc};
    Measure(read, c);
    QList<Candidate>& candidates = albums[current].candidates;
    if (std::none_of(candidates.begin(), candidates.end(), [&](const Candidate& o) { return o.key() == c.key(); }))
        candidates << c;
}

void ImportRun::Impl::addRelease(const MbRelease& release, const AlbumRead& read)
{
    QList<Candidate> made;
    auto make = [&](const QList<qsizetype>& indices, int medium) {
        Candidate c;
        c.source = readSource;
        c.id = release.id + (medium > 0 ? QStringLiteral("/%1").arg(medium) : QString());
        c.medium = medium;
        c.artist = release.artist;
        c.album = release.title;
        for (const qsizetype i : indices)
            c.discs << MusicBrainzSource::DiscFrom(release, i);
        c.disc = c.discs.value(0);
        Measure(read, c);
        made << c;
    };
    if (read.media.size() > 1 || release.media.size() <= 1) {
        QList<qsizetype> indices;
        for (qsizetype k = 0; k < std::min(release.media.size(), read.media.size()); ++k)
            indices << k;
        make(indices, 0);
    } else {
        // One folder against a release of several media: the medium picked, else the one
        // that fits it best.
        for (qsizetype i = 0; i < release.media.size(); ++i)
            if (chosenMedium <= 0 || release.media.at(i).position == chosenMedium)
                make({i}, release.media.at(i).position);
    }
    std::stable_sort(made.begin(), made.end(),
                     [](const Candidate& x, const Candidate& y) { return x.distance < y.distance; });
    QList<Candidate>& candidates = albums[current].candidates;
    if (!made.isEmpty() &&
        std::none_of(candidates.begin(), candidates.end(), [&](const Candidate& o) { return o.key() == made.first().key(); }))
        candidates << made.first();
}

// AcoustID is asked when it is set up (its key), for one folder the others leave unsure.
bool ImportRun::Impl::soundWanted(const AlbumRead& read) const
{
    return options.acoustId && !albums.at(current).strong && read.media.size() == 1 &&
           !Setting(setting::kAcoustIdKey).trimmed().isEmpty();
}

// Releases whose tracks came with the answer become candidates at once; the others are read,
// the best few of them (by words only those with as many tracks as the files).
void ImportRun::Impl::queueReads(const QList<MbRelease>& releases, const AlbumRead& read, bool onlyCounted)
{
    int files = 0;
    for (const QList<FileRead>& m : read.media)
        files += int(m.size());
    const QList<Candidate>& candidates = albums[current].candidates;
    for (const MbRelease& r : releases) {
        const bool known = std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& c) {
            return c.source == kMusicBrainz && c.id.section(QLatin1Char('/'), 0, 0) == r.id;
        });
        if (known || readQueue.contains(r.id))
            continue;
        const bool withTracks = !r.media.isEmpty() &&
                                std::all_of(r.media.begin(), r.media.end(), [](const MbMedium& m) { return !m.tracks.isEmpty(); });
        if (withTracks) {
            addRelease(r, read);
            continue;
        }
        const bool counted = r.trackCount == files ||
                             (read.media.size() == 1 && std::any_of(r.media.begin(), r.media.end(), [&](const MbMedium& m) {
                                  return m.trackCount == files;
                              }));
        if ((!onlyCounted || counted) && readQueue.size() < kReadsPerSearch)
            readQueue << r.id;
    }
}

void ImportRun::Impl::decide()
{
    AlbumState& a = albums[current];
    a.strong = Rank(a.candidates);
    a.stage = Stage::Decided;
    if (a.candidates.isEmpty()) {
        a.verdict = Verdict::None;
        if (a.reason.isEmpty())
            a.reason = a.chosen ? QStringLiteral("the chosen disc cannot be read") : QStringLiteral("no disc found");
        closeAlbum();
        return;
    }
    if (!a.strong && !a.chosen) {
        a.verdict = Verdict::Unsure;
        closeAlbum();
        return;
    }
    // A dry run leaves the verdict open: the strong and chosen ones are what would be applied.
    const Candidate& best = a.candidates.first();
    const bool coverAhead = options.coverAhead && options.cover && a.strong && best.source != kCddb;
    if (options.dryRun && !coverAhead) {
        closeAlbum();
        return;
    }
    phase = Phase::Apply;
    if (options.cover && best.source != kCddb) {
        mbBusy = true;
        mb.fetchFrontCover(best.id.section(QLatin1Char('/'), 0, 0));
    }
}

void ImportRun::Impl::closeAlbum()
{
    AlbumState& a = albums[current];
    a.stage = Stage::Done;
    const int index = current;
    current = -1;
    Q_EMIT q->albumChanged(index);
}

bool ImportRun::Impl::saveState(QString* why)
{
    QStringList lines(done.begin(), done.end());
    std::sort(lines.begin(), lines.end());
    if (!dorvane::io::WriteFileAtomically(ResumeStateFile(options.journalFile), lines.join(QLatin1Char('\n')).toUtf8() + '\n', why))
        return false;
    return options.journalFile.isEmpty() || WriteJournal(options.journalFile, journal, why);
}

// As the album page applies a disc: auto-sort optimal, naming pattern, the format's tags,
// playlist by the settings, the cover when asked; each medium folder an album of its own
// with its disc number of the set.
bool ImportRun::Impl::apply(int index, const Candidate& c, QString* why)
{
    const AlbumState& a = albums.at(index);
    const AlbumRead& read = reads.at(index);
    const bool multi = a.album.media.size() > 1;
    int failures = 0;
    for (qsizetype k = 0; k < a.album.media.size(); ++k) {
        if (k >= c.discs.size()) {
            *why = QStringLiteral("the disc has no medium %1").arg(k + 1);
            return false;
        }
        const LookupDisc& disc = c.discs.at(k);
        AlbumSession s;
        const PatternSamples samples = RefreshPatternSamples(s);
        s.path = DeliveredFolder(dorvane::io::AbsolutePath(a.album.media.at(k)));
        s.ext = a.album.format;
        QStringList names;
        QHash<QString, qint64> ms;
        for (const FileRead& f : read.media.at(k)) {
            names << BaseName(f.path);
            ms.insert(BaseName(f.path), f.ms);
        }
        s.setFiles(names);
        for (ListItem& e : s.mp3)
            e.data = ms.value(e.text);
        s.artist = disc.artist;
        s.album = disc.album;
        s.year = disc.year;
        s.genre = disc.genre;
        s.discNumber = multi ? int(k) + 1 : disc.discNumber;
        s.discCount = multi ? int(a.album.media.size()) : disc.discCount;
        s.frontCover = disc.frontCover;
        for (int i = 0; i < disc.tracks.size(); ++i) {
            s.fetched.append({disc.tracks.at(i).title, disc.tracks.at(i).frames, disc.tracks.at(i).artist});
            s.tracks.append(AlbumSession::trackLine(i, disc.tracks.at(i).title));
        }
        if (s.mp3.size() == s.fetched.size()) {
            QStringList order;
            for (const ListItem& e : OptimalSort(s.mp3, s.fetched))
                order << e.text;
            s.setFiles(order);
            for (ListItem& e : s.mp3)
                e.data = ms.value(e.text);
        }
        const bool mp3 = s.ext == QLatin1String("MP3");
        ApplyOptions o;
        o.rename = samples.renameEnabled;
        o.playlist = samples.playlistEnabled;
        o.id3v1 = mp3 && !GenreTable().value(0).isEmpty();
        o.id3v2 = mp3;
        o.tags = !mp3 && FormatInfo(FormatNamed(s.ext)).tagged;
        o.embedCover = options.cover;
        const ApplyResult r = ApplyAlbum(s, o, *talk);
        journal += AlbumJournal(s);
        failures += r.failures + (r.started ? 0 : 1);
    }
    done.insert(Absolute(a.album.folder));
    QString stateWhy;
    if (!saveState(&stateWhy)) {
        *why = QStringLiteral("applied, but what undo and --resume need cannot be written: ") + stateWhy;
        return false;
    }
    if (failures > 0) {
        *why = QStringLiteral("%1 files not tagged or renamed as asked").arg(failures);
        return false;
    }
    return true;
}

bool ImportRun::applyStrong()
{
    if (d->running)
        return false;
    d->openRun();
    bool ok = true;
    for (int i = 0; i < d->albums.size(); ++i) {
        AlbumState& a = d->albums[i];
        if (!a.strong || a.candidates.isEmpty() || d->done.contains(Absolute(a.album.folder)))
            continue;
        QString why;
        a.stage = Stage::Applying;
        Q_EMIT albumChanged(i);
        const bool applied = d->apply(i, a.candidates.first(), &why);
        a.verdict = applied ? Verdict::Applied : Verdict::Failed;
        a.reason = applied ? QString() : why;
        a.stage = Stage::Done;
        ok = ok && applied;
        Q_EMIT albumChanged(i);
    }
    if (d->runOpen) {
        tags::EndRun();
        d->runOpen = false;
    }
    return ok;
}

bool ImportRun::applyCandidate(int album, int candidate)
{
    if (d->running || album < 0 || album >= d->albums.size() || candidate < 0 ||
        candidate >= d->albums.at(album).candidates.size())
        return false;
    AlbumState& a = d->albums[album];
    if (d->done.contains(Absolute(a.album.folder)))
        return false;
    d->openRun();
    a.candidates.move(candidate, 0);
    a.chosen = true;
    a.stage = Stage::Applying;
    Q_EMIT albumChanged(album);
    Candidate& pick = a.candidates.first();
    if (d->options.cover && pick.source != kCddb && pick.disc.frontCover.isEmpty()) {
        // The pick's cover, fetched now at the program's pace; the event loop runs meanwhile.
        MusicBrainzClient covers;
        QEventLoop wait;
        connect(&covers, &MusicBrainzClient::coverReady, &wait, [&](const QByteArray& image) {
            pick.disc.frontCover = image;
            for (LookupDisc& disc : pick.discs)
                disc.frontCover = image;
            wait.quit();
        });
        connect(&covers, &MusicBrainzClient::failed, &wait, &QEventLoop::quit);
        covers.fetchFrontCover(pick.id.section(QLatin1Char('/'), 0, 0));
        wait.exec();
    }
    QString why;
    const bool applied = d->apply(album, pick, &why);
    a.verdict = applied ? Verdict::Applied : Verdict::Failed;
    a.reason = applied ? QString() : why;
    a.stage = Stage::Done;
    if (d->runOpen) {
        tags::EndRun();
        d->runOpen = false;
    }
    Q_EMIT albumChanged(album);
    return applied;
}

} // namespace tunora::import
