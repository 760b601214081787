#include "album/AutoSort.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>

using namespace tunora;

namespace {

// Files of the given seconds (item value in ms) and tracks of the given seconds (in frames).
QList<ListItem> files(const QList<double>& seconds)
{
    QList<ListItem> out;
    for (int i = 0; i < seconds.size(); ++i)
        out.append({QString("f%1.mp3").arg(i), static_cast<qint64>(std::llround(seconds[i] * 1000))});
    return out;
}
QList<ListItem> tracks(const QList<double>& seconds)
{
    QList<ListItem> out;
    for (int i = 0; i < seconds.size(); ++i)
        out.append({QString("Track %1").arg(i + 1), static_cast<qint64>(std::llround(seconds[i] * 75))});
    return out;
}
QStringList names(const QList<ListItem>& l)
{
    QStringList out;
    for (const ListItem& e : l)
        out << e.text;
    return out;
}

} // namespace

TEST(Deviations, TheStatisticsOfTwoFilesOffTheirTracks)
{
    // One file two seconds longer than its track, one a second shorter.
    const DeviationStats s = ComputeDeviations(files({182, 99}), tracks({180, 100}));
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(FormatSeconds(s.global), QString("0.50"));
    EXPECT_EQ(FormatSeconds(s.quadratic), QString("1.12")); // sqrt(5) / 2
    EXPECT_EQ(FormatSeconds(s.maximum), QString("2.00"));
    EXPECT_NEAR(Deviation(1000, 75), 0.0, 1e-9);
    EXPECT_NEAR(Deviation(0, 1), -1000.0 / 75, 1e-9);
}

TEST(Deviations, FilesWithoutAPlayingTimeAreLeftOut)
{
    QList<ListItem> f = files({0, 61, 0, 59});
    const DeviationStats s = ComputeDeviations(f, tracks({300, 60, 10, 60}));
    EXPECT_EQ(s.n, 2);
    EXPECT_EQ(FormatSeconds(s.global), QString("0.00"));
    EXPECT_EQ(FormatSeconds(s.maximum), QString("1.00"));
    EXPECT_EQ(ComputeDeviations(files({0, 0}), tracks({1, 2})).n, 0);
    EXPECT_EQ(FormatSeconds(-0.004), QString("0.00"));
    EXPECT_EQ(FormatSeconds(-1.005 + 1e-9), QString("-1.00"));
}

TEST(FastSort, FilesMatchingTheirOwnTracksKeepTheirOrder)
{
    const QList<ListItem> f = files({200, 180, 240, 30});
    EXPECT_EQ(FastSort(f, tracks({200, 180, 240, 30})), f);
    EXPECT_EQ(OptimalSort(f, tracks({200, 180, 240, 30})), f);
}

TEST(FastSort, PutsEachTrackNearestFileInPlaceCarryingItsTime)
{
    const QList<ListItem> f = files({30, 240, 200, 180});
    const QList<ListItem> sorted = FastSort(f, tracks({200, 180, 240, 30}));
    EXPECT_EQ(names(sorted), QStringList({"f2.mp3", "f3.mp3", "f1.mp3", "f0.mp3"}));
    EXPECT_EQ(sorted[0].data, 200000);
}

TEST(FastSort, OfTwoEqualFilesTheOneNearerTheTopWins)
{
    // f1 and f2 are equally near track 1; f1 comes first.
    const QList<ListItem> f = files({50, 100, 100, 10});
    EXPECT_EQ(names(FastSort(f, tracks({101, 100, 50, 10}))), QStringList({"f1.mp3", "f2.mp3", "f0.mp3", "f3.mp3"}));
    // Deviations are compared in whole ms: against a track of one frame (13.33 ms), 12 ms
    // and 14 ms are both 1 ms off, so the earlier file stays though the later is nearer.
    const QList<ListItem> g {{"a", 12}, {"b", 14}};
    const QList<ListItem> t {{"T1", 1}, {"T2", 1}};
    EXPECT_EQ(names(FastSort(g, t)), QStringList({"a", "b"}));
    EXPECT_EQ(names(FastSort({{"a", 11}, {"b", 14}}, t)), QStringList({"b", "a"}));
}

TEST(OptimalSort, BeatsTheGreedyOrderWhereAnEarlyTrackTakesTheWrongFile)
{
    // Track 1 (100 s) takes the 103 s file greedily, leaving 96 s for the 110 s track.
    const QList<ListItem> f = files({103, 96});
    const QList<ListItem> t = tracks({100, 110});
    const QList<ListItem> fast = FastSort(f, t);
    const QList<ListItem> best = OptimalSort(f, t);
    EXPECT_EQ(names(fast), QStringList({"f0.mp3", "f1.mp3"}));
    EXPECT_EQ(names(best), QStringList({"f1.mp3", "f0.mp3"}));
    EXPECT_DOUBLE_EQ(SumOfSquares(fast, t), 3000.0 * 3000 + 14000.0 * 14000);
    EXPECT_DOUBLE_EQ(SumOfSquares(best, t), 4000.0 * 4000 + 7000.0 * 7000);
    EXPECT_LT(SumOfSquares(best, t), SumOfSquares(fast, t));
}

TEST(OptimalSort, EqualFilesKeepTheirOrder)
{
    const QList<ListItem> f = files({100, 100, 50});
    EXPECT_EQ(names(OptimalSort(f, tracks({50, 100, 100}))), QStringList({"f2.mp3", "f0.mp3", "f1.mp3"}));
}

TEST(OptimalSort, FindsTheSmallestSumOfSquaresOnRandomAlbums)
{
    QRandomGenerator rng(4077);
    for (int round = 0; round < 60; ++round) {
        const int n = 1 + static_cast<int>(rng.bounded(7));
        QList<ListItem> t, f;
        for (int i = 0; i < n; ++i) {
            const qint64 frames = 75 * (60 + rng.bounded(300)) + rng.bounded(75);
            t.append({QString("T%1").arg(i), frames});
            // Files near some track, shuffled below, with a few unreadable ones.
            const qint64 ms = rng.bounded(8) == 0 ? 0 : frames * 1000 / 75 + rng.bounded(40000) - 20000;
            f.append({QString("f%1").arg(i), std::max<qint64>(ms, 0)});
        }
        std::shuffle(f.begin(), f.end(), std::mt19937(round));
        // Brute force over every order.
        std::vector<int> perm(static_cast<size_t>(n));
        std::iota(perm.begin(), perm.end(), 0);
        double least = -1;
        do {
            QList<ListItem> order;
            for (int k : perm)
                order.append(f[k]);
            const double s = SumOfSquares(order, t);
            if (least < 0 || s < least)
                least = s;
        } while (std::next_permutation(perm.begin(), perm.end()));

        const QList<ListItem> best = OptimalSort(f, t);
        ASSERT_EQ(best.size(), f.size());
        QStringList a = names(best), b = names(f);
        a.sort();
        b.sort();
        EXPECT_EQ(a, b) << "every file placed once";
        EXPECT_NEAR(SumOfSquares(best, t), least, least * 1e-12 + 1e-6) << "round " << round;
        EXPECT_LE(SumOfSquares(best, t), SumOfSquares(FastSort(f, t), t) + 1e-6);
    }
}

TEST(OptimalSort, ExtraFilesFollowInTheirOrder)
{
    const QList<ListItem> f = files({10, 300, 200, 20});
    EXPECT_EQ(names(OptimalSort(f, tracks({200, 300}))), QStringList({"f2.mp3", "f1.mp3", "f0.mp3", "f3.mp3"}));
    EXPECT_TRUE(OptimalSort({}, tracks({1})).isEmpty());
}
