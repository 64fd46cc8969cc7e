#include "tool/interrupt.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace skintool {

namespace {

// Where the program stands, changed only by compare-and-swap so that the
// handler (in any thread) and the thread making a file never both go on:
// a file is made only while the program is not ending, and the program
// ends only while no file is being made.
enum State { Running, Making, Ending };
std::atomic<int> state{Running};
static_assert(std::atomic<int>::is_always_lock_free); // usable in a handler
std::atomic<int> heldSignal{0};

// The temporary file to remove; written only while Making.
char temporaryPath[PATH_MAX];
volatile sig_atomic_t temporaryPathSet = 0;

constexpr int Interrupts[] = {SIGINT, SIGTERM};

// Removes the file and ends the program by the signal. Only
// async-signal-safe calls.
[[noreturn]] void end(int signal)
{
    if (temporaryPathSet)
        ::unlink(temporaryPath);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    for (;;)
        ::pause(); // the signal ends the program
}

extern "C" void onInterrupt(int signal)
{
    int expected = Running;
    if (state.compare_exchange_strong(expected, Ending))
        end(signal);
    if (expected != Making)
        return; // ending already, in another thread
    // InterruptsHeld ends the program when it goes; unless it went just
    // now, before it could see the signal.
    heldSignal = signal;
    expected = Running;
    if (state.compare_exchange_strong(expected, Ending))
        end(signal);
}

} // namespace

void removeTemporaryFileOnInterrupt()
{
    for (const int signal : Interrupts) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        for (const int other : Interrupts)
            sigaddset(&action.sa_mask, other); // one handler at a time in a thread
        ::sigaction(signal, &action, nullptr);
    }
}

InterruptsHeld::InterruptsHeld()
{
    int expected = Running;
    if (!state.compare_exchange_strong(expected, Making)) {
        for (;;)
            ::pause(); // the program is ending by a signal
    }
}

InterruptsHeld::~InterruptsHeld()
{
    state.store(Running);
    if (const int signal = heldSignal) {
        int expected = Running;
        if (state.compare_exchange_strong(expected, Ending))
            end(signal);
    }
}

TemporaryFileGuard::TemporaryFileGuard(const QByteArray &path)
{
    if (path.isEmpty() || path.size() >= qsizetype(sizeof temporaryPath))
        return;
    std::memcpy(temporaryPath, path.constData(), std::size_t(path.size()) + 1);
    temporaryPathSet = 1;
}

TemporaryFileGuard::~TemporaryFileGuard()
{
    temporaryPathSet = 0;
}

} // namespace skintool
