#include "album/AutoSort.h"

#include "audio/Mp3Length.h"
#include "folders/AudioFormats.h"
#include "tags/Tags.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tunora {

double Deviation(qint64 fileMs, qint64 trackFrames)
{
    return static_cast<double>(fileMs) - static_cast<double>(trackFrames) * 1000.0 / 75.0;
}

qint64 MeasureMs(const QString& path)
{
    // A file named as MP3 (or by no format) is measured as it always was; every other
    // format through the tag layer.
    const AudioFormat named = FormatOfName(QFileInfo(path).fileName());
    if (named != AudioFormat::Mp3 && named != AudioFormat::Unknown) {
        qint64 whole = 0;
        return tags::ReadLength(path, &whole) && whole > 0 ? std::min<qint64>(whole, 2147483647) : 0;
    }
    double ms = 0;
    if (!GetMp3Length(path, ms) || !std::isfinite(ms) || ms <= 0)
        return 0;
    return static_cast<qint64>(std::llround(std::min(ms, 2147483647.0)));
}

void MeasureMissingLengths(AlbumSession& s)
{
    for (ListItem& e : s.mp3)
        if (e.data <= 0 && e.text.compare(kFakeTrack, Qt::CaseInsensitive) != 0)
            e.data = MeasureMs(s.path + '/' + e.text);
}

DeviationStats ComputeDeviations(const QList<ListItem>& files, const QList<ListItem>& tracks)
{
    DeviationStats s;
    double max = 0, sum = 0, sumsq = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const qint64 f = files.at(i).data;
        if (f <= 0)
            continue;
        const qint64 t = i < tracks.size() ? tracks.at(i).data : 0;
        const double d = Deviation(f, t);
        if (std::fabs(d) > max)
            max = std::fabs(d);
        sum += d;
        sumsq += d * d;
        ++s.n;
    }
    if (s.n > 0) {
        s.quadratic = std::sqrt(sumsq) / (s.n * 1000.0);
        s.global = sum / s.n / 1000.0;
        s.maximum = max / 1000.0;
    }
    return s;
}

QString FormatSeconds(double seconds)
{
    // Half-way values round away from zero, as the "0.00" format does.
    const double r = std::round(seconds * 100.0) / 100.0;
    return QString::number(r == 0 ? 0.0 : r, 'f', 2);
}

double SumOfSquares(const QList<ListItem>& files, const QList<ListItem>& tracks)
{
    double s = 0;
    for (qsizetype i = 0; i < files.size() && i < tracks.size(); ++i) {
        const double d = Deviation(files.at(i).data, tracks.at(i).data);
        s += d * d;
    }
    return s;
}

namespace {

// |deviation| rounded to the nearest whole ms, ties to even, as a 32-bit conversion did.
qint64 roundedDeviation(qint64 f, qint64 t)
{
    const double d = std::fabs(Deviation(f, t));
    const double r = std::nearbyint(std::min(d, 2147483647.0));
    return static_cast<qint64>(r);
}

} // namespace

QList<ListItem> FastSort(QList<ListItem> lst, const QList<ListItem>& tracks, const SortProgress& progress)
{
    const int n = static_cast<int>(tracks.size());
    for (int i = 0; i < n && i < lst.size(); ++i) {
        const qint64 t = tracks.at(i).data;
        int best = i;
        qint64 bestdev = roundedDeviation(lst.at(i).data, t);
        if (progress)
            progress(i, n);
        for (int j = i + 1; j < lst.size(); ++j) {
            const qint64 dev = roundedDeviation(lst.at(j).data, t);
            if (dev < bestdev) {
                bestdev = dev;
                best = j;
            }
        }
        if (best != i)
            lst.swapItemsAt(i, best);
    }
    return lst;
}

