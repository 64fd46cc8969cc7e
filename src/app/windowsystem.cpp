#include "app/windowsystem.h"

#include "app/commandline.h"
#include "commandline/messages.h"
#include "files/descriptor.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

std::string variable(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// What a display said to a connection.
struct Answer
{
    bool accepted = false;
    std::string refusal; // the server's own words, where it gave any
};

// A probe's child that holds its connection to the X server (see
// useReachableWindowSystem) until the pipe to it closes.
struct HeldConnection
{
    pid_t child = -1;
    int pipe = -1;
};

void release(HeldConnection &held)
{
    if (held.child < 0)
        return;
    ::close(held.pipe); // the child sees the end, and ends
    while (::waitpid(held.child, nullptr, 0) < 0 && errno == EINTR) {
    }
    held = {};
}

// The try's connection to the chosen X server, held for this process until
// the application object has connected; then it is let go.
HeldConnection &heldForStart()
{
    static HeldConnection held;
    return held;
}

void releaseHeldForStart()
{
    release(heldForStart());
}

// Reads what comes until the end or the deadline; false at the deadline.
bool readUntilEnd(int fd, std::chrono::steady_clock::time_point deadline, std::string &bytes)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char buffer[512];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        bytes.append(buffer, std::size_t(got));
        if (bytes.front() == '+')
            return true; // accepted: the child goes on holding
    }
}

// Runs the connection attempt in a forked child, so that a server which
// never answers holds up only the child: one that has not reported within
// DisplayAnswerSeconds is killed. The child reports "+" when accepted, or
// "-" and the server's words. With held given, a child that was accepted
// keeps its connection open until held is released.
Answer askInChild(const std::function<Answer()> &attempt, HeldConnection *held)
{
    int report[2];
    int hold[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return {};
    if (::pipe2(hold, O_CLOEXEC) != 0) {
        ::close(report[0]);
        ::close(report[1]);
        return {};
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        ::close(hold[1]);
        const Answer answer = attempt();
        writeAll(report[1], answer.accepted ? std::string("+") : '-' + answer.refusal);
        if (answer.accepted && held) {
            char end;
            while (::read(hold[0], &end, 1) < 0 && errno == EINTR) {
            }
        }
        ::_exit(0);
    }
    ::close(report[1]);
    ::close(hold[0]);
    std::string bytes;
    const bool reported = child > 0
                          && readUntilEnd(report[0], std::chrono::steady_clock::now()
                                                         + std::chrono::seconds(DisplayAnswerSeconds),
                                          bytes);
    ::close(report[0]);
    Answer answer;
    answer.accepted = reported && !bytes.empty() && bytes.front() == '+';
    if (reported && !bytes.empty() && bytes.front() == '-')
        answer.refusal = bytes.substr(1);
    HeldConnection probe{child, hold[1]};
    if (child > 0 && !reported)
        ::kill(child, SIGKILL);
    if (answer.accepted && held)
        *held = probe;
    else if (child > 0)
        release(probe);
    else
        ::close(hold[1]);
    return answer;
}

// The server's words, made one short line of plain text for the terminal.
std::string oneLine(const std::string &words)
{
    std::string line;
    for (const char c : words.substr(0, 200))
        line += c >= ' ' && c <= '~' ? c : ' ';
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// Connects as Qt will, with the X client library: the library reads the
// DISPLAY value and finds the authorization. A server that refuses the
// client tells why, which the library writes on stderr; that is caught.
Answer connectToX(const std::string &display)
{
    int words[2];
    if (::pipe(words) != 0 || ::dup2(words[1], STDERR_FILENO) < 0)
        return {};
    ::close(words[1]);
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(display.c_str(), &screen);
    Answer answer;
    answer.accepted = xcb_connection_has_error(connection) == 0;
    ::close(STDERR_FILENO);
    if (!answer.accepted) {
        char buffer[512];
        ssize_t got;
        while ((got = ::read(words[0], buffer, sizeof buffer)) > 0)
            answer.refusal.append(buffer, std::size_t(got));
        answer.refusal = oneLine(answer.refusal);
    }
    return answer; // the connection ends with the child
}

Answer xServerAnswers(const std::string &display, HeldConnection *held)
{
    if (display.empty())
        return {};
    return askInChild([&] { return connectToX(display); }, held);
}

// A Unix socket; an abstract one has a name starting with '\0'.
bool unixSocketAnswers(const std::string &name)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.empty() || name.size() > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.data(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size());
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0;
    ::close(fd);
    return answered;
}

// Whether the Wayland compositor that a client of this session would use
// accepts connections.
bool waylandAnswers(const SessionVariables &session)
{
    if (!session.waylandSocket.empty())
        return true; // an open connection, handed down by whoever started us
    // As the Wayland client library finds its compositor.
    const std::string name = session.waylandDisplay.empty() ? "wayland-0" : session.waylandDisplay;
    const std::string socket = name.front() == '/' ? name
                               : session.runtimeDir.empty() ? std::string()
                                                            : session.runtimeDir + '/' + name;
    if (socket.empty())
        return false;
    // A compositor whose queue is full would hold up the connect.
    return askInChild([&] { return Answer{unixSocketAnswers(socket), {}}; }, nullptr).accepted;
}

std::string missingX(const SessionVariables &session, const Answer &answer)
{
    if (session.display.empty())
        return "DISPLAY is not set";
    const std::string named = (session.displayOption ? "-display " : "DISPLAY=") + session.display;
    if (!answer.refusal.empty())
        return "the X server at " + named + " refuses this client: " + answer.refusal;
    return "nothing answers at " + named;
}

std::string missingWayland(const SessionVariables &session)
{
    return session.waylandDisplay.empty() ? "WAYLAND_DISPLAY is not set"
                                          : "nothing answers at WAYLAND_DISPLAY=" + session.waylandDisplay;
}

WindowSystemChoice choose(const SessionVariables &session, HeldConnection *held)
{
    if (!session.qtPlatform.empty())
        return {};
    const Answer x = xServerAnswers(session.display, held);
    if (x.accepted)
        return {"xcb", {}};
    if (waylandAnswers(session))
        return {"wayland", {}};
    return {{},
            "no X11 display (" + missingX(session, x) + ") and no Wayland display (" + missingWayland(session)
                + "); start skinpreview from a desktop session, or with xvfb-run skinpreview"};
}

} // namespace

SessionVariables SessionVariables::fromEnvironment(const std::string &platformOption, const std::string &displayOption)
{
    SessionVariables session{variable("QT_QPA_PLATFORM"), variable("DISPLAY"), variable("WAYLAND_DISPLAY"),
                             variable("WAYLAND_SOCKET"), variable("XDG_RUNTIME_DIR")};
    if (!platformOption.empty())
        session.qtPlatform = platformOption;
    if (!displayOption.empty()) {
        session.display = displayOption;
        session.displayOption = true;
    }
    return session;
}

WindowSystemChoice chooseWindowSystem(const SessionVariables &session)
{
    return choose(session, nullptr);
}

bool useReachableWindowSystem(const SessionVariables &session)
{
    const WindowSystemChoice choice = choose(session, &heldForStart());
    if (!choice.problem.empty()) {
        printError(ProgramName, QString::fromStdString(choice.problem));
        return false;
    }
    if (!choice.platform.empty())
        ::setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    // Qt runs its pre-routines once the platform plugin has connected.
    if (heldForStart().child > 0)
        qAddPreRoutine(releaseHeldForStart);
    return true;
}
