#include "audio/AudioCli.h"

#include "dorvane/FileIo.h"
#include "shell/core/CliCommand.h"
#include "shell/core/Genres.h"
#include "shell/core/Shared.h"
#include "tags/Journal.h"
#include "tags/Tags.h"

#include <QFile>
#include <QRegularExpression>
#include <cstdio>

namespace tunora {

namespace {

QByteArray local(const QString& s)
{
    return dorvane::io::EncodeName(s);
}

void complain(const char* command, const QString& path, const QString& reason)
{
    std::fflush(stdout);
    std::fprintf(stderr, "tunora-cli %s: %s: %s\n", command, dorvane::io::DisplayName(path).toUtf8().constData(),
                 reason.toLocal8Bit().constData());
}

// "N" or "N/M" (or empty: the field is cleared) into number and total.
bool numberPair(const QString& text, int* number, int* total)
{
    static const QRegularExpression re(QStringLiteral("^(?:(\\d{1,6})(?:/(\\d{1,6}))?)?$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    *number = m.captured(1).toInt();
    *total = m.captured(2).toInt();
    return true;
}

QString pairText(int number, int total)
{
    return total > 0 ? QStringLiteral("%1/%2").arg(number).arg(total) : QString::number(number);
}

// One value per line: a line break or backslash inside a value is written as \n or \\.
QByteArray oneLine(const QString& s)
{
    QString t = s;
    t.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n")).remove(u'\r');
    return t.toUtf8();
}

} // namespace

int RunLengthCommand(const QStringList& args)
{
    CliCommand cmd("length");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    QStringList files;
    if (const int code = cmd.needWords(&files); code >= 0)
        return code;
    int status = 0;
    for (const QString& path : files) {
        qint64 ms = 0;
        QString why;
        if (tags::ReadLength(path, &ms, &why)) {
            std::printf("%lld\t%s\n", static_cast<long long>(ms), local(path).constData());
        } else {
            complain("length", path, why);
            status = 1;
        }
    }
    return status;
}

int RunShowCommand(const QStringList& args)
{
    CliCommand cmd("show");
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    QStringList files;
    if (const int code = cmd.needWords(&files); code >= 0)
        return code;
    LoadGenreTable(AppFile(QStringLiteral("styles.dat"))); // ID3 genre numbers, when there
    int status = 0;
    for (const QString& path : files) {
        tags::FileTags t;
        QString why;
        if (!tags::ReadFileTags(path, &t, &why)) {
            complain("show", path, why);
            status = 1;
            continue;
        }
        const tags::TagFields& f = t.fields;
        // An unknown playing time shows as "length=".
        const QByteArray length = t.lengthMs >= 0 ? QByteArray::number(t.lengthMs) : QByteArray();
        std::printf("%s\nformat=%s\nlength=%s\n", local(path).constData(), t.formatName().toUtf8().constData(),
                    length.constData());
        const QList<std::pair<const char*, QString>> lines = {
            {"title", f.title},
            {"track", f.track > 0 || f.trackTotal > 0 ? pairText(f.track, f.trackTotal) : QString()},
            {"artist", f.artist},
            {"album", f.album},
            {"year", f.year},
            {"comment", f.comment},
            {"genre", f.genre},
            {"albumartist", f.albumArtist},
            {"disc", f.disc > 0 || f.discTotal > 0 ? pairText(f.disc, f.discTotal) : QString()},
            {"cover", f.cover.isEmpty() ? QString() : QStringLiteral("%1 %2").arg(f.cover.mime).arg(f.cover.bytes.size())},
        };
        for (const auto& [name, value] : lines)
            if (!value.isEmpty())
                std::printf("%s=%s\n", name, oneLine(value).constData());
        std::printf("\n");
    }
    return status;
}

int RunTagCommand(const QStringList& args)
{
    CliCommand cmd("tag");
    cmd.addFlag(QStringLiteral("v1"), QStringLiteral("MP3: write the ID3v1 tag"));
    cmd.addFlag(QStringLiteral("v2"), QStringLiteral("MP3: write the ID3v2 tag (both without either)"));
    cmd.addFlag(QStringLiteral("tags"), QStringLiteral("write the format's own tags (the default)"));
    tags::TagFields values;
    const struct {
        const char* option;
        const char* valueName;
        QString* text;
        tags::Field field;
    } textOptions[] = {{"title", "T", &values.title, tags::Field::Title},
                       {"artist", "A", &values.artist, tags::Field::Artist},
                       {"album", "B", &values.album, tags::Field::Album},
                       {"year", "Y", &values.year, tags::Field::Year},
                       {"genre", "G", &values.genre, tags::Field::Genre},
                       {"comment", "C", &values.comment, tags::Field::Comment},
                       {"album-artist", "A", &values.albumArtist, tags::Field::AlbumArtist}};
    for (const auto& o : textOptions)
        cmd.addValue(QString::fromLatin1(o.option), QString::fromLatin1(o.valueName), QString::fromLatin1(o.option));
    cmd.addValue(QStringLiteral("track"), QStringLiteral("N[/M]"), QStringLiteral("track number (and total)"));
    cmd.addValue(QStringLiteral("disc"), QStringLiteral("N[/M]"), QStringLiteral("disc number (and total)"));
    cmd.addValue(QStringLiteral("cover"), QStringLiteral("FILE"), QStringLiteral("a JPEG or PNG front cover"));
    if (const int code = cmd.parse(args); code >= 0)
        return code;
    tags::Fields fields;
    for (const auto& o : textOptions)
        if (cmd.isSet(QString::fromLatin1(o.option))) {
            *o.text = cmd.value(QString::fromLatin1(o.option));
            fields |= o.field;
        }
    if (cmd.isSet(QStringLiteral("track"))) {
        if (!numberPair(cmd.value(QStringLiteral("track")), &values.track, &values.trackTotal))
            return cmd.usage(QStringLiteral("--track takes N or N/M"));
        fields |= tags::Field::Track;
    }
    if (cmd.isSet(QStringLiteral("disc"))) {
        if (!numberPair(cmd.value(QStringLiteral("disc")), &values.disc, &values.discTotal))
            return cmd.usage(QStringLiteral("--disc takes N or N/M"));
        fields |= tags::Field::Disc;
    }
    if (cmd.isSet(QStringLiteral("cover"))) {
        const QString file = cmd.value(QStringLiteral("cover"));
        bool missing = false, tooBig = false;
        int err = 0;
        if (!dorvane::io::ReadSmallFile(file, 16 << 20, &values.cover.bytes, &missing, &tooBig, &err))
            return cmd.fail(file + (tooBig ? QStringLiteral(": larger than 16 MiB") : QStringLiteral(": cannot be read")), 2);
        const bool png = values.cover.bytes.startsWith("\x89PNG\r\n\x1a\n");
        if (!png && !values.cover.bytes.startsWith("\xFF\xD8\xFF"))
            return cmd.fail(file + QStringLiteral(": not a JPEG or PNG image"), 2);
        values.cover.mime = png ? QStringLiteral("image/png") : QStringLiteral("image/jpeg");
        fields |= tags::Field::Cover;
    }
    tags::WriteOptions options;
    options.id3v1 = cmd.isSet(QStringLiteral("v1"));
    options.id3v2 = cmd.isSet(QStringLiteral("v2"));
    if (!options.id3v1 && !options.id3v2)
        options.id3v1 = options.id3v2 = true;
    options.defaultComment = QStringLiteral("Tagged By Tunora");
    QStringList files;
    if (const int code = cmd.needWords(&files); code >= 0)
        return code;

    // The ID3v1 genre byte comes from the genre table; without it an MP3 gets only ID3v2.
    const QString styles = AppFile(QStringLiteral("styles.dat"));
    const GenreLoad load = LoadGenreTable(styles);
    if (load == GenreLoad::Missing && options.id3v1) {
        for (const QString& path : files)
            if (tags::FormatOfFile(path) == AudioFormat::Mp3)
                return cmd.fail(styles + QStringLiteral(" not found; ID3v1 tags need the genre table (use --v2 alone)"),
                                2);
    }
    if (load == GenreLoad::Short)
        cmd.tell(styles + QStringLiteral(" holds fewer than 148 genres"));

    // The whole command is one run of the write journal, undone as one.
    QString why;
    if (!tags::BeginRun(QStringLiteral("tunora-cli tag ") + args.join(u' '), &why))
        return cmd.fail(why, 1);
    int status = 0;
    // Planned first, then carried out together: the files written in place share two syncs.
    QList<tags::WritePlan> plans;
    QStringList planned;
    for (const QString& path : files) {
        tags::WritePlan plan;
        if (!tags::PlanWrite(path, values, fields, options, &plan, &why)) {
            complain("tag", path, why);
            status = 1;
            continue;
        }
        plans << plan;
        planned << path;
    }
    QStringList whys;
    const QList<bool> done = tags::CarryOutAll(plans, &whys);
    for (qsizetype i = 0; i < plans.size(); ++i) {
        if (!done[i]) {
            complain("tag", planned[i], whys[i]);
            status = 1;
        }
    }
    tags::EndRun();
    return status;
}

} // namespace tunora
