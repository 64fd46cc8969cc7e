// Browsing: Dir1_Change into a huge folder (20,000 subfolders, 100,000
// files, half of them ".bmp" in mixed letter case) and into a common one
// (1,000 entries), each against one plain readdir loop over the same folder.
// Each also counts the minor page faults of one run: memory that a change
// maps afresh instead of reusing costs one fault a page, whatever a fault
// costs on a given machine.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace {

struct Shape
{
    int folders;
    int files; // half of them BMP files
};

constexpr Shape Huge = {20000, 100000};
constexpr Shape Common = {100, 900};

long minorFaults()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Names in mixed letter case, in an order unrelated to their sorted one.
void makeBrowsingFolder(const std::string &folder, Shape shape)
{
    bench::makeFolder(folder);
    const char *bmpEndings[] = {".bmp", ".BMP", ".Bmp", ".bMp"};
    const char *otherEndings[] = {".txt", ".png", ".BMP.txt", ""};
    const char *stems[] = {"shot", "Shot", "SHOT", "picture", "Picture"};
    char name[64];
    for (int i = 0; i < shape.folders; ++i) {
        std::snprintf(name, sizeof name, "%s %05lld", stems[i % 5], (i * 7919LL) % 100000);
        bench::makeFolder(folder + '/' + name);
    }
    for (int i = 0; i < shape.files; ++i) {
        const char *ending = i % 2 == 0 ? bmpEndings[(i / 2) % 4] : otherEndings[(i / 2) % 4];
        std::snprintf(name, sizeof name, "%s_%07lld%s", stems[(i / 3) % 5], (i * 104729LL) % 1000003, ending);
        bench::touchFile(folder + '/' + name);
    }
}

// Moves the selector into the folder and lets the lists lay themselves out;
// the move away first is not timed.
void registerDir1Change(const char *name, const QString &folder, const QString &parking, Shape shape)
{
    benchmark::RegisterBenchmark(name, [=](benchmark::State &state) {
        Form2 &selector = form2();
        long faults = 0;
        for (auto _ : state) {
            state.PauseTiming();
            selector.Dir1().setPath(parking);
            QCoreApplication::processEvents();
            state.ResumeTiming();
            const long before = minorFaults();
            selector.Dir1().setPath(folder);
            QCoreApplication::processEvents();
            faults += minorFaults() - before;
        }
        state.counters["faults"] = benchmark::Counter(double(faults), benchmark::Counter::kAvgIterations);
        if (selector.File1().fileNames().size() != shape.files / 2
            || selector.Dir1().model()->rowCount() < shape.folders)
            state.SkipWithError("the lists are not filled");
    })->UseRealTime()->Unit(benchmark::kMillisecond);
}

void registerReaddir(const char *name, const std::string &folder, Shape shape)
{
    benchmark::RegisterBenchmark(name, [=](benchmark::State &state) {
        long faults = 0;
        for (auto _ : state) {
            const long before = minorFaults();
            if (bench::readdirCount(folder) != shape.folders + shape.files + 2)
                state.SkipWithError("the folder is not as made");
            faults += minorFaults() - before;
        }
        state.counters["faults"] = benchmark::Counter(double(faults), benchmark::Counter::kAvgIterations);
    })->UseRealTime()->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    bench::QtSetup setup(argc, argv);
    const std::string huge = setup.temp() / "huge";
    const std::string common = setup.temp() / "common";
    const std::string parking = setup.temp() / "parking";
    std::fprintf(stderr, "Making the fixtures in %s ...\n", setup.temp().path().c_str());
    makeBrowsingFolder(huge, Huge);
    makeBrowsingFolder(common, Common);
    bench::makeFolder(parking);

    // The selector as the user sees it while browsing.
    // Started as the program starts, with its settings (its allocator's
    // among them: big buffers get mappings of their own), then the
    // selector shown.
    startProgram();
    form2().show();
    QCoreApplication::processEvents();

    const QString parkingPath = QString::fromStdString(parking);
    registerDir1Change("browse/Dir1_Change-huge", QString::fromStdString(huge), parkingPath, Huge);
    registerReaddir("browse/readdir-huge", huge, Huge);
    registerDir1Change("browse/Dir1_Change-1000", QString::fromStdString(common), parkingPath, Common);
    registerReaddir("browse/readdir-1000", common, Common);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    bench::printRatios(results, {
        {"browse-huge-vs-readdir", "browse/Dir1_Change-huge", "browse/readdir-huge", 2.5},
        {"browse-1000-vs-readdir", "browse/Dir1_Change-1000", "browse/readdir-1000", std::nullopt},
    });
    const double changeFaults = results.medianCounter("browse/Dir1_Change-huge", "faults");
    const double readdirFaults = results.medianCounter("browse/readdir-huge", "faults");
    std::printf("faults Dir1_Change-huge %.0f readdir-huge %.0f\n", changeFaults, readdirFaults);
    // A read whose buffer is already in memory takes no fault; it counts
    // as one, so that the figure stays a number.
    bench::printFigure({"browse-huge-faults-vs-readdir", changeFaults / std::max(readdirFaults, 1.0), 1.5});
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
