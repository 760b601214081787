#include "tags/JournalCli.h"

#include "dorvane/FileIo.h"
#include "shell/core/CliCommand.h"
#include "tags/Journal.h"

#include <QFile>
#include <cstdio>

namespace tunora {

namespace {

void printLine(FILE* out, const QString& line)
{
    std::fprintf(out, "%s\n", dorvane::io::EncodeName(line).constData());
}

} // namespace

void RecoverJournalAtStart()
{
    const tags::RecoveryReport r = tags::Recover();
    if (r.summary().isEmpty())
        return;
    std::fflush(stdout);
    printLine(stderr, QStringLiteral("tunora-cli: ") + r.summary());
    for (const QString& line : r.lines)
        printLine(stderr, QStringLiteral("tunora-cli: ") + line);
}

int RunJournalCommand(const QStringList& args)
{
    CliCommand cmd("journal");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    if (!cmd.words().isEmpty())
        return cmd.usage(QStringLiteral("no words expected"));
    QString why;
    const QList<tags::RunInfo> runs = tags::ListRuns(&why);
    if (!why.isEmpty())
        return cmd.fail(tags::JournalPath() + QStringLiteral(": ") + why, 2);
    // Per run: id, time, state, command; then one line per file.
    for (const tags::RunInfo& r : runs) {
        const QString state = r.undone ? QStringLiteral("undone") : r.ended ? QStringLiteral("done") : QStringLiteral("interrupted");
        printLine(stdout, QStringLiteral("run\t%1\t%2\t%3\t%4")
                              .arg(r.id, r.time.toString(Qt::ISODate), state, r.command));
        for (const tags::RunFile& f : r.files)
            printLine(stdout, QStringLiteral("\t%1\t%2\t%3").arg(f.done ? QStringLiteral("done") : QStringLiteral("not done"), f.kind,
                                                                 f.from.isEmpty() ? f.path : f.from + QStringLiteral(" -> ") + f.path));
    }
    return 0;
}

int RunJournalUndoCommand(const QStringList& args)
{
    CliCommand cmd("undo");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    QStringList lines;
    bool all = false;
    QString why;
    if (!tags::UndoLastRun(&lines, &all, &why))
        return cmd.fail(why, 1);
    for (const QString& line : std::as_const(lines))
        printLine(stdout, line);
    return all ? 0 : 1;
}

} // namespace tunora
