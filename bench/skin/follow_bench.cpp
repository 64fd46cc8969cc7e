// Following a skin's files. In one process with the preview window (Qt's
// offscreen platform):
//
//   - from a save (the rename, or the close after writing in place) of the
//     800 x 600 background until the window has painted it, against the
//     quiet time plus 1.5 x (decoding that file + one paint of the window);
//   - the same in a folder of 100,000 entries whose skin has no _us files,
//     so that each change lists the folder once for the letter-case
//     look-up, against the quiet time plus 2 x (one listing + decoding);
//     how many listings each change made, and how many skin files a change
//     to another file opened (decoded), counted by an inotify watch of the
//     bench's own on the folder;
//
// and then two real programs side by side, idle for 60 s once they have
// settled: one following a skin (started on its folder), one following
// nothing; their CPU time and their wake-ups (context switches of all
// their threads), from /proc.
//
//   follow_bench [--idle-seconds=N] [benchmark flags]

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "app/forms.h"
#include "files/folderlisting.h"
#include "files/folderwatcher.h"
#include "preview/form1.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QImageReader>

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int HugeEntries = 100000;
constexpr uint32_t Colours[] = {0x2040c0, 0xc04020};
const char *const PlainSkinFiles[] = {"background.bmp", "sticker_background.bmp", "backsettings.bmp",
                                      "backscreensaver.bmp", "backadvanced.bmp"};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeWhole(int fd, const std::string &bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        // In pieces, as editors write.
        const ssize_t written = ::write(fd, bytes.data() + at, std::min<std::size_t>(65536, bytes.size() - at));
        if (written <= 0)
            bench::fail("cannot write");
        at += std::size_t(written);
    }
}

void saveInPlace(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        bench::fail("cannot open " + path);
    writeWhole(fd, bytes);
    ::close(fd);
}

// Paints of the preview window that showed the background's middle pixel
// in a colour.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget &window) { window.installEventFilter(this); }

    // Runs the event loop until the window has painted the colour.
    void waitFor(uint32_t colour)
    {
        m_colour = colour;
        m_shown = false;
        const Clock::time_point start = Clock::now();
        while (!m_shown) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1000);
            if (secondsSince(start) > 30)
                bench::fail("the window never showed the saved picture");
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && (form1().picture().pixel(400, 300) & 0xffffff) == m_colour)
            m_shown = true;
        return false;
    }

private:
    uint32_t m_colour = 0;
    bool m_shown = false;
};

// The bench's own look at a folder: which files and how often the folder
// itself were opened.
class OpenCounter
{
public:
    explicit OpenCounter(const std::string &folder)
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0 || ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN) < 0)
            bench::fail("cannot watch " + folder);
    }
    ~OpenCounter() { ::close(m_fd); }

    struct Counts
    {
        long listings = 0;  // the folder opened
        long skinFiles = 0; // a skin file opened, to be decoded
    };

    Counts take()
    {
        Counts counts;
        alignas(inotify_event) char buffer[65536];
        ssize_t got;
        while ((got = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->len == 0 && (event->mask & IN_ISDIR))
                    ++counts.listings;
                else if (event->len > 0 && isSkinFile(event->name))
                    ++counts.skinFiles;
            }
        }
        return counts;
    }

private:
    static bool isSkinFile(const char *name)
    {
        for (const char *skinFile : PlainSkinFiles)
            if (std::strcmp(name, skinFile) == 0)
                return true;
        return false;
    }

    int m_fd;
};

// ---- Idle ----

// Qt's pooled threads, which convert pictures at start-up, end after 30 s
// of idleness; the measurement starts once they are gone.
constexpr int SettleSeconds = 35;

