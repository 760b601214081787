#include "bulk/BulkCli.h"

#include "album/FolderWalk.h"
#include "bulk/BulkRun.h"
#include "shell/core/Shared.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstdio>
#include <sys/stat.h>

namespace tunora {

namespace {

void printPath(FILE* out, const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

void complain(const QString& message)
{
    std::fputs("tunora-cli rename: ", stderr);
    printPath(stderr, message);
    std::fputc('\n', stderr);
}

int usage(const char* why)
{
    std::fprintf(stderr,
                 "tunora-cli rename: %s\n"
                 "usage: tunora-cli rename [--multi] [--case lc|uc|fluc] [--unmerge | --merge]\n"
                 "                         [--under | --space] [--recurse] [--dry-run] PATH...\n",
                 why);
    return 2;
}

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
};

bool fileId(const QString& path, FileId* id)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    id->dev = st.st_dev;
    id->ino = st.st_ino;
    return true;
}

// Which names a dry run would find taken, as the renames before it would have left them.
class DryRunNames {
public:
    bool canTake(const QString& from, const QString& to) const
    {
        if (m_taken.contains(to))
            return false;
        if (m_freed.contains(to))
            return true;
        FileId a, b;
        if (!fileId(to, &b))
            return true;
        // A change of letter case on a file system that ignores case finds the file itself.
        return fileId(from, &a) && a.dev == b.dev && a.ino == b.ino;
    }
    void renamed(const QString& from, const QString& to)
    {
        m_taken.remove(from);
        m_freed.insert(from);
        m_freed.remove(to);
        m_taken.insert(to);
    }

private:
    QSet<QString> m_taken, m_freed;
};

} // namespace

int RunRenameCommand(const QStringList& args)
{
    BulkOptions options;
    bool recurse = false, dryRun = false, optionsDone = false;
    QStringList paths;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (optionsDone || !a.startsWith(QLatin1String("--"))) {
            paths << a;
        } else if (a == QLatin1String("--")) {
            optionsDone = true;
        } else if (a == QLatin1String("--multi")) {
            options.multi = true;
        } else if (a == QLatin1String("--case") || a.startsWith(QLatin1String("--case="))) {
            QString mode;
            if (a.contains('='))
                mode = a.section('=', 1);
            else if (i + 1 < args.size())
                mode = args.at(++i);
            options.case_ = true;
            if (mode == QLatin1String("lc"))
                options.case_mode = CaseMode::lc;
            else if (mode == QLatin1String("uc"))
                options.case_mode = CaseMode::uc;
            else if (mode == QLatin1String("fluc"))
                options.case_mode = CaseMode::fluc;
            else
                return usage("--case takes lc, uc or fluc");
        } else if (a == QLatin1String("--unmerge")) {
            options.unmerge = true;
        } else if (a == QLatin1String("--merge")) {
            options.merge = true;
        } else if (a == QLatin1String("--under")) {
            options.under = true;
        } else if (a == QLatin1String("--space")) {
            options.space = true;
        } else if (a == QLatin1String("--recurse")) {
            recurse = true;
        } else if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else {
            return usage(("unknown option " + a.toLocal8Bit()).constData());
        }
    }
    if (options.merge && options.unmerge)
        return usage("--merge and --unmerge exclude each other");
    if (options.under && options.space)
        return usage("--under and --space exclude each other");
    if (paths.isEmpty())
        return usage("no file or folder given");

    bool failed = false;
    QStringList files;
    QSet<QString> seen;
    auto take = [&](const QString& f) {
        const QString key = QFileInfo(f).absoluteFilePath();
        if (!seen.contains(key)) {
            seen.insert(key);
            files << f;
        }
    };
    for (const QString& p : std::as_const(paths)) {
        const QFileInfo fi(p);
        if (fi.isDir()) { // a link to a folder named on the command line is walked too
            const WalkResult walk = WalkAudioFolder(p.endsWith('/') && p.size() > 1 ? p.chopped(1) : p, recurse);
            for (const QString& f : walk.files)
                take(f);
        } else if (fi.exists() || fi.isSymLink()) {
            take(p);
        } else {
            complain(QStringLiteral("no such file or folder: ") + p);
            failed = true;
        }
    }

    qint64 renamed = 0;
    DryRunNames names;
    for (const QString& f : std::as_const(files)) {
        const BulkStep step = PlanBulkRename(f, options);
        if (!step.changes())
            continue;
        QString why;
        bool ok;
        if (dryRun) {
            ok = names.canTake(step.oldPath, step.newPath);
            if (ok)
                names.renamed(step.oldPath, step.newPath);
            else
                why = QStringLiteral("the name is taken");
        } else {
            ok = RenameNoReplace(step.oldPath, step.newPath, &why);
        }
        if (!ok) {
            complain((dryRun ? QStringLiteral("would not rename ") : QStringLiteral("cannot rename ")) + step.oldPath +
                     QStringLiteral(" to ") + step.newPath + QStringLiteral(": ") + why);
            failed = true;
            continue;
        }
        ++renamed;
        printPath(stdout, step.oldPath);
        std::fputc('\t', stdout);
        printPath(stdout, step.newPath);
        std::fputc('\n', stdout);
    }
    std::printf("%lld of %lld files %s\n", static_cast<long long>(renamed), static_cast<long long>(files.size()),
                dryRun ? "would be renamed" : "renamed");
    std::fflush(stdout);
    return failed ? 1 : 0;
}

} // namespace tunora
