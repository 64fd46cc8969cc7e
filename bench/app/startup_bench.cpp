// Start-up: the whole process from exec to the first painted frame of its
// window, for skinpreview, for a floor program that draws the same first
// frame the plainest way (bench/app/floor_window.cpp), for a minimal Qt Widgets
// program, and for two image viewers opening an 800 x 600 BMP; and the peak
// resident memory of the same runs.
//
// Every program is watched from outside, the same way: this process starts
// it, waits on the X server for its window to be mapped, then reads the
// screen pixel at the window's centre until it shows the colour that the
// program paints there (the X server leaves a new window black until the
// program draws it). It then closes the window as the window system would
// (WM_DELETE_WINDOW) and collects the exit and the peak memory from wait4().
// It links no Qt and stays small, since a child's peak memory starts out as
// that of the process it was forked from.
//
// Needs DISPLAY naming an X server with a black root window and no window
// manager (scripts/bench starts one).

#include "support/fixtures.h"
#include "support/ratios.h"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>
#include <thread>
#include <tuple>

namespace {

using Clock = std::chrono::steady_clock;

// The smallest window that counts as a program's main window; smaller ones
// are helpers (the viewers' first window is sized to the picture or to
// their own default).
constexpr int MinimumWidth = 400;
constexpr int MinimumHeight = 300;
// The viewers' picture: one plain colour, so that its centre shows it
// however a viewer scales or places the picture.
constexpr int PictureWidth = 800;
constexpr int PictureHeight = 600;
constexpr unsigned long PictureColour = 0xc08030;
constexpr auto PollInterval = std::chrono::microseconds(200);
constexpr auto Patience = std::chrono::seconds(30);

struct Program
{
    std::string name;
    std::vector<std::string> command; // the binary, then its arguments
    std::optional<std::string> lastPath; // what lastpath.skin holds, if there is one
    std::optional<unsigned long> colour; // known, or learnt in the untimed first run
    // A peer is timed to its first frame only: one that is slow to end, or
    // ends with a status of its own, is stopped without counting as failed.
    bool peer = false;
};

struct Launch
{
    std::string error; // empty when the run went through
    double frameSeconds = 0;
    double exitSeconds = 0;
    double peakRssMegabytes = 0;
    double cpuSeconds = 0; // the program's own, to its end: less moved by a busy machine
    double cpuToFrameSeconds = 0; // the same, to the first frame
    unsigned long colour = 0;
};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Watcher
{
public:
    Watcher()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            bench::fail("cannot open the X display (is DISPLAY set?)");
        m_root = DefaultRootWindow(m_display);
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
        m_protocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
        m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
    }

    ~Watcher() { XCloseDisplay(m_display); }

