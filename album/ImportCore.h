// Many albums in one run: every album folder under the roots is found, its files read, the
// sources asked for candidates, each candidate given a distance and the strong ones applied
// as the album page would. The run is one run of the write journal; the window and
// tunora-cli both drive it through ImportRun.
#pragma once

#include "album/AlbumApply.h"
#include "lookup/LookupSource.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tunora::import {

// One album: a folder that directly holds audio files, or the parent of sibling medium
// folders ("CD1", "Disc 2", ...).
struct AlbumFolder {
    QString folder;            // the album's folder (the parent of its media folders), as found under its root
    QString root;              // the root it was found under, as given
    QString format;            // the format name of its files ("MP3", "FLAC", ...)
    QStringList media;         // one folder per medium, in disc order
    QList<QStringList> files;  // per medium, full paths, sorted
    bool operator==(const AlbumFolder&) const = default;
};

// The album folders under each root, in path order.
QList<AlbumFolder> FindAlbumFolders(const QStringList& roots);
// The disc number a folder's name gives ("CD1", "cd 2", "Disc-3", "disc_4"), 0 when none.
int MediumNumber(const QString& folderName);

struct Candidate {
    QString source, id;   // as the command line prints and --choose takes: SOURCE:ID (cddb, musicbrainz, acoustid)
    int medium = 0;       // the medium of a multi-disc release the disc is, 0 when unknown
    QString artist, album;
    double distance = 1;  // 0 certain .. 1 unrelated
    LookupDisc disc;      // the first medium's disc (a multi-disc album keeps the rest in discs)
    QList<LookupDisc> discs; // every medium's disc, in the album's medium order
    bool lengthsClose = false; // equal track count, every track within 3 s of its file
    QString key() const { return source + QLatin1Char(':') + id; }
    // "ARTIST / ALBUM", as the lines of the command line show it.
    QString title() const { return artist + QStringLiteral(" / ") + album; }
};

// The weights of the distance, in one place: the parts add up to 1.
inline constexpr double kWeightCount = 0.25;   // track count differs
inline constexpr double kWeightLengths = 0.40; // mean track deviation, 0 at 0 s .. 1 at 10 s and above
inline constexpr double kWeightTitles = 0.15;  // track titles unlike the files' titles
inline constexpr double kWeightArtist = 0.10;  // album artist unlike the files' or the folder's
inline constexpr double kWeightAlbum = 0.10;   // album title unlike the files' or the folder's
// Strong: equal count, every track within kStrongTrackMs, distance at most kStrongDistance
// and at least kStrongGap below the next candidate.
inline constexpr qint64 kStrongTrackMs = 3000;
inline constexpr double kStrongDistance = 0.10;
inline constexpr double kStrongGap = 0.05;

// Waiting: not read yet, or read and waiting for its turn at the services.
enum class Stage { Waiting, Reading, Searching, Decided, Applying, Done };
enum class Verdict { Pending, Applied, Unsure, None, Skipped, Failed };

struct AlbumState {
    AlbumFolder album;
    int fileCount = 0;
    Stage stage = Stage::Waiting;
    QList<Candidate> candidates; // best first
    Verdict verdict = Verdict::Pending; // a dry run leaves it Pending: strong or chosen ones would be applied
    QString reason;              // of None and Failed; the chosen key of a hand pick
    bool strong = false;         // candidates[0] is a strong match
    bool chosen = false;         // decided by --choose or a hand pick
};

struct ImportOptions {
    QString source = QStringLiteral("both"); // cddb, musicbrainz or both
    bool dryRun = false, cover = false, resume = false;
    QMap<QString, QString> choose; // folder (as given or absolute) -> SOURCE:ID
    QString journalFile;           // empty: the write journal's usual file
    // AcoustID as the third source, for albums of one folder the others leave unsure or
    // unfound, when its key is set up.
    bool acoustId = true;
    // A dry run that applyStrong() follows (the window): with cover, the front picture of each
    // strong match is fetched while deciding, so that the apply has it.
    bool coverAhead = false;
};

// The file beside the journal that lists the folders a run applied (for --resume).
QString ResumeStateFile(const QString& journalFile);

class ImportRun : public QObject {
    Q_OBJECT
public:
    ImportRun(QStringList roots, ImportOptions options, ApplyTalk& talk, QObject* parent = nullptr);
    ~ImportRun() override;

    const QList<AlbumState>& albums() const;
    // Finds the folders, reads the files off the calling thread, looks up, decides, and
    // applies the strong matches unless dryRun; returns at once, the event loop runs it.
    void start();
    void cancel();
    bool isRunning() const;
    // After a dry run: applies every strong match not applied yet (the window's button).
    bool applyStrong();
    // A hand pick for an unsure album: applies that candidate.
    bool applyCandidate(int album, int candidate);
    // The journal run id of the applies so far (empty when none was written).
    QString journalRunId() const;

Q_SIGNALS:
    void albumsFound(int count);
    void albumChanged(int index);
    void progress(int done, int total, const QString& folder);
    // The run is over (or cancelled). A receiver that ends the run's life uses deleteLater():
    // a cancel can come while a CDDB request of the run is still unwinding.
    void finished();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tunora::import
