// Auto-sort of a 100-track album (greedy against optimal), measuring 100 MP3 files against
// reading their first bytes, the folder walk of 20,000 files against a bare readdir walk,
// and the walks of 20,000 sibling folders against 2,000 x 10. Each figure comes with its
// peer from the same run; compare the ratios.
//
//   cmake -S . -B build-bench -G Ninja -DTUNORA_BENCH=ON -DTUNORA_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench --target album_bench && build-bench/bench-bin/album_bench
// (needs lame and ffmpeg for the MP3 files).
#include "album/AutoSort.h"
#include "folders/FolderWalk.h"
#include "lister/Lister.h"
#include "shell/core/Shared.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <vector>

using namespace tunora;

namespace {

// A 100-track album whose files are shuffled and off their tracks by up to ±3 s.
struct Album {
    QList<ListItem> files, tracks;
};

Album makeAlbum(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    Album a;
    for (int i = 0; i < n; ++i) {
        const qint64 frames = 75 * (120 + rng.bounded(240)) + rng.bounded(75);
        a.tracks.append({QString("T%1").arg(i), frames});
        a.files.append({QString("f%1.mp3").arg(i), frames * 1000 / 75 + rng.bounded(6000) - 3000});
    }
    for (int i = n - 1; i > 0; --i)
        a.files.swapItemsAt(i, rng.bounded(i + 1));
    return a;
}

void BM_FastSort100(benchmark::State& state)
{
    const Album a = makeAlbum(100, 77);
    double sum = 0;
    for (auto _ : state) {
        QList<ListItem> out = FastSort(a.files, a.tracks);
        benchmark::DoNotOptimize(out);
        sum = SumOfSquares(out, a.tracks);
    }
    state.counters["rms_dev_ms"] = std::sqrt(sum / 100);
}
BENCHMARK(BM_FastSort100)->Unit(benchmark::kMicrosecond);

void BM_OptimalSort100(benchmark::State& state)
{
    const Album a = makeAlbum(100, 77);
    double sum = 0;
    for (auto _ : state) {
        QList<ListItem> out = OptimalSort(a.files, a.tracks);
        benchmark::DoNotOptimize(out);
        sum = SumOfSquares(out, a.tracks);
    }
    state.counters["rms_dev_ms"] = std::sqrt(sum / 100);
}
BENCHMARK(BM_OptimalSort100)->Unit(benchmark::kMicrosecond);

// 100 real MP3 files (copies of a few lame encodings of 30 s, CBR and VBR).
QString mp3Folder()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        const QString wav = dir.path() + "/src.wav";
        QProcess::execute("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=30",
                                     "-ac", "2", wav});
        QProcess::execute("lame", {"--quiet", "-b", "192", wav, dir.path() + "/cbr.mp3"});
        QProcess::execute("lame", {"--quiet", "-V", "4", wav, dir.path() + "/vbr.mp3"});
        for (int i = 0; i < 100; ++i)
            QFile::copy(dir.path() + (i % 2 ? "/vbr.mp3" : "/cbr.mp3"), dir.path() + QString("/%1.mp3").arg(i, 3, 10, QChar('0')));
    }
    return dir.path();
}

void BM_Measure100Files(benchmark::State& state)
{
    const QString dir = mp3Folder();
    qint64 total = 0;
    for (auto _ : state) {
        total = 0;
        for (int i = 0; i < 100; ++i)
            total += MeasureMs(dir + QString("/%1.mp3").arg(i, 3, 10, QChar('0')));
    }
    if (total < 100 * 29000)
        state.SkipWithError("the files were not measured (lame or ffmpeg missing?)");
    state.counters["ms_per_file"] = static_cast<double>(total) / 100;
}
BENCHMARK(BM_Measure100Files)->Unit(benchmark::kMicrosecond);

