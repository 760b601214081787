// SortListBox on 100,000 random file names against std::stable_sort of the same names with the
// same ordinal comparison. Prints both times (best of several runs) and their ratio.
#include "shell/core/Shared.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

QStringList randomNames(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -_()");
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        // Names like "07 - Some Title.mp3": a shared prefix shape, as in a music folder.
        QString n = QStringLiteral("%1 - ").arg(static_cast<int>(rng() % 100), 2, 10, QChar('0'));
        const int len = 6 + static_cast<int>(rng() % 30);
        for (int k = 0; k < len; ++k)
            n += alphabet.at(static_cast<int>(rng() % alphabet.size()));
        names << n + QStringLiteral(".mp3");
    }
    return names;
}

template <class F>
double bestSeconds(int runs, F&& f)
{
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    // A real application object, so the sort's yields to the event loop cost what they cost in the program.
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const QStringList names = randomNames(count, 12345);

    QStringList viaPeer, viaOurs;
    const double peer = bestSeconds(runs, [&] {
        viaPeer = names;
        std::stable_sort(viaPeer.begin(), viaPeer.end(),
                         [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
    });
    bool finished = true;
    const double ours = bestSeconds(runs, [&] {
        viaOurs = names;
        finished = tunora::SortListBox(viaOurs) && finished;
    });
    if (!finished || viaOurs != viaPeer) {
        std::fprintf(stderr, "SortListBox gave a different order than std::stable_sort\n");
        return 1;
    }
    std::printf("names: %d, best of %d runs\n", count, runs);
    std::printf("std::stable_sort: %.1f ms\n", peer * 1000);
    std::printf("SortListBox:      %.1f ms\n", ours * 1000);
    std::printf("ratio SortListBox / std::stable_sort: %.2f\n", ours / peer);
    return 0;
}
