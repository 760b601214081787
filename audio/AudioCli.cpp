#include "audio/AudioCli.h"

#include "audio/Id3.h"
#include "audio/Mp3Length.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Genres.h"
#include "shell/core/Shared.h"

#include <QFile>
#include <cstdio>

namespace tunora {

namespace {

QByteArray local(const QString& s)
{
    return QFile::encodeName(s);
}

void complain(const char* command, const QString& path, const QString& reason)
{
    std::fprintf(stderr, "tunora-cli %s: %s: %s\n", command, local(path).constData(), reason.toLocal8Bit().constData());
}

} // namespace

int RunLengthCommand(const QStringList& args)
{
    CliCommand cmd("length");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    const QStringList files = cmd.words();
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s", cmd.usageText().constData());
        return 2;
    }
    int status = 0;
    for (const QString& path : files) {
        double ms = 0;
        QString why;
        if (GetMp3Length(path, ms, &why)) {
            std::printf("%lld\t%s\n", static_cast<long long>(ms), local(path).constData());
        } else {
            std::fflush(stdout);
            complain("length", path, why);
            status = 1;
        }
    }
    return status;
}

int RunTagCommand(const QStringList& args)
{
    CliCommand cmd("tag");
    cmd.addFlag(QStringLiteral("v1"), QStringLiteral("write the ID3v1 tag"));
    cmd.addFlag(QStringLiteral("v2"), QStringLiteral("write the ID3v2 tag (both without either)"));
    TrackTag tag;
    tag.comment = QStringLiteral("Tagged By Tunora");
    const struct {
        const char* option;
        const char* valueName;
        QString* field;
    } textOptions[] = {{"title", "T", &tag.title}, {"artist", "A", &tag.artist}, {"album", "B", &tag.album},
                       {"year", "Y", &tag.year},   {"track", "N", &tag.track},   {"genre", "G", &tag.genre},
                       {"comment", "C", &tag.comment}};
    for (const auto& o : textOptions)
        cmd.addValue(QString::fromLatin1(o.option), QString::fromLatin1(o.valueName), QString::fromLatin1(o.option));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    for (const auto& o : textOptions)
        if (cmd.isSet(QString::fromLatin1(o.option)))
            *o.field = cmd.value(QString::fromLatin1(o.option));
    bool v1 = cmd.isSet(QStringLiteral("v1")), v2 = cmd.isSet(QStringLiteral("v2"));
    const QStringList files = cmd.words();
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s", cmd.usageText().constData());
        return 2;
    }
    if (!v1 && !v2)
        v1 = v2 = true;

    // The ID3v1 genre byte comes from the genre table; without it only ID3v2 can be written.
    const QString styles = AppFile(QStringLiteral("styles.dat"));
    const GenreLoad load = LoadGenreTable(styles);
    if (load == GenreLoad::Missing && v1)
        return cmd.fail(styles + QStringLiteral(" not found; ID3v1 tags need the genre table (use --v2 alone)"), 2);
    if (load == GenreLoad::Short)
        cmd.tell(styles + QStringLiteral(" holds fewer than 148 genres"));

    int status = 0;
    for (const QString& path : files) {
        QString why;
        if (!WriteID3Tags(tag, path, v1, v2, &why)) {
            complain("tag", path, why);
            status = 1;
        }
    }
    return status;
}

} // namespace tunora
