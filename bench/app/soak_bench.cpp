// Soak: in one process, many selector open-and-close cycles, each applying
// a complete skin, with folder changes spread over them. Whatever a cycle
// leaves behind shows as resident memory that keeps growing after the
// first 100 cycles, or as cycles that get slower.
//
//   soak_bench [--cycles=N] [--folder-changes=N]    (2,000 and 20,000)
//
// The test command runs a short soak under the sanitizers, for LeakSanitizer
// to look at what is left when the program ends.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "forms/dirlistbox.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/lastpath.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int Window = 100; // cycles at the start and at the end that are compared

struct Options
{
    int cycles = 2000;
    int folderChanges = 20000;
};

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](const char *flag) { return std::stoi(argument.substr(std::strlen(flag))); };
        if (argument.starts_with("--cycles="))
            options.cycles = value("--cycles=");
        else if (argument.starts_with("--folder-changes="))
            options.folderChanges = value("--folder-changes=");
        else
            bench::fail("unknown argument " + argument + " (--cycles=N, --folder-changes=N)");
    }
    if (options.cycles < Window || options.folderChanges < 0)
        bench::fail("needs at least " + std::to_string(Window) + " cycles");
    return options;
}

// A folder worth browsing: subfolders, BMP files and a small background.
void makeBrowsingFolder(const std::string &folder, uint32_t seed)
{
    bench::makeFolder(folder);
    for (int i = 0; i < 40; ++i) {
        bench::makeFolder(folder + "/folder " + std::to_string(i));
        bench::touchFile(folder + "/picture " + std::to_string(i) + (i % 2 ? ".bmp" : ".txt"));
    }
    bench::writeBmp(folder + "/background.bmp", 80, 60, seed);
}

// What the event loop would do between two user actions, deleting the
// windows of an unloaded form among it.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double sum(const std::vector<double> &values, std::size_t from, std::size_t count)
{
    double total = 0;
    for (std::size_t i = from; i < from + count; ++i)
        total += values[i];
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);
    bench::QtSetup setup(argc, argv);
    const std::string skin = setup.temp() / "skin";
    const std::string browsing[] = {setup.temp() / "browse A", setup.temp() / "browse B"};
    std::fprintf(stderr, "Making the fixtures in %s ...\n", setup.temp().path().c_str());
    bench::writeFullSkin(skin);
    makeBrowsingFolder(browsing[0], 1);
    makeBrowsingFolder(browsing[1], 2);
    const QString skinFolder = QString::fromStdString(skin);
    const QString browseFolders[] = {QString::fromStdString(browsing[0]), QString::fromStdString(browsing[1])};

    // Started as the program starts, with its settings.
    startProgram();
    settle();

    // The folder changes, spread evenly over the cycles, happen while the
    // selector is open; each cycle ends in the skin folder and closes there.
    std::vector<double> cycleMilliseconds;
    cycleMilliseconds.reserve(std::size_t(options.cycles));
    double residentAfterFirst = 0;
    int changesDone = 0;
    std::fprintf(stderr, "Running %d cycles and %d folder changes ...\n", options.cycles, options.folderChanges);
    for (int cycle = 0; cycle < options.cycles; ++cycle) {
        const auto start = std::chrono::steady_clock::now();
        form2().show();
        settle();
        const int changesDue = int(qint64(options.folderChanges) * (cycle + 1) / options.cycles);
        for (; changesDone < changesDue; ++changesDone) {
            form2().Dir1().setPath(browseFolders[changesDone % 2]);
            settle();
        }
        form2().Dir1().setPath(skinFolder);
        form2().unload();
        settle();
        cycleMilliseconds.push_back(millisecondsSince(start));
        if (form2().isLoaded() || form1().picture().size() != QSize(800, 600))
            bench::fail("cycle " + std::to_string(cycle) + " did not close the selector and apply the skin");
        if (cycle + 1 == Window)
            residentAfterFirst = bench::residentMegabytes();
        if ((cycle + 1) % (options.cycles / 10) == 0)
            std::fprintf(stderr, "  after %d cycles: resident %.1f MB, the last cycle %.0f ms\n", cycle + 1,
                         bench::residentMegabytes(), cycleMilliseconds.back());
    }
    const double residentAtEnd = bench::residentMegabytes();

    QFile lastPath(QString::fromLatin1(LastPathFileName));
    if (!lastPath.open(QIODevice::ReadOnly) || lastPath.readAll() != QFile::encodeName(skinFolder) + "\r\n")
        bench::fail("lastpath.skin does not name the skin folder");

    const double first = sum(cycleMilliseconds, 0, Window);
    const double last = sum(cycleMilliseconds, cycleMilliseconds.size() - Window, Window);
    std::printf("soak: %d cycles, %d folder changes, %.1f s in all\n", options.cycles, changesDone,
                sum(cycleMilliseconds, 0, cycleMilliseconds.size()) / 1000);
    std::printf("soak: resident memory after the first %d cycles %.1f MB, at the end %.1f MB\n", Window,
                residentAfterFirst, residentAtEnd);
    std::printf("soak: the first %d cycles %.0f ms, the last %d %.0f ms\n", Window, first, Window, last);
    bench::printFigure({"soak-resident-growth-mb", residentAtEnd - residentAfterFirst, 2.0});
    bench::printFigure({"soak-last100-vs-first100", last / first, 1.2});
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
