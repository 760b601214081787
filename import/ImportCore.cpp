#include "import/ImportCore.h"

namespace tunora::import {

struct ImportRun::Impl {
    QStringList roots;
    ImportOptions options;
    ApplyTalk* talk = nullptr;
    QList<AlbumState> albums;
    bool running = false;
    QString runId;
};

QList<AlbumFolder> FindAlbumFolders(const QStringList& roots)
{
    Q_UNUSED(roots);
    return {};
}

int MediumNumber(const QString& folderName)
{
    Q_UNUSED(folderName);
    return 0;
}

QString ResumeStateFile(const QString& journalFile)
{
    return journalFile + QStringLiteral(".import-done");
}

ImportRun::ImportRun(QStringList roots, ImportOptions options, ApplyTalk& talk, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>())
{
    d->roots = std::move(roots);
    d->options = std::move(options);
    d->talk = &talk;
}

ImportRun::~ImportRun() = default;

const QList<AlbumState>& ImportRun::albums() const { return d->albums; }
void ImportRun::start() {}
void ImportRun::cancel() {}
bool ImportRun::isRunning() const { return d->running; }
bool ImportRun::applyStrong() { return false; }
bool ImportRun::applyCandidate(int album, int candidate)
{
    Q_UNUSED(album);
    Q_UNUSED(candidate);
    return false;
}
QString ImportRun::journalRunId() const { return d->runId; }

} // namespace tunora::import
