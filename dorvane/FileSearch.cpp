// The recursive file search with its two events, and the file queries built on folder listings.
#include "dorvane/FileSearch.h"

#include "dorvane/ControlPrivate.h"
#include "dorvane/FileIo.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dorvane::files {

namespace {

// Classic wildcard match on case-folded text; "*" runs are matched by backtracking to the last star.
bool globMatch(const QString& mask, const QString& name)
{
    qsizetype m = 0;
    qsizetype n = 0;
    qsizetype star = -1;
    qsizetype resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask.at(m) == QChar('?') || mask.at(m) == name.at(n))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask.at(m) == QChar('*')) {
            star = m++;
            resume = n;
        } else if (star >= 0) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask.at(m) == QChar('*'))
        ++m;
    return m == mask.size();
}

} // namespace

bool HasWildcards(const QString& text)
{
    return text.contains(QChar('*')) || text.contains(QChar('?'));
}

bool MaskMatches(const QString& mask, const QString& name)
{
    const QString m = mask.toCaseFolded();
    const QString n = name.toCaseFolded();
    if (m == QLatin1String("*.*") || m == QLatin1String("*"))
        return true;
    if (m.endsWith(QLatin1String(".*")) && globMatch(m.left(m.size() - 2), n))
        return true;
    if (m.endsWith(QChar('.')) && !m.endsWith(QLatin1String(".*"))) {
        QString stem = m;
        while (stem.endsWith(QChar('.')))
            stem.chop(1);
        return !n.contains(QChar('.')) && globMatch(stem, n);
    }
    return globMatch(m, n);
}

bool ListFolder(const QString& folder, QList<Entry>* entries)
{
    entries->clear();
    const QByteArray path = io::EncodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        Entry entry;
        entry.name = io::DecodeName(QByteArray(e->d_name));
        struct stat st {};
        if (::fstatat(fd, e->d_name, &st, 0) == 0) {
            entry.folder = S_ISDIR(st.st_mode);
            entry.regular = S_ISREG(st.st_mode);
            entry.dev = st.st_dev;
            entry.ino = st.st_ino;
        }
        entries->append(entry);
    }
    ::closedir(dir);
    std::sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) {
        const int c = a.name.compare(b.name, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return true;
}

bool ExistsOrdinaryFile(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QChar('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : fileName.left(slash));
    const QString mask = fileName.mid(slash + 1);
    if (mask.isEmpty() || HasWildcards(folder))
        return false;
    if (!HasWildcards(mask) && !mask.startsWith(QChar('.'))) {
        struct stat st {};
        if (::stat(io::EncodeName(fileName).constData(), &st) == 0 && S_ISREG(st.st_mode))
            return true;
    }
    // Masks, and names written in another case than on disk.
    QList<Entry> entries;
    if (!ListFolder(folder, &entries))
        return false;
    for (const Entry& e : entries)
        if (e.regular && !e.name.startsWith(QChar('.')) && MaskMatches(mask, e.name))
            return true;
    return false;
}

} // namespace dorvane::files

namespace dorvane {

void Dorvanectrl::FindFiles(const QString& SearchPattern, QString& chemin)
{
    if (d->searching)
        return; // one search at a time per control: a call from an event handler is refused
    d->pattern = SearchPattern;
    if (SearchPattern.isEmpty())
        return;
    d->searching = true;
    QString root = chemin;
    if (!root.endsWith(QChar('/')))
        root += QChar('/');

    // Folders already taken into the walk, so links can never make it go round in circles.
    QSet<QPair<quint64, quint64>> seen;
    struct stat st {};
    if (::stat(io::EncodeName(root).constData(), &st) == 0)
        seen.insert({quint64(st.st_dev), quint64(st.st_ino)});

    // Depth-first and pre-order: a folder's own files come before any of its subfolders.
    std::vector<QString> pending{root};
    while (!pending.empty()) {
        const QString folder = pending.back();
        pending.pop_back();
        Q_EMIT FileSearchPath(folder);
        detail::YieldToHost();
        if (!d->searching)
            continue; // stopped: the folders still waiting only announce themselves

        QList<files::Entry> entries;
        if (!files::ListFolder(folder, &entries))
            continue; // unreadable folders yield nothing
        QStringList subfolders;
        for (const files::Entry& e : entries) {
            if (!e.folder || e.name.startsWith(QChar('.')))
                continue;
            if (seen.contains({quint64(e.dev), quint64(e.ino)}))
                continue;
            seen.insert({quint64(e.dev), quint64(e.ino)});
            subfolders << e.name;
        }
        for (const files::Entry& e : entries) {
            if (!files::MaskMatches(d->pattern, e.name))
                continue;
            detail::YieldToHost();
            if (!d->searching)
                break;
            if (e.regular)
                Q_EMIT FileFound(folder + e.name);
            else if (e.name == QLatin1String("."))
                Q_EMIT FileFound(folder); // the mask takes in the folder itself
        }
        for (auto it = subfolders.crbegin(); it != subfolders.crend(); ++it)
            pending.push_back(folder + *it + "/");
    }
    d->searching = false;
}

bool Dorvanectrl::FindFilesStop() const
{
    return d->stopRequested;
}

void Dorvanectrl::setFindFilesStop(bool)
{
    d->searching = false;
    d->stopRequested = true;
}

QVariant Dorvanectrl::Exist(const QString& FileName)
{
    return files::ExistsOrdinaryFile(FileName);
}

} // namespace dorvane