pid_t startChild(const std::string &folder, const std::vector<std::string> &arguments)
{
    const pid_t child = ::fork();
    if (child < 0)
        bench::fail("cannot fork");
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        std::vector<char *> argv{const_cast<char *>(SKINPREVIEW_BINARY)};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

bool running(pid_t process)
{
    return ::waitpid(process, nullptr, WNOHANG) == 0;
}

double cpuSeconds(const std::map<int, bench::ThreadUsage> &threads)
{
    double seconds = 0;
    for (const auto &[thread, usage] : threads)
        seconds += usage.cpuSeconds;
    return seconds;
}

// Waits until the program has started, its start-up threads have ended and
// it has used no CPU for a second.
void waitUntilSettled(pid_t process, Clock::time_point started)
{
    std::map<int, bench::ThreadUsage> last;
    Clock::time_point since = Clock::now();
    while (secondsSince(started) < SettleSeconds + 60 && running(process)) {
        const std::map<int, bench::ThreadUsage> now = bench::threadUsageOf(process);
        const bool same = now.size() == last.size() && cpuSeconds(now) == cpuSeconds(last) && cpuSeconds(now) > 0;
        if (!same) {
            last = now;
            since = Clock::now();
        } else if (secondsSince(since) > 1 && secondsSince(started) > SettleSeconds) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    bench::fail("the program did not settle");
}

struct Usage
{
    double cpuMilliseconds = 0;
    long wakeUps = 0;
    int threadsCameOrWent = 0;
};

Usage usageBetween(const std::map<int, bench::ThreadUsage> &before, const std::map<int, bench::ThreadUsage> &after)
{
    Usage usage;
    for (const auto &[thread, now] : after) {
        const auto then = before.find(thread);
        const bench::ThreadUsage earlier = then == before.end() ? bench::ThreadUsage() : then->second;
        usage.cpuMilliseconds += (now.cpuSeconds - earlier.cpuSeconds) * 1e3;
        usage.wakeUps += now.contextSwitches - earlier.contextSwitches;
        usage.threadsCameOrWent += then == before.end();
    }
    for (const auto &[thread, then] : before)
        usage.threadsCameOrWent += !after.contains(thread);
    return usage;
}

void measureIdle(const bench::TempFolder &temp, const std::string &skin, int seconds)
{
    bench::makeFolder(temp / "idle-following");
    bench::makeFolder(temp / "idle-nothing");
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        ::unsetenv("QT_QPA_PLATFORM"); // the programs as users run them, in the X server
    const Clock::time_point started = Clock::now();
    const pid_t following = startChild(temp / "idle-following", {skin});
    const pid_t nothing = startChild(temp / "idle-nothing", {});
    std::fprintf(stderr, "Two programs started; waiting for them to settle ...\n");
    waitUntilSettled(following, started);
    waitUntilSettled(nothing, started);
    std::fprintf(stderr, "Both programs idle; measuring for %d s ...\n", seconds);
    const auto followingBefore = bench::threadUsageOf(following);
    const auto nothingBefore = bench::threadUsageOf(nothing);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const Usage followingUsage = usageBetween(followingBefore, bench::threadUsageOf(following));
    const Usage nothingUsage = usageBetween(nothingBefore, bench::threadUsageOf(nothing));
    if (!running(following) || !running(nothing))
        bench::fail("a program ended while idle");
    for (pid_t process : {following, nothing}) {
        ::kill(process, SIGTERM);
        ::waitpid(process, nullptr, 0);
    }
    std::printf("idle for %d s: following a skin %.3f ms CPU, %ld wake-ups; following nothing %.3f ms CPU, "
                "%ld wake-ups\n",
                seconds, followingUsage.cpuMilliseconds, followingUsage.wakeUps, nothingUsage.cpuMilliseconds,
                nothingUsage.wakeUps);
    if (followingUsage.threadsCameOrWent || nothingUsage.threadsCameOrWent)
        std::printf("(threads came or went meanwhile: %d and %d; what an ended thread used is not counted)\n",
                    followingUsage.threadsCameOrWent, nothingUsage.threadsCameOrWent);
    // Differences, since both may well be zero.
    bench::printFigure({"idle-wakeups-following-minus-nothing",
                        double(followingUsage.wakeUps - nothingUsage.wakeUps), 0.0});
    bench::printFigure({"idle-cpu-ms-following-minus-nothing",
                        followingUsage.cpuMilliseconds - nothingUsage.cpuMilliseconds, 0.0});
}

int takeIdleSeconds(int &argc, char **argv)
{
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--idle-seconds=", 15) == 0) {
            seconds = std::atoi(argv[i] + 15);
            for (int j = i; j < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    const int idleSeconds = takeIdleSeconds(argc, argv);
    bench::QtSetup setup(argc, argv);
    const bench::TempFolder &temp = setup.temp();
    const std::string skin = temp / "skin";
    const std::string huge = temp / "huge";
    std::fprintf(stderr, "Making the fixtures in %s ...\n", temp.path().c_str());
    bench::writeFullSkin(skin);
    bench::makeFolder(huge);
    for (const char *name : PlainSkinFiles)
        bench::writeBmp(huge + '/' + name, 615, 599, 7);
    bench::writeBmp(huge + "/background.bmp", 800, 600, 7);
    char name[64];
    for (int i = 0; i < HugeEntries; ++i) {
        std::snprintf(name, sizeof name, i % 2 ? "photo_%06d.bmp" : "notes %06d.txt", i);
        bench::touchFile(huge + '/' + name);
    }
    std::string versions[2];
    for (int i = 0; i < 2; ++i) {
        const std::string path = temp / ("version" + std::to_string(i) + ".bmp");
        bench::writePlainBmp(path, 800, 600, Colours[i]);
        versions[i] = readBytes(path);
    }

    // The preview window as the user has it: started on the skin, following it.
    startProgram(QString::fromStdString(skin));
    PaintWatch paints(form1().window());
    QCoreApplication::processEvents();
    int saves = 0;

    // A save of the background, timed from its end until the window shows it.
    auto registerSave = [&](const char *benchmarkName, const std::string &folder, bool rename) {
        benchmark::RegisterBenchmark(benchmarkName, [&, folder, rename](benchmark::State &state) {
            if (form1().AppliedSkin.folder() != QString::fromStdString(folder)) {
                startProgram(QString::fromStdString(folder)); // not shown twice: only applied anew
                QCoreApplication::processEvents();
            }
            const std::string file = folder + "/background.bmp";
            OpenCounter opens(folder);
            long listings = 0;
            for (auto _ : state) {
                // The other version than the file holds: a save that leaves
                // the file as it was is rightly not shown again.
                int version = saves++ % 2;
                if (readBytes(file) == versions[version])
                    version = saves++ % 2;
                Clock::time_point saved;
                if (rename) {
                    saveInPlace(file + ".part", versions[version]);
                    opens.take();
                    ::rename((file + ".part").c_str(), file.c_str());
                    saved = Clock::now();
                } else {
                    opens.take();
                    saveInPlace(file, versions[version]);
                    saved = Clock::now();
                }
                paints.waitFor(Colours[version]);
                state.SetIterationTime(secondsSince(saved));
                listings += opens.take().listings;
            }
            state.counters["listings_per_save"] = double(listings) / double(state.iterations());
        })->UseManualTime()->Unit(benchmark::kMillisecond);
    };
    registerSave("follow/save-rename-to-paint", skin, true);
    registerSave("follow/save-in-place-to-paint", skin, false);
    registerSave("follow/100k-save-rename-to-paint", huge, true);

    benchmark::RegisterBenchmark("follow/decode-background", [&](benchmark::State &state) {
        const QString file = QString::fromStdString(skin + "/background.bmp");
        for (auto _ : state) {
            QImageReader reader(file);
            QImage image = reader.read();
            benchmark::DoNotOptimize(image.constBits());
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("follow/paint-window", [&](benchmark::State &state) {
        for (auto _ : state)
            form1().window().repaint();
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::RegisterBenchmark("follow/100k-listing", [&](benchmark::State &state) {
        const QString folder = QString::fromStdString(huge);
        for (auto _ : state) {
            const FolderListing listing(folder);
            benchmark::DoNotOptimize(&listing);
        }
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    // A file that is none of the skin's, made in the big folder: timed until
    // the window has dealt with the change; the skin files it opened counted.
    benchmark::RegisterBenchmark("follow/100k-other-file-change", [&](benchmark::State &state) {
        if (form1().AppliedSkin.folder() != QString::fromStdString(huge)) {
            startProgram(QString::fromStdString(huge));
            QCoreApplication::processEvents();
        }
        bool handled = false;
        const QMetaObject::Connection after = QObject::connect(&form1().AppliedSkin, &FollowedSkin::change,
                                                               [&] { handled = true; });
        OpenCounter opens(huge);
        long decodes = 0, listings = 0;
        int n = 0;
        for (auto _ : state) {
            handled = false;
            opens.take();
            saveInPlace(huge + "/notes-new-" + std::to_string(n++) + ".txt", "text");
            const Clock::time_point saved = Clock::now();
            while (!handled) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1000);
                if (secondsSince(saved) > 30)
                    bench::fail("the change was never handled");
            }
            state.SetIterationTime(secondsSince(saved));
            const OpenCounter::Counts counts = opens.take();
            decodes += counts.skinFiles;
            listings += counts.listings;
        }
        QObject::disconnect(after);
        state.counters["decodes"] = double(decodes);
        state.counters["listings"] = double(listings);
    })->UseManualTime()->Unit(benchmark::kMillisecond);

    const bench::Results results = bench::runBenchmarks(&argc, argv, 5);
    const double quiet = FolderWatcher::QuietMilliseconds / 1000.0;
    const double decode = results.medianSeconds("follow/decode-background");
    const double paint = results.medianSeconds("follow/paint-window");
    const double listing = results.medianSeconds("follow/100k-listing");
    const double rename = results.medianSeconds("follow/save-rename-to-paint");
    const double inPlace = results.medianSeconds("follow/save-in-place-to-paint");
    const double huge100k = results.medianSeconds("follow/100k-save-rename-to-paint");
    const double other = results.medianSeconds("follow/100k-other-file-change");
    std::printf("save to paint: renamed %.1f ms, in place %.1f ms; quiet time %.0f ms, decoding the background "
                "%.2f ms, one paint of the window %.2f ms\n",
                rename * 1e3, inPlace * 1e3, quiet * 1e3, decode * 1e3, paint * 1e3);
    std::printf("folder of 100,000 entries: save to paint %.1f ms, one listing %.1f ms, another file's change "
                "handled in %.1f ms\n",
                huge100k * 1e3, listing * 1e3, other * 1e3);
    const double saveGoal = quiet + 1.5 * (decode + paint);
    bench::printFigure({"follow-save-rename-vs-quiet-and-1.5x-decode-paint", rename / saveGoal, 1.0});
    bench::printFigure({"follow-save-in-place-vs-quiet-and-1.5x-decode-paint", inPlace / saveGoal, 1.0});
    bench::printFigure({"follow-100k-save-vs-quiet-and-2x-listing-decode", huge100k / (quiet + 2 * (listing + decode)), 1.0});
    bench::printFigure({"follow-100k-listings-per-save",
                        results.medianCounter("follow/100k-save-rename-to-paint", "listings_per_save"), 1.0});
    bench::printFigure({"follow-100k-other-file-change-decodes",
                        results.medianCounter("follow/100k-other-file-change", "decodes"), 0.0});
    bench::printFigure({"follow-100k-other-file-change-listings",
                        results.medianCounter("follow/100k-other-file-change", "listings"), std::nullopt});

    measureIdle(temp, skin, idleSeconds);
    std::fprintf(stderr, "Removing the fixtures ...\n");
    return 0;
}
