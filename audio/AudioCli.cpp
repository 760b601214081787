#include "audio/AudioCli.h"

#include "audio/Id3.h"
#include "audio/Mp3Length.h"
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

const char kTagUsage[] =
    "usage: tunora-cli tag [--v1] [--v2] [--title T] [--artist A] [--album B] [--year Y]\n"
    "                      [--track N] [--genre G] [--comment C] FILE...\n";

} // namespace

int RunLengthCommand(const QStringList& args)
{
    QStringList files = args;
    if (!files.isEmpty() && files.first() == QLatin1String("--"))
        files.removeFirst();
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: tunora-cli length FILE...\n");
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
    TrackTag tag;
    tag.comment = QStringLiteral("Tagged By Tunora");
    bool v1 = false, v2 = false;
    QStringList files;
    const struct {
        const char* option;
        QString* field;
    } textOptions[] = {{"--title", &tag.title},   {"--artist", &tag.artist}, {"--album", &tag.album},
                       {"--year", &tag.year},     {"--track", &tag.track},   {"--genre", &tag.genre},
                       {"--comment", &tag.comment}};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--")) {
            files << args.mid(i + 1);
            break;
        }
        if (a == QLatin1String("--v1")) {
            v1 = true;
            continue;
        }
        if (a == QLatin1String("--v2")) {
            v2 = true;
            continue;
        }
        bool matched = false;
        for (const auto& o : textOptions) {
            if (a != QLatin1String(o.option))
                continue;
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tunora-cli tag: %s needs a value\n%s", o.option, kTagUsage);
                return 2;
            }
            *o.field = args.at(++i);
            matched = true;
            break;
        }
        if (matched)
            continue;
        if (a.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "tunora-cli tag: unknown option %s\n%s", local(a).constData(), kTagUsage);
            return 2;
        }
        files << a;
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s", kTagUsage);
        return 2;
    }
    if (!v1 && !v2)
        v1 = v2 = true;

    // The ID3v1 genre byte comes from the genre table; without it only ID3v2 can be written.
    const QString styles = AppFile(QStringLiteral("styles.dat"));
    const GenreLoad load = LoadGenreTable(styles);
    if (load == GenreLoad::Missing && v1) {
        std::fprintf(stderr, "tunora-cli tag: %s not found; ID3v1 tags need the genre table (use --v2 alone)\n",
                     local(styles).constData());
        return 2;
    }
    if (load == GenreLoad::Short)
        std::fprintf(stderr, "tunora-cli tag: %s holds fewer than 148 genres\n", local(styles).constData());

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
