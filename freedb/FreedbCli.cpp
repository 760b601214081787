#include "freedb/FreedbCli.h"

#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/Search.h"
#include "freedb/WebClient.h"
#include "shell/core/Shared.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace tunora {

namespace {

void Out(const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

int Fail(const char* command, const QString& why, int code = 1)
{
    const QByteArray bytes = (QStringLiteral("tunora-cli %1: ").arg(QLatin1String(command)) + why + '\n').toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    return code;
}

// Tabs or line breaks inside a field would break the one-line-per-result output.
QString Field(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return text;
}

void PrintResults(const SearchResults& results)
{
    for (qsizetype i = 0; i < results.size(); ++i)
        Out(Field(results.categ_lst.at(i)) + QLatin1Char('\t') + Field(results.List2.at(i)) + QLatin1Char('\t') +
            Field(results.List3.at(i)));
}

// Takes "--timeout SECONDS" out of args and sets how long a request may stay silent;
// false when its value is not a whole number of seconds from 1 to a day.
bool TakeTimeout(QStringList& args)
{
    const qsizetype at = args.indexOf(QLatin1String("--timeout"));
    if (at < 0)
        return true;
    bool ok = false;
    const int seconds = args.value(at + 1).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 86400)
        return false;
    args.remove(at, 2);
    WebClient::instance().setStallTimeoutMs(seconds * 1000);
    return args.indexOf(QLatin1String("--timeout")) < 0;
}

} // namespace

int RunSearchCommand(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool timeoutOk = TakeTimeout(args);
    const QString words = CleanQueryWords(args.join(QLatin1Char(' ')));
    if (words.isEmpty() || !timeoutOk)
        return Fail("search", QStringLiteral("usage: tunora-cli search [--timeout SECONDS] WORDS..."), 2);
    SearchResults results;
    QString error;
    if (!RunWordSearch(words, results, nullptr, &error))
        return Fail("search", error);
    PrintResults(results);
    return 0;
}

int RunReadCommand(const QStringList& arguments)
{
    QStringList args = arguments;
    if (!TakeTimeout(args) || args.size() != 2)
        return Fail("read", QStringLiteral("usage: tunora-cli read [--timeout SECONDS] CATEGORY DISCID"), 2);
    DiscRecord record;
    QString error;
    if (!ReadCDDBDisc(args.at(0), args.at(1), record, &error))
        return Fail("read", error);
    PrintDiscRecord(record);
    return 0;
}

void PrintDiscRecord(const DiscRecord& record)
{
    Out(QLatin1String("ARTIST=") + Field(record.artist));
    Out(QLatin1String("ALBUM=") + Field(record.album));
    Out(QLatin1String("YEAR=") + Field(record.year));
    for (qsizetype i = 0; i < record.tracks.size(); ++i)
        Out(QString::number(i + 1) + QLatin1Char('\t') + QString::number(record.tracks.at(i).frames) +
            QLatin1Char('\t') + Field(record.tracks.at(i).title));
}

QString OutputField(const QString& text)
{
    return Field(text);
}

int RunQueryCommand(const QStringList& arguments)
{
    QStringList args = arguments;
    const char* const usage = "usage: tunora-cli query DIR [--format mp3] [--timeout SECONDS]";
    if (!TakeTimeout(args))
        return Fail("query", QLatin1String(usage), 2);
    QString dir, format = QStringLiteral("mp3");
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--format") && i + 1 < args.size())
            format = args.at(++i);
        else if (dir.isEmpty() && !args.at(i).startsWith(QLatin1String("--")))
            dir = args.at(i);
        else
            return Fail("query", QLatin1String(usage), 2);
    }
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return Fail("query", QLatin1String(usage), 2);

    // The album's files in the album page's order: ordinal order of their names.
    QStringList names;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& f : entries)
        if (f.suffix().compare(format, Qt::CaseInsensitive) == 0 && !f.fileName().startsWith(QLatin1Char('.')))
            names << f.fileName();
    SortListBox(names);
    if (names.isEmpty())
        return Fail("query", QStringLiteral("no .%1 files in %2").arg(format, dir));
    QStringList paths;
    for (const QString& n : std::as_const(names))
        paths << QDir(dir).filePath(n);

    QList<qint64> lengths;
    QString error;
    if (!MeasurePlayingTimes(paths, lengths, &error))
        return Fail("query", error);
    QList<QueryMatch> matches;
    if (!QueryCDDB(LayoutFromLengths(lengths), matches, &error))
        return Fail("query", error);
    if (matches.isEmpty())
        return Fail("query", QStringLiteral("no disc found"));
    for (const QueryMatch& m : std::as_const(matches))
        Out(Field(m.category) + QLatin1Char('\t') + Field(m.discid) + QLatin1Char('\t') + Field(m.title));
    return 0;
}

} // namespace tunora
