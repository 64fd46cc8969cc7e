// Skins in archives: ApplySkin on a zipped skin against libarchive reading
// and inflating the same entries plus decoding them, and the selector
// entering a zip of 100,000 entries against libarchive's bare listing of it.
// The zips are written as skintool pack writes them. Each run reads its
// archive afresh, as the first look at it does (see twoNames).

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "files/archive.h"
#include "files/filesignature.h"
#include "files/folder.h"
#include "files/folderlisting.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/skinfiles.h"
#include "tool/pack.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

constexpr int ManyEntries = 100000;

// A zip of the files given by name, each read from folder (or empty when
// folder is empty), as skintool pack writes it.
void writeZip(const std::string &zip, const std::string &folder, const std::vector<std::string> &names)
{
    QFile out(QString::fromStdString(zip));
    if (!out.open(QIODevice::WriteOnly))
        bench::fail("cannot write " + zip);
    skintool::ZipWriter writer([&](QByteArrayView piece) { out.write(piece.data(), piece.size()); });
    for (const std::string &name : names) {
        QByteArray content;
        if (!folder.empty()) {
            QFile in(QString::fromStdString(folder + '/' + name));
            if (!in.open(QIODevice::ReadOnly))
                bench::fail("cannot read " + name);
            content = in.readAll();
        }
        writer.add(QString::fromStdString(name), content);
    }
    writer.finish();
}

// The names of a zip of many entries: a fifth of them BMP files in mixed
// letter case, the rest other files, in an order unrelated to the sorted one.
std::vector<std::string> manyNames()
{
    const char *endings[] = {".bmp", ".txt", ".png", ".BMP.txt", ".dat"};
    const char *stems[] = {"shot", "Shot", "SHOT", "picture", "Picture"};
    std::vector<std::string> names;
    char name[64];
    for (int i = 0; i < ManyEntries; ++i) {
        std::snprintf(name, sizeof name, "%s_%07lld%s", stems[(i / 3) % 5], (i * 104729LL) % 1000003, endings[i % 5]);
        names.push_back(name);
    }
    return names;
}

struct archive *openZip(const std::string &zip)
{
    struct archive *archive = archive_read_new();
    archive_read_support_format_zip_seekable(archive);
    if (archive_read_open_filename(archive, zip.c_str(), 64 * 1024) != ARCHIVE_OK)
        bench::fail("libarchive cannot open " + zip);
    return archive;
}

// Two more names of the zip (hard links), for one benchmark to take by
// turns: the program keeps the index of the archive it read last, by name,
// so no run, of this benchmark or another, finds it kept.
std::vector<QString> twoNames(const std::string &zip, const char *benchmark)
{
    std::vector<QString> names;
    for (const char *turn : {"a", "b"}) {
        const std::string name = zip + "." + benchmark + "-" + turn + ".zip";
        if (::link(zip.c_str(), name.c_str()) != 0)
            bench::fail("cannot link " + name);
        names.push_back(QString::fromStdString(name));
    }
    return names;
}

} // namespace

int main(int argc, char **argv)
{
    bench::QtSetup setup(argc, argv);
    const std::string skin = setup.temp() / "skin";
    const std::string skinZip = setup.temp() / "Skin.zip";
    const std::string manyZip = setup.temp() / "Many.zip";
    const std::string parking = setup.temp() / "parking";
    std::fprintf(stderr, "Making the fixtures in %s ...\n", setup.temp().path().c_str());
    bench::writeGrainySkin(skin, 7);
    {
        // The zip writer sets its own time zone: the programs read zips in
        // the zone that the environment gives, as their users run them.
        const QByteArray timeZone = qgetenv("TZ");
        writeZip(skinZip, skin, bench::fullSkinFiles());
        writeZip(manyZip, {}, manyNames());
        timeZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", timeZone);
        nameLocalTimeZone(); // as both programs do at start-up
    }
    bench::makeFolder(parking);
    startProgram();

    const std::vector<QString> skinZips = twoNames(skinZip, "apply");
    const std::vector<QString> manyZips = twoNames(manyZip, "enter");
    const std::vector<QString> listedZips = twoNames(manyZip, "listing");
    // A file written a moment ago is known unchanged only by what it holds
    // (FileSignature::racy), so an index of it is also checked by its
    // directory, read whole: these are looked at as zips some seconds old.
    ::sleep(FileSignature::RacySeconds + 1);
    benchmark::RegisterBenchmark("archive/ApplySkin-zip", [&](benchmark::State &state) {
        int run = 0;
        for (auto _ : state)
            ApplySkin(form1(), skinZips[++run % 2]);
        if (form1().picture().size() != QSize(800, 600))
            state.SkipWithError("the skin did not apply");
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("archive/inflate+decode", [&](benchmark::State &state) {
        for (auto _ : state) {
            struct archive *archive = openZip(skinZip);
            struct archive_entry *entry = nullptr;
            while (archive_read_next_header(archive, &entry) == ARCHIVE_OK) {
                QByteArray bytes(qsizetype(archive_entry_size(entry)), Qt::Uninitialized);
                if (archive_read_data(archive, bytes.data(), size_t(bytes.size())) != bytes.size())
                    state.SkipWithError("an entry does not read");
                QImage image = QImage::fromData(bytes, "BMP");
                benchmark::DoNotOptimize(image.constBits());
            }
            archive_read_free(archive);
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    const QString parkingPath = QString::fromStdString(parking);
    benchmark::RegisterBenchmark("archive/enter-100k", [&](benchmark::State &state) {
        Form2 &selector = form2();
        selector.show();
        int run = 0;
        for (auto _ : state) {
            state.PauseTiming();
            selector.Dir1().setPath(parkingPath);
            QCoreApplication::processEvents();
            state.ResumeTiming();
            selector.Dir1().setPath(manyZips[++run % 2]);
            QCoreApplication::processEvents();
        }
        if (selector.File1().fileNames().size() != ManyEntries / 5)
            state.SkipWithError("the file list is not filled");
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    // What the file list reads of it: the archive opened as a folder, listed,
    // and its BMP files picked and sorted.
    benchmark::RegisterBenchmark("archive/folder-listing-100k", [&](benchmark::State &state) {
        NameList names;
        int run = 0;
        for (auto _ : state) {
            const std::unique_ptr<Folder> folder = openFolder(listedZips[++run % 2]);
            folder->listing().files(QStringLiteral("*.bmp"), names);
        }
        if (names.size() != ManyEntries / 5)
            state.SkipWithError("the listing is not as made");
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("archive/libarchive-list-100k", [&](benchmark::State &state) {
        for (auto _ : state) {
            struct archive *archive = openZip(manyZip);
            struct archive_entry *entry = nullptr;
            int entries = 0;
            while (archive_read_next_header(archive, &entry) == ARCHIVE_OK) {
                benchmark::DoNotOptimize(archive_entry_pathname(entry));
                ++entries;
            }
            archive_read_free(archive);
            if (entries != ManyEntries)
                state.SkipWithError("the zip is not as made");
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    bench::printRatios(results, {
        {"apply-zip-vs-inflate-decode", "archive/ApplySkin-zip", "archive/inflate+decode", 1.2},
        {"enter-archive-100k-vs-listing", "archive/enter-100k", "archive/libarchive-list-100k", 1.5},
        {"archive-folder-listing-100k-vs-listing", "archive/folder-listing-100k", "archive/libarchive-list-100k", 1.5},
    });
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