// Peer: the least a measurement must do, opening each file and reading its first 4 KiB.
void BM_Open100FilesRead4k(benchmark::State& state)
{
    const QString dir = mp3Folder();
    std::vector<QByteArray> paths;
    for (int i = 0; i < 100; ++i)
        paths.push_back(QFile::encodeName(dir + QString("/%1.mp3").arg(i, 3, 10, QChar('0'))));
    char buf[4096];
    for (auto _ : state) {
        for (const QByteArray& p : paths) {
            const int fd = ::open(p.constData(), O_RDONLY);
            benchmark::DoNotOptimize(::read(fd, buf, sizeof buf));
            ::close(fd);
        }
    }
}
BENCHMARK(BM_Open100FilesRead4k)->Unit(benchmark::kMicrosecond);

// 20,000 files in 200 folders of 100.
QString bigTree()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        for (int d = 0; d < 200; ++d) {
            const QByteArray folder = QFile::encodeName(dir.path() + QString("/artist %1").arg(d));
            ::mkdir(folder.constData(), 0755);
            for (int f = 0; f < 100; ++f) {
                const QByteArray file = folder + "/track " + QByteArray::number(f) + (f % 10 ? ".mp3" : ".jpg");
                ::close(::open(file.constData(), O_CREAT | O_WRONLY, 0644));
            }
        }
    }
    return dir.path();
}

void BM_WalkTree20000(benchmark::State& state)
{
    const QString root = bigTree();
    qsizetype found = 0;
    for (auto _ : state)
        found = WalkAudioFolder(root, true).files.size();
    state.counters["files"] = static_cast<double>(found);
}
BENCHMARK(BM_WalkTree20000)->Unit(benchmark::kMillisecond);

// Peer: reading every folder with readdir and testing each entry's type, nothing else.
qint64 bareWalk(const QByteArray& folder)
{
    qint64 n = 0;
    DIR* d = ::opendir(folder.constData());
    if (!d)
        return 0;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        if (e->d_type == DT_DIR)
            n += bareWalk(folder + '/' + e->d_name);
        else
            ++n;
    }
    ::closedir(d);
    return n;
}

void BM_BareReaddirWalk20000(benchmark::State& state)
{
    const QByteArray root = QFile::encodeName(bigTree());
    qint64 n = 0;
    for (auto _ : state)
        n = bareWalk(root);
    state.counters["entries"] = static_cast<double>(n);
}
BENCHMARK(BM_BareReaddirWalk20000)->Unit(benchmark::kMillisecond);

// 20,000 empty folders side by side, and the same number as 2,000 folders of 10: a walk
// linear in the number of folders takes about as long for both (ratio near 1).
QString foldersTree(bool flat)
{
    static QTemporaryDir dirs[2];
    static bool made[2] = {false, false};
    QTemporaryDir& dir = dirs[flat ? 0 : 1];
    if (!made[flat ? 0 : 1]) {
        made[flat ? 0 : 1] = true;
        for (int d = 0; d < 2000; ++d) {
            const QByteArray parent = QFile::encodeName(dir.path()) + (flat ? "/" : "/p" + QByteArray::number(d) + "/");
            if (!flat)
                ::mkdir(parent.constData(), 0755);
            for (int k = 0; k < 10; ++k)
                ::mkdir((parent + "f" + QByteArray::number(d * 10 + k)).constData(), 0755);
        }
    }
    return dir.path();
}

template <class Walk>
void siblingsAgainstNested(benchmark::State& state, Walk walk)
{
    const QString flat = foldersTree(true), nested = foldersTree(false);
    double flatNs = 0, nestedNs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        walk(flat);
        const auto t1 = std::chrono::steady_clock::now();
        walk(nested);
        const auto t2 = std::chrono::steady_clock::now();
        flatNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
        nestedNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    }
    state.counters["siblings_over_nested"] = flatNs / nestedNs;
}

void BM_WalkFoldersSiblingsVsNested(benchmark::State& state)
{
    siblingsAgainstNested(state, [](const QString& root) { benchmark::DoNotOptimize(WalkAudioFolder(root, true)); });
}
BENCHMARK(BM_WalkFoldersSiblingsVsNested)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ListerFoldersSiblingsVsNested(benchmark::State& state)
{
    siblingsAgainstNested(state, [](const QString& root) {
        benchmark::DoNotOptimize(BuildListing(root, "%1%2", {"MP3"}, true));
    });
}
BENCHMARK(BM_ListerFoldersSiblingsVsNested)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
