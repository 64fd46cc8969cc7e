// skintool sheet, run as the real program on 10, 100 and 1,000 skins: its
// peak resident memory each time, and how that grows with the number of
// skins. The skins are ten distinct ones with grainy pictures, which
// compress about as badly as painted skins do, linked into 1,000 folders.
// Plain C++ and POSIX: the figure is the whole process's, from wait4().

#include "support/fixtures.h"
#include "support/ratios.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Templates = 10;
constexpr int MostSkins = 1000;
constexpr double GoalMegabytes = 100;

struct SheetRun
{
    double peakMegabytes;
    double seconds;
    double pngMegabytes;
};

SheetRun runSheet(const std::vector<std::string> &folders, int count, const std::string &out)
{
    std::vector<std::string> arguments{SKINTOOL_BINARY, "sheet", "--out", out};
    arguments.insert(arguments.end(), folders.begin(), folders.begin() + count);
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        bench::fail("cannot fork");
    if (child == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::fail("skintool sheet failed");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat written = {};
    ::stat(out.c_str(), &written);
    return {double(usage.ru_maxrss) / 1024.0, seconds, double(written.st_size) / (1024.0 * 1024.0)};
}

} // namespace

int main()
{
    bench::lineBufferedOutput();
    const bench::TempFolder temp;
    std::fprintf(stderr, "Making %d skin folders in %s ...\n", MostSkins, temp.path().c_str());
    for (int i = 0; i < Templates; ++i)
        bench::writeGrainySkin(temp / ("template" + std::to_string(i)), uint32_t(i + 1));
    std::vector<std::string> folders;
    for (int i = 0; i < MostSkins; ++i) {
        const std::string folder = temp / ("skins/skin" + std::to_string(i));
        const std::string from = temp / ("template" + std::to_string(i % Templates));
        bench::makeFolder(folder);
        for (const std::string &name : bench::fullSkinFiles()) {
            if (::link((from + '/' + name).c_str(), (folder + '/' + name).c_str()) != 0)
                bench::fail("cannot link " + name);
        }
        folders.push_back(folder);
    }

    std::vector<std::pair<int, SheetRun>> runs;
    for (const int count : {10, 100, MostSkins}) {
        const SheetRun run = runSheet(folders, count, temp / ("sheet" + std::to_string(count) + ".png"));
        std::printf("memory: sheet of %d skins: peak resident %.1f MB, %.1f s, a PNG of %.1f MB\n", count,
                    run.peakMegabytes, run.seconds, run.pngMegabytes);
        runs.emplace_back(count, run);
    }
    const SheetRun &hundred = runs[1].second;
    const SheetRun &thousand = runs[2].second;
    bench::printFigure({"sheet-1000-peak-rss-mb", thousand.peakMegabytes, GoalMegabytes});
    bench::printFigure({"sheet-rss-growth-kb-per-skin-100-to-1000",
                        (thousand.peakMegabytes - hundred.peakMegabytes) * 1024.0 / (MostSkins - 100), std::nullopt});
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
