#include "album/ImportCli.h"

#include "dorvane/FileIo.h"
#include "album/ImportCore.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Genres.h"
#include "shell/core/Language.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tags/Journal.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>

#include <cstdio>

namespace tunora {

namespace {

// Decisions on standard output name folders by their own bytes, so scripts can open them;
// progress on standard error shows them as the window does.
void printLine(FILE* out, const QString& text)
{
    const QByteArray bytes = out == stdout ? dorvane::io::EncodeName(text) : dorvane::io::DisplayName(text).toUtf8();
    std::fprintf(out, "%s\n", bytes.constData());
    std::fflush(out); // a run stopped midway has told every album it finished
}

// An import asks nothing: the playlist goes where the setup page's defaults put it, and a
// playlist name already taken stays as it is. Each answer and message goes to standard error.
class ImportTalk : public ApplyTalk {
public:
    explicit ImportTalk(const CliCommand& cmd) : m_cmd(cmd) {}
    bool playlistInAlbumFolder() override { return true; }
    bool replacePlaylist(const QString& path) override
    {
        m_cmd.tell(QStringLiteral("%1 is there already: it stays as it is, and no playlist is written").arg(path));
        return false;
    }
    void tell(const QString& message) override
    {
        if (!message.trimmed().isEmpty())
            m_cmd.tell(message);
    }

private:
    const CliCommand& m_cmd;
};

QString Triple(const import::Candidate& c)
{
    return c.key() + QLatin1Char('\t') + c.title() + QLatin1Char('\t') + QString::number(c.distance, 'f', 3);
}

// The line of a decided album; empty while it is not decided.
QString AlbumLine(const import::AlbumState& a, bool dryRun)
{
    using import::Verdict;
    const QString folder = a.album.folder;
    switch (a.verdict) {
    case Verdict::Applied:
        return QStringLiteral("applied\t") + folder + QLatin1Char('\t') + Triple(a.candidates.first());
    case Verdict::Skipped:
        return QStringLiteral("skipped\t") + folder + QStringLiteral("\tdone");
    case Verdict::Failed:
        return QStringLiteral("failed\t") + folder + QLatin1Char('\t') + a.reason;
    case Verdict::None:
        return QStringLiteral("none\t") + folder + QLatin1Char('\t') + a.reason;
    case Verdict::Unsure: {
        QString line = QStringLiteral("unsure\t") + folder;
        for (qsizetype i = 0; i < std::min<qsizetype>(3, a.candidates.size()); ++i)
            line += QLatin1Char('\t') + Triple(a.candidates.at(i));
        return line;
    }
    case Verdict::Pending:
        if (dryRun && a.stage == import::Stage::Done && (a.strong || a.chosen) && !a.candidates.isEmpty())
            return QStringLiteral("applied\t") + folder + QLatin1Char('\t') + Triple(a.candidates.first());
        return {};
    }
    return {};
}

} // namespace

int RunImportCommand(const QStringList& args)
{
    CliCommand cmd("import");
    cmd.addValue(QStringLiteral("source"), QStringLiteral("cddb|musicbrainz|both"), QStringLiteral("where to look (both: the default)"));
    cmd.addFlag(QStringLiteral("dry-run"), QStringLiteral("print the decisions and change nothing"));
    cmd.addFlag(QStringLiteral("cover"), QStringLiteral("embed the release's front cover (MusicBrainz)"));
    cmd.addValue(QStringLiteral("choose"), QStringLiteral("FOLDER=SOURCE:ID"), QStringLiteral("decide a folder by hand (repeatable)"));
    cmd.addFlag(QStringLiteral("resume"), QStringLiteral("skip the folders an earlier run applied"));
    cmd.addValue(QStringLiteral("journal"), QStringLiteral("FILE"), QStringLiteral("record the old names and tags (for undo FILE)"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    import::ImportOptions options;
    if (cmd.isSet(QStringLiteral("source")))
        options.source = cmd.value(QStringLiteral("source")).toLower();
    if (options.source != QLatin1String("cddb") && options.source != QLatin1String("musicbrainz") &&
        options.source != QLatin1String("both"))
        return cmd.usage(QStringLiteral("--source takes cddb, musicbrainz or both"));
    options.dryRun = cmd.isSet(QStringLiteral("dry-run"));
    options.cover = cmd.isSet(QStringLiteral("cover"));
    options.resume = cmd.isSet(QStringLiteral("resume"));
    options.journalFile = cmd.value(QStringLiteral("journal"));
    for (const QString& choice : cmd.values(QStringLiteral("choose"))) {
        const qsizetype eq = choice.lastIndexOf(QLatin1Char('='));
        if (eq <= 0 || !choice.mid(eq + 1).contains(QLatin1Char(':')))
            return cmd.usage(QStringLiteral("--choose takes FOLDER=SOURCE:ID"));
        QString folder = choice.left(eq);
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        options.choose.insert(folder, choice.mid(eq + 1));
        options.choose.insert(dorvane::io::AbsolutePath(folder), choice.mid(eq + 1));
    }
    const QStringList roots = cmd.words();
    if (roots.isEmpty())
        return cmd.usage(QStringLiteral("no folder given"));
    for (const QString& root : roots)
        if (!dorvane::io::IsFolder(root))
            return cmd.fail(root + QStringLiteral(" is not a folder"), 2);
    // The journal is there before the first file changes; an older one is only taken up by --resume.
    if (!options.journalFile.isEmpty() && !options.dryRun && !options.resume && dorvane::io::Exists(options.journalFile))
        return cmd.fail(QStringLiteral("the journal %1 is there already (--resume takes it up)").arg(options.journalFile), 2);

    LoadSettingLanguage();
    LoadGenreTable(AppFile("styles.dat"));
    ImportTalk talk(cmd);
    import::ImportRun run(roots, options, talk);
    QEventLoop loop;
    bool anyLeft = false; // unsure, none or failed
    int total = 0;
    QObject::connect(&run, &import::ImportRun::albumsFound, &loop, [&](int count) {
        total = count;
        if (count == 0)
            cmd.tell(QStringLiteral("no album folders under ") + roots.join(QStringLiteral(", ")));
    });
    QObject::connect(&run, &import::ImportRun::progress, &loop, [&](int done, int all, const QString& folder) {
        printLine(stderr, QStringLiteral("[%1/%2] %3").arg(done).arg(all).arg(folder));
    });
    QObject::connect(&run, &import::ImportRun::albumChanged, &loop, [&](int index) {
        const import::AlbumState& a = run.albums().at(index);
        if (a.stage != import::Stage::Done)
            return;
        const QString line = AlbumLine(a, options.dryRun);
        if (line.isEmpty() || (!line.startsWith(QLatin1String("applied")) && !line.startsWith(QLatin1String("skipped"))))
            anyLeft = true;
        if (!line.isEmpty())
            printLine(stdout, line);
    });
    QObject::connect(&run, &import::ImportRun::finished, &loop, &QEventLoop::quit);
    run.start();
    if (run.isRunning())
        loop.exec();
    // No album found is no success: the root was likely not the one meant.
    return anyLeft || total == 0 ? 1 : 0;
}

} // namespace tunora
