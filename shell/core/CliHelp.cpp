#include "shell/core/CliHelp.h"

#include "shell/core/Product.h"

#include <QMap>
#include <QRegularExpression>

namespace tunora::cli {

namespace {

struct Entry {
    const char* term;
    const char* text;
};

constexpr const char* kSummary = "tag, rename and list music files from the command line";
constexpr const char* kDescription =
    "tunora-cli does the work of Tunora's pages in batch: playing times, ID3 tags, CDDB and\n"
    "MusicBrainz lookups, album tagging and renaming, bulk renaming, listings and playlists.\n"
    "It reads and writes the same settings as the window.";

const Entry kOptions[] = {
    {"--help", "this text"},
    {"--version", "the program's name and version"},
};

const Entry kEnvironment[] = {
    {"TUNORA_REGISTRY", "the settings file (default $XDG_CONFIG_HOME/tunora/registry.reg)"},
    {"TUNORA_APP_FOLDER", "the app folder holding styles.dat and the language files"},
    {"TUNORA_MUSICBRAINZ_URL", "another MusicBrainz server (ending in /ws/2/)"},
    {"TUNORA_COVERART_URL", "another Cover Art Archive server"},
    {"TUNORA_ACOUSTID_URL", "another AcoustID server (its root, before /v2/)"},
};

constexpr const char* kExitStatus =
    "0 when everything was done, 1 when any file failed or a server stayed silent, 2 for a wrong command line.";

// The continuation lines of a synopsis, as --help indents them.
constexpr const char* kHelpIndent = "      ";

QString oneLine(const char* text)
{
    return QString::fromUtf8(text).simplified();
}

// Text for roff: a backslash and a hyphen-minus are escaped, and a line that would begin with
// a control character is guarded.
QString roff(const QString& text)
{
    QString s = text;
    s.replace('\\', QLatin1String("\\e"));
    s.replace('-', QLatin1String("\\-"));
    QStringList lines = s.split('\n');
    for (QString& line : lines)
        if (line.startsWith('.') || line.startsWith('\''))
            line.prepend(QLatin1String("\\&"));
    return lines.join('\n');
}

// Each option of a synopsis with the values it offers when they form a fixed set
// ("--sort none|fast|optimal"); a placeholder such as "FILE" offers none.
QMap<QString, QStringList> optionsOf(const QString& synopsis)
{
    static const QRegularExpression option(
        QStringLiteral("(--[a-z0-9-]+)(?: ([a-z0-9]+(?:\\|[a-z0-9]+)*)(?=[\\s\\]\\)]|$))?"));
    QMap<QString, QStringList> found;
    for (auto it = option.globalMatch(synopsis); it.hasNext();) {
        const auto m = it.next();
        QStringList& values = found[m.captured(1)];
        for (const QString& v : m.captured(2).split('|', Qt::SkipEmptyParts))
            if (!values.contains(v))
                values.append(v);
    }
    return found;
}

} // namespace

const QList<CommandForm>& CommandForms()
{
    static const QList<CommandForm> forms = {
        {"length", "length FILE...", "playing time in milliseconds, a tab, the path (every audio format)"},
        {"tag",
         "tag [--v1] [--v2] [--tags] [--title T] [--artist A] [--album B] [--year Y] [--track N[/M]]\n"
         "[--genre G] [--comment C] [--album-artist A] [--disc N[/M]] [--cover FILE] FILE...",
         "write only the given fields into each file's own tags (MP3: ID3v1 and ID3v2, or --v1/--v2; "
         "an MP3 without a comment gets \"Tagged By Tunora\")"},
        {"show", "show FILE...",
         "per file its path, format=, length= (ms), one FIELD=value line per field set, an empty line"},
        {"search", "search [--source cddb] [--timeout SECONDS] WORDS...",
         "search the CDDB server (\"Artist - Album\" splits): category, disc ID, text per result"},
        {"search", "search --source musicbrainz WORDS...",
         "search MusicBrainz: release ID, artist / title, date, track count per release"},
        {"read", "read [--source cddb] [--timeout SECONDS] CATEGORY DISCID",
         "read one CDDB disc record: ARTIST=, ALBUM=, YEAR=, then number, frames, title per track"},
        {"read", "read --source musicbrainz RELEASE-ID", "the same record from the release's first medium"},
        {"query", "query DIR [--source cddb|musicbrainz] [--format mp3] [--timeout SECONDS]",
         "find the disc from the playing times of the folder's files (--timeout: CDDB only)"},
        {"query", "query DIR --source acoustid [--format mp3]",
         "find the releases by the sound of the folder's files (AcoustID, with the key of the settings): "
         "release ID, artist / title, date, track count per release, best first"},
        {"album",
         "album DIR (--read CATEGORY DISCID | --mb RELEASE-ID [--cover] | --xmcd FILE) [--format mp3|flac|...]\n"
         "[--sort none|fast|optimal] [--no-rename] [--no-v1] [--no-v2] [--no-tags] [--no-playlist]\n"
         "[--genre G] [--dry-run] [--journal FILE]",
         "tag, rename and list an album of any format from a CDDB record, a MusicBrainz release (--cover: with "
         "its front cover) or an xmcd file (--journal: a new FILE that records what undo needs; --no-tags: "
         "no tags of a format other than MP3)"},
        {"import",
         "import ROOT... [--source cddb|musicbrainz|both] [--dry-run] [--cover] [--choose FOLDER=SOURCE:ID]...\n"
         "[--resume] [--journal FILE]",
         "find every album folder under the roots (CD1, CD 2, Disc 1 sub-folders: one album), match it by "
         "playing times and words, and apply the strong matches; per album \"applied\", \"unsure\", \"none\", "
         "\"failed\" or \"skipped\", the folder and the candidates (SOURCE:ID, artist / album, distance), "
         "tab-separated; progress on standard error; exit 1 when any album was left undecided"},
        {"undo", "undo FILE",
         "give back the names and tags an album journal records; per file \"restored\" or \"left\", the path "
         "(and why)"},
        {"undo", "undo",
         "undo the last run of the write journal (files that still hold what it wrote); the same lines"},
        {"journal", "journal",
         "the runs of the write journal: \"run\", id, time, state, command; a line per file"},
        {"rename",
         "rename [--multi] [--case lc|uc|fluc] [--unmerge | --merge] [--under | --space]\n"
         "[--recurse] [--dry-run] PATH...",
         "bulk renamer: letter case, spaces and underscores, splitting or joining words"},
        {"list", "list DIR [--recurse] [--formats mp3,ogg,...] [--pattern P] --output FILE",
         "text listing of the audio files (%1 name, %2 extension, %3 format, %4 size, %5 folder)"},
        {"playlist", "playlist --output FILE.m3u [--recurse] [--force] PATH...",
         "M3U playlist with paths relative to its folder (--force replaces an existing one)"},
        {"fingerprint", "fingerprint FILE...",
         "sound fingerprint of the first 120 seconds: duration in seconds, a tab, the fingerprint, a tab, the path"},
    };
    return forms;
}

QStringList CommandNames()
{
    QStringList names;
    for (const CommandForm& f : CommandForms())
        if (!names.contains(QLatin1String(f.name)))
            names.append(QLatin1String(f.name));
    return names;
}

QString HelpText()
{
    QString out = QStringLiteral("Usage: tunora-cli COMMAND [OPTIONS]\n%1\n\nCommands:\n").arg(QString::fromUtf8(kDescription));
    for (const CommandForm& f : CommandForms()) {
        out += QLatin1String("  ") + QString::fromUtf8(f.synopsis).replace('\n', '\n' + QLatin1String(kHelpIndent));
        out += '\n' + QLatin1String(kHelpIndent) + QString::fromUtf8(f.summary) + '\n';
    }
    out += QLatin1String("\nOptions:\n");
    for (const Entry& e : kOptions)
        out += QStringLiteral("  %1  %2\n").arg(QLatin1String(e.term), -11).arg(QString::fromUtf8(e.text));
    out += QLatin1String("\nEnvironment:\n");
    for (const Entry& e : kEnvironment)
        out += QStringLiteral("  %1  %2\n").arg(QLatin1String(e.term), -22).arg(QString::fromUtf8(e.text));
    out += QLatin1String("\nExit status: ") + QString::fromUtf8(kExitStatus) + '\n';
    return out;
}

QByteArray UsageSynopsis(const QString& name)
{
    QStringList forms;
    for (const CommandForm& f : CommandForms())
        if (name == QLatin1String(f.name))
            forms << QString::fromUtf8(f.synopsis).replace('\n', QLatin1String("\n       "));
    return forms.join(QLatin1String("\n   or: tunora-cli ")).toUtf8();
}

QString ManPage()
{
    const auto term = [](const QString& bold, const QString& rest) {
        return QStringLiteral(".TP\n\\fB%1\\fR%2\n").arg(roff(bold), roff(rest));
    };
    QString out = QStringLiteral(".TH TUNORA\\-CLI 1 \"\" \"%1 %2\" \"User Commands\"\n")
                      .arg(QLatin1String(product::kName), QLatin1String(product::kVersion));
    out += QLatin1String(".SH NAME\ntunora\\-cli \\- ") + roff(QString::fromUtf8(kSummary)) + '\n';
    out += QLatin1String(".SH SYNOPSIS\n\\fBtunora\\-cli\\fR \\fICOMMAND\\fR [\\fIOPTIONS\\fR]\n");
    out += QLatin1String(".SH DESCRIPTION\n") + roff(QString::fromUtf8(kDescription)) + '\n';
    out += QLatin1String(".SH COMMANDS\n");
    for (const CommandForm& f : CommandForms()) {
        const QString synopsis = oneLine(f.synopsis);
        const QString name = QLatin1String(f.name);
        out += term(QLatin1String("tunora-cli ") + name, synopsis.mid(name.size()));
        out += roff(QString::fromUtf8(f.summary)) + '\n';
    }
    out += QLatin1String(".SH OPTIONS\n");
    for (const Entry& e : kOptions)
        out += term(QLatin1String(e.term), QString()) + roff(QString::fromUtf8(e.text)) + '\n';
    out += QLatin1String(".SH ENVIRONMENT\n");
    for (const Entry& e : kEnvironment)
        out += term(QLatin1String(e.term), QString()) + roff(QString::fromUtf8(e.text)) + '\n';
    out += QLatin1String(".SH EXIT STATUS\n") + roff(QString::fromUtf8(kExitStatus)) + '\n';
    return out;
}

QString BashCompletion()
{
    QMap<QString, QStringList> values; // option -> its fixed values, over every command
    QString perCommand;
    for (const QString& name : CommandNames()) {
        QStringList options;
        for (const CommandForm& f : CommandForms()) {
            if (name != QLatin1String(f.name))
                continue;
            const QMap<QString, QStringList> found = optionsOf(oneLine(f.synopsis));
            for (auto it = found.begin(); it != found.end(); ++it) {
                if (!options.contains(it.key()))
                    options.append(it.key());
                for (const QString& v : it.value())
                    if (!values[it.key()].contains(v))
                        values[it.key()].append(v);
            }
        }
        perCommand += QStringLiteral("        %1) opts='%2' ;;\n").arg(name, options.join(' '));
    }
    QString valueCases;
    for (auto it = values.begin(); it != values.end(); ++it)
        if (!it.value().isEmpty())
            valueCases += QStringLiteral("        %1) COMPREPLY=($(compgen -W '%2' -- \"$cur\")); return ;;\n")
                              .arg(it.key(), it.value().join(' '));
    QStringList first = CommandNames();
    for (const Entry& e : kOptions)
        first.append(QLatin1String(e.term));
    return QStringLiteral("# bash completion for tunora-cli, made from its --help table\n"
                          "_tunora_cli()\n"
                          "{\n"
                          "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} opts=\n"
                          "    COMPREPLY=()\n"
                          "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
                          "        COMPREPLY=($(compgen -W '%1' -- \"$cur\"))\n"
                          "        return\n"
                          "    fi\n"
                          "    case $prev in\n"
                          "%2"
                          "    esac\n"
                          "    case ${COMP_WORDS[1]} in\n"
                          "%3"
                          "    esac\n"
                          "    # Anything else is a file or folder: -o default completes those.\n"
                          "    if [[ $cur == -* ]]; then\n"
                          "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
                          "    fi\n"
                          "}\n"
                          "complete -o default -F _tunora_cli tunora-cli\n")
        .arg(first.join(' '), valueCases, perCommand);
}

} // namespace tunora::cli
