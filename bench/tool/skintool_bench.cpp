// skintool: check of a complete skin against decoding its nine files with
// Qt's image reader; render of a complete skin on one core against decoding
// them and drawing the five windows, without encoding; the bytes of the
// PNGs against Qt's writer, which render used before; and the resident
// memory of 500 folders in one run, after the first 50.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "tool/check.h"
#include "pictures/picturememory.h"
#include "tool/png.h"
#include "tool/render.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QImageWriter>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int Folders = 500;
constexpr int Settled = 50;

// Folders of a complete skin each, sharing the files through hard links.
std::vector<QString> manyFolders(const std::string &base, const std::string &skin)
{
    std::vector<QString> folders;
    for (int i = 0; i < Folders; ++i) {
        const std::string folder = base + "/skin" + std::to_string(i);
        bench::makeFolder(folder);
        for (const std::string &name : bench::fullSkinFiles()) {
            if (::link((skin + '/' + name).c_str(), (folder + '/' + name).c_str()) != 0)
                bench::fail("cannot link " + name);
        }
        folders.push_back(QString::fromStdString(folder));
    }
    return folders;
}

// Bytes the allocator has handed out and not had back, in megabytes: with
// freed memory kept for reuse, a leak could hide in resident memory that is
// already there, but not here.
double heapInUseMegabytes()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

struct Growth
{
    double resident;
    double heap;
};

// Runs step on every folder; the growth of resident memory and of the heap
// in use from the end of the first 50 to the end of all 500.
template <class Step>
Growth growthAfterSettling(const std::vector<QString> &folders, Step step)
{
    Growth settled{};
    for (int i = 0; i < int(folders.size()); ++i) {
        step(folders[i]);
        if (i + 1 == Settled)
            settled = {bench::residentMegabytes(), heapInUseMegabytes()};
    }
    const Growth end{bench::residentMegabytes(), heapInUseMegabytes()};
    std::fprintf(stderr, "after %d folders: resident %.1f MB, heap in use %.1f MB; after %zu: %.1f MB, %.1f MB\n",
                 Settled, settled.resident, settled.heap, folders.size(), end.resident, end.heap);
    return {end.resident - settled.resident, end.heap - settled.heap};
}

} // namespace

int main(int argc, char **argv)
{
    // As skintool runs; both sides of each pair share it.
    setFreedPictureMemory(FreedPictureMemory::StaysForTheNextSkin);
    bench::QtSetup setup(argc, argv);
    const std::string skin = setup.temp() / "skin";
    std::fprintf(stderr, "Making the fixtures in %s ...\n", setup.temp().path().c_str());
    bench::writeFullSkin(skin);
    const std::vector<QString> folders = manyFolders(setup.temp() / "many", skin);
    const QString skinFolder = QString::fromStdString(skin);
    const QString out = QString::fromStdString(setup.temp() / "out");
    QDir().mkpath(out);
    QStringList paths;
    for (const std::string &name : bench::fullSkinFiles())
        paths.append(QString::fromStdString(skin + '/' + name));
    // What the render command does for each folder: draw, then write.
    const auto renderInto = [&](const QString &folder) {
        QString error;
        for (const skintool::Rendering &picture : skintool::renderFolder(folder))
            if (!skintool::writePng(out + QLatin1Char('/') + picture.fileName, picture.image, &error))
                bench::fail("cannot write: " + error.toStdString());
    };
    skintool::leaveWorkingDirectory();

    benchmark::RegisterBenchmark("skintool/check", [&](benchmark::State &state) {
        for (auto _ : state) {
            const skintool::FolderReport report = skintool::checkFolder(skinFolder);
            if (report.outcomes.size() != 5 || report.outcomes.front().file.isEmpty())
                state.SkipWithError("the skin was not checked");
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("skintool/decode-only", [&](benchmark::State &state) {
        for (auto _ : state)
            bench::decodeEach(paths);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    // Each also counts its thread's CPU time, which the other work on a busy
    // machine moves far less than the time on the clock (and which leaves
    // out the waits for the disk: every file written is synced).
    benchmark::RegisterBenchmark("skintool/render", [&](benchmark::State &state) {
        const double start = bench::threadCpuSeconds();
        for (auto _ : state)
            renderInto(skinFolder);
        state.counters["cpu"] = (bench::threadCpuSeconds() - start) / double(state.iterations());
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    // What a render must do besides encoding: decode the skin's files and
    // draw its five windows off screen.
    benchmark::RegisterBenchmark("skintool/decode-and-draw", [&](benchmark::State &state) {
        const double start = bench::threadCpuSeconds();
        for (auto _ : state)
            benchmark::DoNotOptimize(skintool::renderFolder(skinFolder).size());
        state.counters["cpu"] = (bench::threadCpuSeconds() - start) / double(state.iterations());
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    bench::printRatios(results, {
        {"skintool-check-vs-decode", "skintool/check", "skintool/decode-only", 1.2},
        {"render-vs-decode-and-draw", "skintool/render", "skintool/decode-and-draw", 1.6},
    });
    bench::printFigure({"render-vs-decode-and-draw-cpu",
                        results.medianCounter("skintool/render", "cpu")
                            / results.medianCounter("skintool/decode-and-draw", "cpu"),
                        std::nullopt});

    // The bytes of the pictures of the sample skins and of a grainy one,
    // against what render wrote before: Qt's writer at compression 50.
    double bytes = 0, bytesToday = 0;
    const std::string grainy = setup.temp() / "grainy";
    bench::writeGrainySkin(grainy, 3);
    for (const QString &folder : {QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Meadow"),
                                  QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Midnight"),
                                  QString::fromStdString(grainy)}) {
        for (const skintool::Rendering &picture : skintool::renderFolder(folder)) {
            bytes += double(skintool::encodePng(picture.image).size());
            QBuffer today;
            today.open(QIODevice::WriteOnly);
            QImageWriter writer(&today, "png");
            writer.setCompression(50);
            writer.write(picture.image);
            bytesToday += double(today.size());
        }
    }
    std::printf("bytes: the five pictures of Meadow, Midnight and a grainy skin: %.0f, before %.0f\n", bytes,
                bytesToday);
    bench::printFigure({"render-bytes-vs-today", bytes / bytesToday, 1.15});

    std::fprintf(stderr, "Checking and rendering %d folders ...\n", Folders);
    const Growth check = growthAfterSettling(folders, [](const QString &folder) {
        benchmark::DoNotOptimize(skintool::checkFolder(folder).problems.size());
    });
    const Growth render = growthAfterSettling(folders, renderInto);
    bench::printFigure({"skintool-check-500-rss-growth-mb", check.resident, 5.0});
    bench::printFigure({"skintool-render-500-rss-growth-mb", render.resident, 5.0});
    bench::printFigure({"skintool-check-500-heap-growth-mb", check.heap, std::nullopt});
    bench::printFigure({"skintool-render-500-heap-growth-mb", render.heap, std::nullopt});
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
