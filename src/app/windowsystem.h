#pragma once

#include <string>

// Where the program's windows go. The preview window sits at a fixed place
// and the selector lies exactly over it, which only an X server lets a
// program do: a Wayland compositor places windows as it likes. So, unless
// the user has chosen a Qt platform (Qt's -platform option, or
// QT_QPA_PLATFORM), the windows go to an X server whenever one takes this
// client (Xwayland in a Wayland session included), and to Wayland only when
// none does. The X server is the one that Qt's -display option names, or
// else DISPLAY's.
//
// Whether a server takes the client is tried for real, the way Qt will
// connect: an X connection through the X client library, DISPLAY and
// authorization (XAUTHORITY) read as it reads them; a connection to the
// Wayland compositor's socket. Each try runs on a thread of its own and
// gets DisplayAnswerSeconds to answer, so that a server that never answers
// (one that no longer accepts, or never replies) cannot hold up the start:
// it counts as not answering, and its thread is left waiting.

inline constexpr int DisplayAnswerSeconds = 5;

// The environment variables that decide; an unset variable is empty.
struct SessionVariables
{
    std::string qtPlatform;     // QT_QPA_PLATFORM
    std::string display;        // DISPLAY
    std::string waylandDisplay; // WAYLAND_DISPLAY
    std::string waylandSocket;  // WAYLAND_SOCKET, a connection handed down
    std::string runtimeDir;     // XDG_RUNTIME_DIR, where Wayland's sockets live
    bool displayOption = false; // display comes from -display, not DISPLAY

    // The environment's, with Qt's -platform and -display over it where
    // they are given (non-empty).
    static SessionVariables fromEnvironment(const std::string &platformOption = {},
                                            const std::string &displayOption = {});
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

// Chooses for this process, before the application object is made. Returns
// false after printing the problem on stderr when there is no display.
//
// An X server that has no other client resets when its last one leaves,
// and turns away whoever connects meanwhile: so the probe's connection to
// the chosen X server stays open until the application object has made
// its own.
bool useReachableWindowSystem(const SessionVariables &session);
