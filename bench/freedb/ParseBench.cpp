// Parsing speed of what the CDDB lookups receive, each measured next to the floor for the
// same text: one pass that only counts its line ends (every parser must at least read it
// once). The ratio parse / floor is printed as the counter "x_floor".
#include "freedb/Cddb.h"
#include "freedb/Search.h"
#include "shell/core/Shared.h"

#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>
#include <chrono>

using namespace tunora;

namespace {

// A 99-track entry with long titles and every usual line, as servers send them.
QString BigEntry()
{
    QString e = "210 rock 12345678 CD database entry follows (until terminating `.')\r\n# xmcd\r\n#\r\n"
                "# Track frame offsets:\r\n";
    for (int i = 0; i < 99; ++i)
        e += QString("#\t%1\r\n").arg(150 + 22000 * i);
    e += "#\r\n# Disc length: 29040 seconds\r\n#\r\n# Revision: 3\r\n# Submitted via: bench\r\n#\r\n"
         "DISCID=12345678\r\nDTITLE=Some Artist With A Long Name / A Rather Long Album Title\r\n"
         "DYEAR=2001\r\nDGENRE=Rock\r\n";
    for (int i = 0; i < 99; ++i)
        e += QString("TTITLE%1=Track number %1 with a title of some ordinary length\r\n").arg(i);
    e += "EXTD=\r\n";
    for (int i = 0; i < 99; ++i)
        e += QString("EXTT%1=\r\n").arg(i);
    e += "PLAYORDER=\r\n.\r\n";
    return e;
}

// A search page of 500 results, each with its secondary "<font size=-1>" link.
QString BigPage()
{
    QString p = "<html><body><table>\n";
    for (int i = 0; i < 500; ++i)
        p += QString("<tr><td><a href=\"%1rock&id=%2\">Artist %3 / Album %3</a><br>"
                     "<a href=\"%1rock&id=%2\"><font size=-1>Track one, track two, track three</font></a></td></tr>\n")
                 .arg(SearchLinkPrefix())
                 .arg(i, 8, 16, QChar('0'))
                 .arg(i);
    return p + "</table></body></html>\n";
}

qint64 Floor(const QString& text)
{
    return text.count(QLatin1Char('\n'));
}

template <class Work>
void Measure(benchmark::State& state, const QString& text, Work work)
{
    double parse = 0, floor = 0;
    for (auto _ : state) {
        auto a = std::chrono::steady_clock::now();
        work();
        auto b = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(Floor(text));
        auto c = std::chrono::steady_clock::now();
        parse += std::chrono::duration<double>(b - a).count();
        floor += std::chrono::duration<double>(c - b).count();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size() * 2);
    state.counters["x_floor"] = floor > 0 ? parse / floor : 0;
}

void BM_ParseReadAnswer(benchmark::State& state)
{
    const QString response = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + BigEntry();
    Measure(state, response, [&] {
        DiscRecord r;
        benchmark::DoNotOptimize(ParseCddbReadResponse(response, r));
        if (r.tracks.size() != 99)
            state.SkipWithError("wrong track count");
    });
}
BENCHMARK(BM_ParseReadAnswer);

void BM_ExtractSearchPage(benchmark::State& state)
{
    const QString page = BigPage();
    Measure(state, page, [&] {
        SearchResults r;
        ExtractSearchResults(page, r);
        if (r.size() != 500)
            state.SkipWithError("wrong result count");
    });
}
BENCHMARK(BM_ExtractSearchPage);

void BM_DecodeAnswer(benchmark::State& state)
{
    // Received bytes become text once per answer.
    const QByteArray bytes = BigEntry().toUtf8();
    const QString text = QString::fromUtf8(bytes);
    Measure(state, text, [&] { benchmark::DoNotOptimize(DecodeText(bytes)); });
}
BENCHMARK(BM_DecodeAnswer);

} // namespace

BENCHMARK_MAIN();