    // Runs the program once in workFolder. With a colour, the frame counts
    // as painted when the pixel shows it; without, when the pixel has left
    // black and stayed the same for half a second (and the colour is learnt).
    Launch run(const Program &program, const std::string &workFolder)
    {
        const std::string lastPathFile = workFolder + "/lastpath.skin";
        if (program.lastPath)
            bench::writeFile(lastPathFile, *program.lastPath);
        else
            ::unlink(lastPathFile.c_str());

        Launch launch;
        XSync(m_display, True); // forget older events

        const Clock::time_point start = Clock::now();
        const pid_t child = ::fork();
        if (child < 0)
            bench::fail("cannot fork");
        if (child == 0) {
            if (::chdir(workFolder.c_str()) != 0)
                ::_exit(126);
            std::vector<char *> arguments;
            for (const std::string &argument : program.command)
                arguments.push_back(const_cast<char *>(argument.c_str()));
            arguments.push_back(nullptr);
            ::execv(arguments[0], arguments.data());
            ::_exit(127);
        }

        const Window window = waitForWindow(child, start, launch);
        if (window != None && waitForFrame(program, start, launch)) {
            launch.frameSeconds = secondsSince(start);
            launch.cpuToFrameSeconds = bench::cpuSecondsOf(child);
            close(window);
        }
        finish(child, program.peer, launch, start);
        return launch;
    }

private:
    Window waitForWindow(pid_t child, Clock::time_point start, Launch &launch)
    {
        while (Clock::now() - start < Patience) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type != MapNotify || event.xmap.event != m_root)
                    continue;
                XWindowAttributes attributes;
                if (XGetWindowAttributes(m_display, event.xmap.window, &attributes)
                    && attributes.width >= MinimumWidth && attributes.height >= MinimumHeight) {
                    m_x = attributes.x + attributes.width / 2;
                    m_y = attributes.y + attributes.height / 2;
                    return event.xmap.window;
                }
            }
            if (::waitpid(child, nullptr, WNOHANG) == child) {
                launch.error = "the program ended before showing its window";
                return None;
            }
            pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
            ::poll(&connection, 1, 1);
        }
        launch.error = "no window appeared";
        return None;
    }

    std::optional<unsigned long> pixel()
    {
        XImage *image = XGetImage(m_display, m_root, m_x, m_y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return std::nullopt;
        const unsigned long value = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
        return value;
    }

    bool waitForFrame(const Program &program, Clock::time_point start, Launch &launch)
    {
        std::optional<unsigned long> steady;
        Clock::time_point steadySince;
        while (Clock::now() - start < Patience) {
            const std::optional<unsigned long> value = pixel();
            if (value && program.colour && *value == *program.colour) {
                launch.colour = *value;
                return true;
            }
            if (value && !program.colour && *value != 0) {
                if (!steady || *steady != *value) {
                    steady = value;
                    steadySince = Clock::now();
                } else if (Clock::now() - steadySince > std::chrono::milliseconds(500)) {
                    launch.colour = *value;
                    return true;
                }
            }
            std::this_thread::sleep_for(PollInterval);
        }
        launch.error = "the window was never painted as expected";
        return false;
    }

    void close(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(m_deleteWindow);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

    // Collects the child's end and peak memory; one that does not end on
    // the close request is killed after a while and, unless it is a peer,
    // counts as a failure.
    void finish(pid_t child, bool peer, Launch &launch, Clock::time_point start)
    {
        const Clock::time_point asked = Clock::now();
        const auto patience = peer ? std::chrono::seconds(2) : std::chrono::seconds(20);
        int status = 0;
        rusage usage{};
        while (::wait4(child, &status, WNOHANG, &usage) != child) {
            if (Clock::now() - asked > patience) {
                ::kill(child, SIGKILL);
                ::wait4(child, &status, 0, &usage);
                if (launch.error.empty() && !peer)
                    launch.error = "the program did not end when its window was closed";
                break;
            }
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        launch.exitSeconds = secondsSince(start);
        launch.peakRssMegabytes = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
        launch.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (launch.error.empty() && !peer && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            launch.error = "the program did not end normally";
    }

    Display *m_display;
    Window m_root;
    Atom m_protocols;
    Atom m_deleteWindow;
    int m_x = 0; // the window's centre on the screen
    int m_y = 0;
};

// A viewer is the peer only where it is installed.
bool installed(const std::string &binary)
{
    return ::access(binary.c_str(), X_OK) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    bench::lineBufferedOutput();
    bench::TempFolder temp;
    const std::string work = temp / "work";
    const std::string skin = temp / "skin";
    const std::string picture = temp / "picture.bmp";
    bench::makeFolder(work);
    bench::makeFolder(temp / "data");
    bench::makeFolder(temp / "home");
    bench::writeFullSkin(skin);
    bench::writePlainBmp(picture, PictureWidth, PictureHeight, PictureColour);
    // The programs see no setting of the user's: no default skins folder, a
    // home of their own (where the viewers keep their settings), and a
    // working folder of their own.
    ::setenv("XDG_DATA_HOME", (temp / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (temp / "home/.config").c_str(), 1);
    ::setenv("HOME", (temp / "home").c_str(), 1);
    ::unsetenv("QT_QPA_PLATFORM");

    // skinpreview twice: started for the first time, and remembering a
    // complete skin, whose background the hidden selector previews during
    // start-up and which is applied to the preview window on quitting.
    std::vector<Program> programs = {
        {"minimal", {MINIMAL_WINDOW_BINARY}, std::nullopt, std::nullopt},
        {"floor", {FLOOR_WINDOW_BINARY}, std::nullopt, std::nullopt},
        {"skinpreview", {SKINPREVIEW_BINARY}, std::nullopt, std::nullopt},
        {"skinpreview-remembering-a-skin", {SKINPREVIEW_BINARY}, skin + "\r\n", std::nullopt},
    };
    // Another build of the program to compare with, side by side in the
    // same run (STARTUP_BEFORE=path/to/skinpreview), as for "before" figures.
    const char *before = std::getenv("STARTUP_BEFORE");
    if (before && *before) {
        programs.push_back({"before", {before}, std::nullopt, std::nullopt});
        programs.push_back({"before-remembering-a-skin", {before}, skin + "\r\n", std::nullopt});
    }
    for (const char *viewer : {"/usr/bin/qimgv", "/usr/bin/feh"}) {
        if (installed(viewer))
            programs.push_back({std::string(viewer).substr(9), {viewer, picture}, std::nullopt, PictureColour, true});
        else
            std::printf("%s is not installed; its figures are left out\n", viewer);
    }
    Watcher watcher;
    // One untimed run each warms the caches and learns the colour each
    // program paints at the centre of its window.
    for (Program &program : programs) {
        const Launch launch = watcher.run(program, work);
        if (!launch.error.empty())
            bench::fail(program.name + ": " + launch.error);
        program.colour = launch.colour;
        std::printf("%s paints #%06lx at the centre of its window\n", program.name.c_str(), launch.colour);
    }

    for (const Program &program : programs) {
        benchmark::RegisterBenchmark(("startup/" + program.name).c_str(), [&](benchmark::State &state) {
            Launch launch;
            for (auto _ : state) {
                launch = watcher.run(program, work);
                if (!launch.error.empty()) {
                    state.SkipWithError(launch.error.c_str());
                    break;
                }
                state.SetIterationTime(launch.frameSeconds);
            }
            state.counters["peak_rss_MB"] = launch.peakRssMegabytes;
            state.counters["exit_ms"] = launch.exitSeconds * 1000;
            state.counters["cpu_ms"] = launch.cpuSeconds * 1000;
            state.counters["cpu_to_frame_ms"] = launch.cpuToFrameSeconds * 1000;
        })->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
    }

    const bench::Results results = bench::runBenchmarks(&argc, argv, 15);
    // The first start against the floor; remembering a skin also lists and
    // reads its folder.
    const std::tuple<std::string, std::string, double> measured[] = {
        {"startup/skinpreview", "startup", 1.10},
        {"startup/skinpreview-remembering-a-skin", "startup-remembering-a-skin", 1.15},
    };
    if (before && *before) {
        bench::printRatios(results, {
            {"startup-vs-before", "startup/skinpreview", "startup/before", std::nullopt},
            {"startup-remembering-a-skin-vs-before", "startup/skinpreview-remembering-a-skin",
             "startup/before-remembering-a-skin", std::nullopt},
        });
        for (const char *which : {"", "-remembering-a-skin"}) {
            const std::string now = std::string("startup/skinpreview") + which;
            const std::string then = std::string("startup/before") + which;
            bench::printFigure({std::string("startup") + which + "-cpu-to-frame-vs-before",
                                results.medianCounter(now, "cpu_to_frame_ms") / results.medianCounter(then, "cpu_to_frame_ms"),
                                std::nullopt});
        }
    }
    for (const auto &[benchmark, label, floorGoal] : measured) {
        bench::printRatios(results, {
            {label + "-vs-floor", benchmark, "startup/floor", floorGoal},
            {label + "-vs-qimgv", benchmark, "startup/qimgv", 0.7},
            {label + "-vs-feh", benchmark, "startup/feh", std::nullopt},
            {label + "-vs-minimal", benchmark, "startup/minimal", std::nullopt},
        });
        bench::printFigure({label + "-cpu-to-frame-vs-floor",
                            results.medianCounter(benchmark, "cpu_to_frame_ms")
                                / results.medianCounter("startup/floor", "cpu_to_frame_ms"),
                            std::nullopt});
        bench::printFigure({label + "-to-exit-vs-minimal",
                            results.medianCounter(benchmark, "exit_ms")
                                / results.medianCounter("startup/minimal", "exit_ms"),
                            std::nullopt});
    }

    // Memory: the run that remembers a complete skin applies it on quitting,
    // so its peak holds every slot's picture from the skin.
    const double minimalMegabytes = results.medianCounter("startup/minimal", "peak_rss_MB");
    const double pictureMegabytes = double(bench::fullSkinHeldBytes()) / (1024.0 * 1024.0);
    const double skinMegabytes = results.medianCounter("startup/skinpreview-remembering-a-skin", "peak_rss_MB");
    std::printf("memory: minimal window %.1f MB, pictures held %.1f MB (32 bits a pixel), skin applied %.1f MB\n",
                minimalMegabytes, pictureMegabytes, skinMegabytes);
    bench::printFigure({"skin-applied-peak-rss-over-minimal-and-pictures-MB",
                        skinMegabytes - minimalMegabytes - pictureMegabytes, 10.0});
    bench::printFigure({"startup-peak-rss-over-minimal-MB",
                        results.medianCounter("startup/skinpreview", "peak_rss_MB") - minimalMegabytes,
                        std::nullopt});
    return 0;
}
