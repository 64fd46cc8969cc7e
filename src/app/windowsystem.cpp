#include "app/windowsystem.h"

#include "app/commandline.h"
#include "commandline/messages.h"
#include "files/descriptor.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

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

// A try at a display runs on a thread of its own, so that a server which
// never answers holds up only that thread: the start waits for it
// DisplayAnswerSeconds at most, then counts the server as not answering and
// leaves the thread to itself. Nothing it holds is freed under it: the try
// owns what it shares with the start.
struct Try
{
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<Answer> answer;
    bool abandoned = false; // the start went on without this try's answer
    // The try's connection to an X server that accepted, held until the
    // application object has made its own (see useReachableWindowSystem).
    xcb_connection_t *held = nullptr;

    ~Try()
    {
        if (held)
            xcb_disconnect(held);
    }
};

// The connection of the try that chose the X server, held for this process
// until the application object has connected; then it is let go.
std::shared_ptr<Try> &heldForStart()
{
    static std::shared_ptr<Try> held;
    return held;
}

void releaseHeldForStart()
{
    heldForStart().reset();
}

// Runs attempt on a thread and waits DisplayAnswerSeconds at most for its
// answer; no answer in time counts as not accepted. An accepted attempt may
// hand over its connection (through its argument) to be held.
std::shared_ptr<Try> tryOnThread(std::function<Answer(xcb_connection_t **)> attempt)
{
    auto shared = std::make_shared<Try>();
    try {
        std::thread([shared, attempt = std::move(attempt)] {
            xcb_connection_t *connection = nullptr;
            const Answer answer = attempt(&connection);
            const std::lock_guard lock(shared->mutex);
            if (shared->abandoned) {
                if (connection)
                    xcb_disconnect(connection);
                return;
            }
            shared->answer = answer;
            shared->held = connection;
            shared->answered.notify_all();
        }).detach();
    } catch (const std::system_error &) { // no thread to be had: nothing can be tried
        shared->abandoned = true;
        shared->answer = Answer{};
        return shared;
    }
    std::unique_lock lock(shared->mutex);
    if (!shared->answered.wait_for(lock, std::chrono::seconds(DisplayAnswerSeconds),
                                   [&] { return shared->answer.has_value(); })) {
        shared->abandoned = true;
        shared->answer = Answer{};
    }
    return shared;
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

// What this process writes on stderr (descriptor 2) meanwhile, caught: the
// X client library writes there why a server refuses the client.
class CaughtStderr
{
public:
    CaughtStderr()
    {
        int words[2];
        if (::pipe2(words, O_CLOEXEC) != 0)
            return;
        m_words.reset(words[0]);
        m_stderr.reset(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
        if (!m_stderr.isOpen() || ::dup2(words[1], STDERR_FILENO) < 0)
            m_stderr.reset();
        ::close(words[1]);
    }

    ~CaughtStderr() { end(); }

    // Puts stderr back; with read, returns what was written meanwhile.
    std::string end(bool read = false)
    {
        if (!m_stderr.isOpen())
            return {};
        ::dup2(m_stderr.get(), STDERR_FILENO); // the pipe's one writer goes
        m_stderr.reset();
        std::string words;
        while (read) {
            char buffer[512];
            const ssize_t got = ::read(m_words.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            words.append(buffer, std::size_t(got));
        }
        return words;
    }

private:
    FileDescriptor m_words;
    FileDescriptor m_stderr;
};

// Connects as Qt will, with the X client library: the library reads the
// DISPLAY value and finds the authorization. With hold, an accepted
// connection is kept for the start.
Answer xServerAnswers(const std::string &display, bool hold)
{
    if (display.empty())
        return {};
    // A server that refuses only after the start stopped waiting has its
    // words reach the terminal.
    CaughtStderr words;
    const std::shared_ptr<Try> tried = tryOnThread([display](xcb_connection_t **kept) {
        int screen = 0;
        xcb_connection_t *connection = xcb_connect(display.c_str(), &screen);
        if (xcb_connection_has_error(connection) != 0) {
            xcb_disconnect(connection);
            return Answer{};
        }
        *kept = connection;
        return Answer{true, {}};
    });
    Answer answer = *tried->answer;
    const std::string said = words.end(!tried->abandoned);
    if (!answer.accepted)
        answer.refusal = oneLine(said);
    else if (hold)
        heldForStart() = tried;
    return answer;
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
    return tryOnThread([socket](xcb_connection_t **) { return Answer{unixSocketAnswers(socket), {}}; })
        ->answer->accepted;
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

WindowSystemChoice choose(const SessionVariables &session, bool hold)
{
    if (!session.qtPlatform.empty())
        return {};
    const Answer x = xServerAnswers(session.display, hold);
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
    return choose(session, false);
}

bool useReachableWindowSystem(const SessionVariables &session)
{
    const WindowSystemChoice choice = choose(session, true);
    if (!choice.problem.empty()) {
        printError(ProgramName, QString::fromStdString(choice.problem));
        return false;
    }
    if (!choice.platform.empty())
        ::setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    // Qt runs its pre-routines once the platform plugin has connected.
    if (heldForStart())
        qAddPreRoutine(releaseHeldForStart);
    return true;
}
