#include "app/windowsystem.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

std::string variable(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
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

bool tcpAnswers(const std::string &host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0)
        return false;
    bool answered = false;
    for (const addrinfo *at = addresses; at && !answered; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0)
            continue;
        answered = ::connect(fd, at->ai_addr, at->ai_addrlen) == 0;
        ::close(fd);
    }
    ::freeaddrinfo(addresses);
    return answered;
}

// A DISPLAY value taken apart: "[protocol/][host]:number[.screen]".
struct XDisplay
{
    std::string protocol;
    std::string host;
    int number = 0;
};

bool allDigits(const std::string &text)
{
    return !text.empty() && text.size() < 6 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::optional<XDisplay> parseDisplay(const std::string &display)
{
    XDisplay parsed;
    std::string rest = display;
    if (const auto slash = rest.rfind('/'); slash != std::string::npos) {
        parsed.protocol = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
    }
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    parsed.host = rest.substr(0, colon);
    const std::string numbers = rest.substr(colon + 1);
    const auto dot = numbers.find('.');
    const std::string number = numbers.substr(0, dot);
    if (!allDigits(number) || (dot != std::string::npos && !allDigits(numbers.substr(dot + 1))))
        return std::nullopt;
    parsed.number = std::stoi(number);
    if (parsed.host.size() > 2 && parsed.host.front() == '[' && parsed.host.back() == ']')
        parsed.host = parsed.host.substr(1, parsed.host.size() - 2); // an IPv6 address
    return parsed;
}

std::string missingX(const SessionVariables &session)
{
    return session.display.empty() ? "DISPLAY is not set" : "nothing answers at DISPLAY=" + session.display;
}

std::string missingWayland(const SessionVariables &session)
{
    return session.waylandDisplay.empty() ? "WAYLAND_DISPLAY is not set"
                                          : "nothing answers at WAYLAND_DISPLAY=" + session.waylandDisplay;
}

} // namespace

SessionVariables SessionVariables::fromEnvironment()
{
    return {variable("QT_QPA_PLATFORM"), variable("DISPLAY"), variable("WAYLAND_DISPLAY"),
            variable("WAYLAND_SOCKET"), variable("XDG_RUNTIME_DIR")};
}

bool xServerAnswers(const std::string &display)
{
    const std::optional<XDisplay> parsed = parseDisplay(display);
    if (!parsed)
        return false;
    const bool local = parsed->protocol == "unix"
                       || (parsed->protocol.empty() && (parsed->host.empty() || parsed->host == "unix"));
    if (local) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(parsed->number);
        return unixSocketAnswers(std::string(1, '\0') + socket) || unixSocketAnswers(socket);
    }
    const bool tcp = parsed->protocol.empty() || parsed->protocol == "tcp" || parsed->protocol == "inet"
                     || parsed->protocol == "inet6";
    return tcp && tcpAnswers(parsed->host.empty() ? "localhost" : parsed->host, 6000 + parsed->number);
}

bool waylandAnswers(const SessionVariables &session)
{
    if (!session.waylandSocket.empty())
        return true; // an open connection, handed down by whoever started us
    // As the Wayland client library finds its compositor.
    const std::string name = session.waylandDisplay.empty() ? "wayland-0" : session.waylandDisplay;
    if (name.front() == '/')
        return unixSocketAnswers(name);
    return !session.runtimeDir.empty() && unixSocketAnswers(session.runtimeDir + '/' + name);
}

WindowSystemChoice chooseWindowSystem(const SessionVariables &session)
{
    if (!session.qtPlatform.empty())
        return {};
    if (xServerAnswers(session.display))
        return {"xcb", {}};
    if (waylandAnswers(session))
        return {"wayland", {}};
    return {{},
            "no X11 display (" + missingX(session) + ") and no Wayland display (" + missingWayland(session)
                + "); start skinpreview from a desktop session, or with xvfb-run skinpreview"};
}

bool useReachableWindowSystem()
{
    const WindowSystemChoice choice = chooseWindowSystem(SessionVariables::fromEnvironment());
    if (!choice.problem.empty()) {
        std::fprintf(stderr, "skinpreview: %s\n", choice.problem.c_str());
        return false;
    }
    if (!choice.platform.empty())
        ::setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    return true;
}
