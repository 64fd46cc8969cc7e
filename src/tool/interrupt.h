#pragma once

#include <QByteArray>

namespace skintool {

// An interrupted run (SIGINT, SIGTERM) leaves no temporary file behind: the
// file that a write has made but not yet put in place is removed, and the
// program then ends by the same signal, as it would have without the
// handler. A signal that was ignored when the program started stays
// ignored (nohup, background jobs).
void removeTemporaryFileOnInterrupt();

// Holds interrupts back while it lives, in whichever thread they arrive: one
// that comes meanwhile takes effect when the last of those alive in any
// thread goes. A temporary file is made
// and registered under it, so that no interrupt falls between the two.
class InterruptsHeld
{
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld &) = delete;
    InterruptsHeld &operator=(const InterruptsHeld &) = delete;
};

// While one lives, an interrupt removes the file at path (empty: none).
// Made while InterruptsHeld; the path must fit PATH_MAX. Up to 128 may live
// at once, in any threads.
class TemporaryFileGuard
{
public:
    explicit TemporaryFileGuard(const QByteArray &path);
    ~TemporaryFileGuard();
    TemporaryFileGuard(const TemporaryFileGuard &) = delete;
    TemporaryFileGuard &operator=(const TemporaryFileGuard &) = delete;

private:
    int m_slot = -1;
};

} // namespace skintool
