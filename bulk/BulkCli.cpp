#include "bulk/BulkCli.h"

#include "dorvane/FileIo.h"
#include "folders/FolderWalk.h"
#include "bulk/BulkRun.h"
#include "tags/Journal.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Shared.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstdio>

namespace tunora {

namespace {

void printPath(FILE* out, const QString& path)
{
    const QByteArray bytes = dorvane::io::EncodeName(path);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
}

void complain(const QString& message)
{
    std::fputs("tunora-cli rename: ", stderr);
    printPath(stderr, message);
    std::fputc('\n', stderr);
}

} // namespace

int RunRenameCommand(const QStringList& args)
{
    CliCommand cmd("rename");
    cmd.addFlag(QStringLiteral("multi"), QStringLiteral("apply the rules to every word"));
    cmd.addValue(QStringLiteral("case"), QStringLiteral("lc|uc|fluc"), QStringLiteral("letter case"));
    cmd.addFlag(QStringLiteral("unmerge"), QStringLiteral("split joined words"));
    cmd.addFlag(QStringLiteral("merge"), QStringLiteral("join words"));
    cmd.addFlag(QStringLiteral("under"), QStringLiteral("spaces become underscores"));
    cmd.addFlag(QStringLiteral("space"), QStringLiteral("underscores become spaces"));
    cmd.addFlag(QStringLiteral("recurse"), QStringLiteral("a folder adds the folders below it too"));
    cmd.addFlag(QStringLiteral("dry-run"), QStringLiteral("show the renames without making them"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    auto usage = [&cmd](const char* why) { return cmd.usage(QString::fromLatin1(why)); };
    BulkOptions options;
    options.multi = cmd.isSet(QStringLiteral("multi"));
    if (cmd.isSet(QStringLiteral("case"))) {
        const QString mode = cmd.value(QStringLiteral("case"));
        options.case_ = true;
        if (mode == QLatin1String("lc"))
            options.case_mode = CaseMode::lc;
        else if (mode == QLatin1String("uc"))
            options.case_mode = CaseMode::uc;
        else if (mode == QLatin1String("fluc"))
            options.case_mode = CaseMode::fluc;
        else
            return usage("--case takes lc, uc or fluc");
    }
    options.unmerge = cmd.isSet(QStringLiteral("unmerge"));
    options.merge = cmd.isSet(QStringLiteral("merge"));
    options.under = cmd.isSet(QStringLiteral("under"));
    options.space = cmd.isSet(QStringLiteral("space"));
    const bool recurse = cmd.isSet(QStringLiteral("recurse")), dryRun = cmd.isSet(QStringLiteral("dry-run"));
    const QStringList paths = cmd.words();
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
        const QString key = dorvane::io::AbsolutePath(f);
        if (!seen.contains(key)) {
            seen.insert(key);
            files << f;
        }
    };
    for (const QString& p : std::as_const(paths)) {
        if (dorvane::io::IsFolder(p)) { // a link to a folder named on the command line is walked too
            const WalkResult walk = WalkAudioFolder(p.endsWith('/') && p.size() > 1 ? p.chopped(1) : p, recurse);
            for (const QString& f : walk.files)
                take(f);
        } else if (dorvane::io::Exists(p)) {
            take(p);
        } else {
            complain(QStringLiteral("no such file or folder: ") + p);
            failed = true;
        }
    }

    qint64 renamed = 0;
    const auto report = [&](const BulkStep& step, const QString& why) {
        if (!why.isEmpty()) {
            complain((dryRun ? QStringLiteral("would not rename ") : QStringLiteral("cannot rename ")) + step.oldPath +
                     QStringLiteral(" to ") + step.newPath + QStringLiteral(": ") + why);
            failed = true;
            return;
        }
        ++renamed;
        printPath(stdout, step.oldPath);
        std::fputc('\t', stdout);
        printPath(stdout, step.newPath);
        std::fputc('\n', stdout);
    };
    if (dryRun) {
        // The rows the Bulk Renamer's list shows beside its files.
        for (const BulkPreviewRow& row : PreviewBulk(files, options))
            if (row.state == BulkPreviewRow::Renamed || row.state == BulkPreviewRow::Taken)
                report({true, row.oldPath, row.newPath},
                       row.state == BulkPreviewRow::Taken ? QStringLiteral("the name is taken") : QString());
    } else {
        const tags::JournalRun journal(QStringLiteral("tunora-cli rename ") + args.join(u' '));
        for (const QString& f : std::as_const(files)) {
            const BulkStep step = PlanBulkRename(f, options);
            if (!step.changes())
                continue;
            QString why;
            const bool ok = tags::RenameJournalled(step.oldPath, step.newPath, &why);
            report(step, ok ? QString() : why.isEmpty() ? QStringLiteral("failed") : why);
        }
    }
    std::printf("%lld of %lld files %s\n", static_cast<long long>(renamed), static_cast<long long>(files.size()),
                dryRun ? "would be renamed" : "renamed");
    std::fflush(stdout);
    return failed ? 1 : 0;
}

} // namespace tunora
