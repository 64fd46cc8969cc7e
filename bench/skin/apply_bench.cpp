// Applying a skin: ApplySkin on a complete skin against decoding the same
// nine files with Qt's image reader, decoding against reading the bytes,
// and ApplySkin on a big folder without skin files against one listing.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "preview/form1.h"
#include "skin/skinfiles.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QImageReader>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int NoSkinFiles = 100000;

void makeFolderWithoutSkin(const std::string &folder)
{
    bench::makeFolder(folder);
    const char *patterns[] = {"photo_%06d.bmp", "Notes %06d.txt", "IMG%06d.BMP", "data-%06d"};
    char name[64];
    for (int i = 0; i < NoSkinFiles; ++i) {
        std::snprintf(name, sizeof name, patterns[i % 4], i);
        bench::touchFile(folder + '/' + name);
    }
}

} // namespace

int main(int argc, char **argv)
{
    bench::QtSetup setup(argc, argv);
    const std::string skin = setup.temp() / "skin";
    const std::string noSkin = setup.temp() / "no-skin";
    std::fprintf(stderr, "Making the fixtures in %s ...\n", setup.temp().path().c_str());
    bench::writeFullSkin(skin);
    makeFolderWithoutSkin(noSkin);

    const QString skinFolder = QString::fromStdString(skin);
    const QString noSkinFolder = QString::fromStdString(noSkin);
    std::vector<std::string> files;
    QStringList paths;
    for (const std::string &name : bench::fullSkinFiles()) {
        files.push_back(skin + '/' + name);
        paths.append(QString::fromStdString(files.back()));
    }
    // Started as the program starts, with its settings: each picture then
    // gets a mapping of its own, on both sides of the comparison.
    startProgram();

    benchmark::RegisterBenchmark("apply/ApplySkin", [&](benchmark::State &state) {
        for (auto _ : state)
            ApplySkin(form1(), skinFolder);
        if (form1().picture().size() != QSize(800, 600))
            state.SkipWithError("the skin did not apply");
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("apply/decode-only", [&](benchmark::State &state) {
        for (auto _ : state)
            bench::decodeEach(paths);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("apply/read-bytes", [&](benchmark::State &state) {
        std::vector<char> buffer(4 << 20);
        for (auto _ : state) {
            for (const std::string &path : files) {
                const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                while (::read(fd, buffer.data(), buffer.size()) > 0) {
                }
                ::close(fd);
            }
            benchmark::DoNotOptimize(buffer.data());
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("apply/ApplySkin-100k-no-skin", [&](benchmark::State &state) {
        for (auto _ : state)
            ApplySkin(form1(), noSkinFolder);
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("apply/readdir-100k", [&](benchmark::State &state) {
        for (auto _ : state) {
            if (bench::readdirCount(noSkin) != NoSkinFiles + 2)
                state.SkipWithError("the folder is not as made");
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    bench::printRatios(results, {
        {"apply-vs-decode", "apply/ApplySkin", "apply/decode-only", 1.2},
        {"decode-vs-read", "apply/decode-only", "apply/read-bytes", std::nullopt},
        {"apply-100k-no-skin-vs-readdir", "apply/ApplySkin-100k-no-skin", "apply/readdir-100k", 2.0},
    });
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
