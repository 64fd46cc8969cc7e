#include "tool/interrupt.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace skintool {

namespace {

// Where the program stands: the number of threads making a file (0 or
// more), or Ending. Changed only by compare-and-swap, so that the handler (in
// any thread) and the threads making files never both go on: a file is made
// only while the program is not ending, and the program ends only while no
// file is being made.
constexpr int Ending = -1;
std::atomic<int> state{0};
static_assert(std::atomic<int>::is_always_lock_free); // usable in a handler
std::atomic<int> heldSignal{0};

// The temporary files to remove, one slot for each file being written at
// once (render writes one a thread). A slot's path is written only while its
// thread holds interrupts back, and the slot then marked Set.
enum SlotState { Free, Taken, Set };
constexpr int MostTemporaryFiles = 128;
struct Slot
{
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
Slot temporaryFiles[MostTemporaryFiles];

constexpr int Interrupts[] = {SIGINT, SIGTERM};

// Removes the file and ends the program by the signal. Only
// async-signal-safe calls.
[[noreturn]] void end(int signal)
{
    for (Slot &slot : temporaryFiles) {
        if (slot.state.load() == Set)
            ::unlink(slot.path);
    }
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    for (;;)
        ::pause(); // the signal ends the program
}

// Ends the program by the signal, unless a file is being made.
void endIfIdle(int signal)
{
    int expected = 0;
    if (state.compare_exchange_strong(expected, Ending))
        end(signal);
}

extern "C" void onInterrupt(int signal)
{
    if (state.load() == Ending)
        return; // ending already, in another thread
    endIfIdle(signal);
    // The last InterruptsHeld to go ends the program; unless it went just
    // now, before it could see the signal.
    heldSignal = signal;
    endIfIdle(signal);
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
    for (int making = state.load();;) {
        if (making == Ending) {
            for (;;)
                ::pause(); // the program is ending by a signal
        }
        if (state.compare_exchange_weak(making, making + 1))
            return;
    }
}

InterruptsHeld::~InterruptsHeld()
{
    if (state.fetch_sub(1) == 1) {
        if (const int signal = heldSignal)
            endIfIdle(signal);
    }
}

TemporaryFileGuard::TemporaryFileGuard(const QByteArray &path)
{
    if (path.isEmpty() || path.size() >= qsizetype(PATH_MAX))
        return;
    for (Slot &slot : temporaryFiles) {
        int expected = Free;
        if (slot.state.compare_exchange_strong(expected, Taken)) {
            std::memcpy(slot.path, path.constData(), std::size_t(path.size()) + 1);
            slot.state.store(Set);
            m_slot = int(&slot - temporaryFiles);
            return;
        }
    }
}

TemporaryFileGuard::~TemporaryFileGuard()
{
    if (m_slot >= 0)
        temporaryFiles[m_slot].state.store(Free);
}

} // namespace skintool
