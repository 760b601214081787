#include "freedb/FreedbCli.h"

#include "freedb/Cddb.h"
#include "freedb/DiscId.h"
#include "freedb/Search.h"
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

} // namespace

int RunCddbSearch(const QStringList& args)
{
    const QString words = CleanQueryWords(args.join(QLatin1Char(' ')));
    if (words.isEmpty())
        return Fail("search", QStringLiteral("usage: tunora-cli search [--timeout SECONDS] WORDS..."), 2);
    SearchResults results;
    QString error;
    if (!RunWordSearch(words, results, nullptr, &error))
        return Fail("search", error);
    PrintResults(results);
    return 0;
}

int RunCddbRead(const QString& category, const QString& discid)
{
    DiscRecord record;
    QString error;
    if (!ReadCDDBDisc(category, discid, record, &error))
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

int RunCddbQuery(const QString& dir, const QString& format)
{
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