QList<ListItem> OptimalSort(const QList<ListItem>& files, const QList<ListItem>& tracks, const SortProgress& progress)
{
    const int m = static_cast<int>(files.size());
    const int n = static_cast<int>(std::min(tracks.size(), files.size()));
    if (n == 0)
        return files;

    // Exact integer costs: 3 × deviation = 3f − 40t is a whole number, so the squares are
    // compared without rounding. Ties are broken by how far files move (the sum of (i − j)²,
    // which keeps equal files in their order), weighing less than one unit of the squares.
    using Cost = __int128;
    const Cost tieWeight = static_cast<Cost>(m) * m * m + 1;
    auto clampValue = [](qint64 v) { return std::clamp<qint64>(v, 0, std::numeric_limits<qint32>::max()); };
    std::vector<std::vector<Cost>> cost(static_cast<size_t>(n) + 1, std::vector<Cost>(static_cast<size_t>(m) + 1, 0));
    for (int i = 0; i < n; ++i) {
        const Cost t40 = static_cast<Cost>(clampValue(tracks.at(i).data)) * 40;
        for (int j = 0; j < m; ++j) {
            const Cost d = static_cast<Cost>(clampValue(files.at(j).data)) * 3 - t40;
            cost[static_cast<size_t>(i) + 1][static_cast<size_t>(j) + 1] = d * d * tieWeight + static_cast<Cost>(i - j) * (i - j);
        }
    }

    // Hungarian method with potentials (rows: tracks, columns: files), O(n² m).
    const Cost inf = std::numeric_limits<Cost>::max() / 4;
    std::vector<Cost> u(static_cast<size_t>(n) + 1, 0), v(static_cast<size_t>(m) + 1, 0);
    std::vector<int> p(static_cast<size_t>(m) + 1, 0), way(static_cast<size_t>(m) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        if (progress)
            progress(i - 1, n);
        p[0] = i;
        int j0 = 0;
        std::vector<Cost> minv(static_cast<size_t>(m) + 1, inf);
        std::vector<char> used(static_cast<size_t>(m) + 1, 0);
        do {
            used[static_cast<size_t>(j0)] = 1;
            const int i0 = p[static_cast<size_t>(j0)];
            Cost delta = inf;
            int j1 = 0;
            for (int j = 1; j <= m; ++j) {
                if (used[static_cast<size_t>(j)])
                    continue;
                const Cost cur = cost[static_cast<size_t>(i0)][static_cast<size_t>(j)] - u[static_cast<size_t>(i0)] -
                                 v[static_cast<size_t>(j)];
                if (cur < minv[static_cast<size_t>(j)]) {
                    minv[static_cast<size_t>(j)] = cur;
                    way[static_cast<size_t>(j)] = j0;
                }
                if (minv[static_cast<size_t>(j)] < delta) {
                    delta = minv[static_cast<size_t>(j)];
                    j1 = j;
                }
            }
            for (int j = 0; j <= m; ++j) {
                if (used[static_cast<size_t>(j)]) {
                    u[static_cast<size_t>(p[static_cast<size_t>(j)])] += delta;
                    v[static_cast<size_t>(j)] -= delta;
                } else {
                    minv[static_cast<size_t>(j)] -= delta;
                }
            }
            j0 = j1;
        } while (p[static_cast<size_t>(j0)] != 0);
        do {
            const int j1 = way[static_cast<size_t>(j0)];
            p[static_cast<size_t>(j0)] = p[static_cast<size_t>(j1)];
            j0 = j1;
        } while (j0);
    }

    QList<ListItem> out(n);
    std::vector<char> placed(static_cast<size_t>(m), 0);
    for (int j = 1; j <= m; ++j) {
        const int row = p[static_cast<size_t>(j)];
        if (row > 0) {
            out[row - 1] = files.at(j - 1);
            placed[static_cast<size_t>(j) - 1] = 1;
        }
    }
    for (int j = 0; j < m; ++j)
        if (!placed[static_cast<size_t>(j)])
            out.append(files.at(j));
    return out;
}

} // namespace tunora
