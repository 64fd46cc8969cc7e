#pragma once

#include <string>

// Where the program's windows go. The preview window sits at a fixed place
// and the selector lies exactly over it, which only an X server lets a
// program do: a Wayland compositor places windows as it likes. So, unless
// the user has chosen a Qt platform (QT_QPA_PLATFORM), the windows go to an
// X server whenever one answers (Xwayland in a Wayland session included),
// and to Wayland only when none does. Whether a server answers is tried for
// real, by connecting to its socket.

// The environment variables that decide; an unset variable is empty.
struct SessionVariables
{
    std::string qtPlatform;     // QT_QPA_PLATFORM
    std::string display;        // DISPLAY
    std::string waylandDisplay; // WAYLAND_DISPLAY
    std::string waylandSocket;  // WAYLAND_SOCKET, a connection handed down
    std::string runtimeDir;     // XDG_RUNTIME_DIR, where Wayland's sockets live

    static SessionVariables fromEnvironment();
};

struct WindowSystemChoice
{
    // Qt's platform for the windows ("xcb" or "wayland"); empty when the
    // user's QT_QPA_PLATFORM stands.
    std::string platform;
    // When there is nowhere to show windows: what is missing and what to do,
    // one line for the user. Empty otherwise.
    std::string problem;
};

WindowSystemChoice chooseWindowSystem(const SessionVariables &session);

// Whether an X server accepts connections at this DISPLAY value
// ("[protocol/][host]:number[.screen]", read as the X client library does:
// local displays on their abstract and their file-system Unix socket,
// host:N on TCP port 6000 + N).
bool xServerAnswers(const std::string &display);

// Whether the Wayland compositor that a client of this session would use
// accepts connections.
bool waylandAnswers(const SessionVariables &session);

// Chooses for this process, before the application object is made. Returns
// false after printing the problem on stderr when there is no display.
bool useReachableWindowSystem();
