// skintool sheet and render, run as the real program. sheet on 10, 100 and
// 1,000 skins: its peak resident memory each time, and how that grows with
// the number of skins; then on 1,000 skins with one thread (-j 1), against
// the default (a thread a core): the time, and whether the files are the
// same. render of 100 skins, the same two ways. The skins are ten distinct
// ones with grainy pictures, which compress about as badly as painted skins
// do, linked into 1,000 folders. Plain C++ and POSIX: the figures are the
// whole process's, from wait4(). Then the same 1,000 skins zipped by
// skintool pack (each a copy): the sheet's peak memory, and its time against
// the sheet over the folders plus inflating every zip's entries with
// libarchive.

#include "support/fixtures.h"
#include "support/ratios.h"

#include <archive.h>
#include <archive_entry.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
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

// Runs skintool with the options, then the first count folders; the size
// is that of the file or folder out.
SheetRun runSkintool(std::vector<std::string> arguments, const std::vector<std::string> &folders, int count,
                     const std::string &out)
{
    arguments.insert(arguments.begin(), SKINTOOL_BINARY);
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
        bench::fail("skintool " + arguments[1] + " failed");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat written = {};
    ::stat(out.c_str(), &written);
    return {double(usage.ru_maxrss) / 1024.0, seconds, double(written.st_size) / (1024.0 * 1024.0)};
}

SheetRun runSheet(const std::vector<std::string> &folders, int count, const std::string &out,
                  const std::vector<std::string> &options = {})
{
    std::vector<std::string> arguments{"sheet", "--out", out};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runSkintool(arguments, folders, count, out);
}

bool sameFiles(const std::string &a, const std::string &b)
{
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

bool sameFolders(const std::string &a, const std::string &b)
{
    return std::system(("diff -r -q '" + a + "' '" + b + "' >/dev/null").c_str()) == 0;
}

// Reads and inflates every entry of each zip, as the least that any reader
// of them must do; its time in seconds.
double inflateAll(const std::vector<std::string> &zips)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> buffer(1 << 20);
    for (const std::string &zip : zips) {
        struct archive *archive = archive_read_new();
        archive_read_support_format_zip_seekable(archive);
        if (archive_read_open_filename(archive, zip.c_str(), 64 * 1024) != ARCHIVE_OK)
            bench::fail("libarchive cannot open " + zip);
        struct archive_entry *entry = nullptr;
        while (archive_read_next_header(archive, &entry) == ARCHIVE_OK) {
            while (archive_read_data(archive, buffer.data(), buffer.size()) > 0) {
            }
        }
        archive_read_free(archive);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

    // The same skins zipped: each template packed once, copied to 1,000
    // files (a sheet draws one file once, however many names it has).
    std::fprintf(stderr, "Packing the skins ...\n");
    bench::makeFolder(temp / "zips");
    for (int i = 0; i < Templates; ++i) {
        const std::string zip = temp / ("template" + std::to_string(i) + ".zip");
        runSkintool({"pack", "--out", zip, temp / ("template" + std::to_string(i))}, {}, 0, zip);
    }
    std::vector<std::string> zips;
    for (int i = 0; i < MostSkins; ++i) {
        zips.push_back(temp / ("zips/skin" + std::to_string(i) + ".zip"));
        const std::string from = temp / ("template" + std::to_string(i % Templates) + ".zip");
        std::error_code error;
        if (!std::filesystem::copy_file(from, zips.back(), error))
            bench::fail("cannot copy " + zips.back());
    }
    const double inflating = inflateAll(zips);
    const SheetRun zipped = runSheet(zips, MostSkins, temp / "sheet-zips.png");
    std::printf("memory: sheet of %d zipped skins: peak resident %.1f MB, %.1f s; inflating them alone %.1f s\n",
                MostSkins, zipped.peakMegabytes, zipped.seconds, inflating);

    bench::printFigure({"sheet-1000-peak-rss-mb", thousand.peakMegabytes, GoalMegabytes});
    bench::printFigure({"sheet-rss-growth-kb-per-skin-100-to-1000",
                        (thousand.peakMegabytes - hundred.peakMegabytes) * 1024.0 / (MostSkins - 100), std::nullopt});

    // One thread against a thread a core, side by side: sheet of 1,000
    // skins, then render of 100.
    const SheetRun sheetOne = runSheet(folders, MostSkins, temp / "sheet-j1.png", {"-j", "1"});
    std::printf("sheet of %d skins: %.1f s with -j 1 (%.1f skins/s, peak %.1f MB), %.1f s with the default -j "
                "(%.1f skins/s)\n",
                MostSkins, sheetOne.seconds, MostSkins / sheetOne.seconds, sheetOne.peakMegabytes, thousand.seconds,
                MostSkins / thousand.seconds);
    bench::printFigure({"sheet-1000-skins-wall-vs-one-core", thousand.seconds / sheetOne.seconds, std::nullopt});
    // 1 when the two runs' files differ.
    bench::printFigure({"sheet-1000-differs-from-one-core",
                        sameFiles(temp / "sheet-j1.png", temp / ("sheet" + std::to_string(MostSkins) + ".png")) ? 0.0
                                                                                                               : 1.0,
                        0.0});
    constexpr int Rendered = 100;
    const SheetRun renderOne = runSkintool({"render", "-j", "1", "--out", temp / "render-j1"}, folders, Rendered,
                                           temp / "render-j1");
    const SheetRun renderAll = runSkintool({"render", "--out", temp / "render"}, folders, Rendered, temp / "render");
    std::printf("render of %d skins: %.1f s with -j 1 (%.1f skins/s, peak %.1f MB), %.1f s with the default -j "
                "(%.1f skins/s, peak %.1f MB)\n",
                Rendered, renderOne.seconds, Rendered / renderOne.seconds, renderOne.peakMegabytes, renderAll.seconds,
                Rendered / renderAll.seconds, renderAll.peakMegabytes);
    bench::printFigure({"render-100-skins-wall-vs-one-core", renderAll.seconds / renderOne.seconds, 0.6});
    bench::printFigure({"render-100-differs-from-one-core",
                        sameFolders(temp / "render-j1", temp / "render") ? 0.0 : 1.0, 0.0});
    bench::printFigure({"sheet-1000-zips-peak-rss-mb", zipped.peakMegabytes, GoalMegabytes});
    bench::printFigure({"sheet-1000-zips-vs-folders+inflating", zipped.seconds / (thousand.seconds + inflating), 1.2});
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
