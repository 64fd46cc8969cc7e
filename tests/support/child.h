#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

#include <functional>

// Cases that change what the whole process may do (drop root's permission
// override, mount over the working directory, become another user) run in
// a forked copy of the test, so the test process itself stays as it was.

// Runs body in a forked copy of this process and returns what it returns
// (the copy's problems, empty when there are none), or why it did not
// finish: a copy still running after the time given is killed. The copy
// ends with _exit(), so nothing of it is torn down twice.
QString inChild(const std::function<QString()> &body, int seconds = 60);

// Moves the calling process into a mount namespace of its own, whose mounts
// the rest of the system does not see. Empty on success, else the reason.
QString enterPrivateMountNamespace();

// Takes away root's permission override from this process, so that
// permission bits bind it like any owner.
bool dropPermissionOverride();

// Makes the calling process the user uid, with the primary group gid and
// the supplementary groups given: a root process gives up its powers for
// good. Empty on success, else the reason.
QString becomeUser(uid_t uid, gid_t gid, const QList<gid_t> &groups = {});

// Moves the calling process into a user namespace of its own, whose
// inotify limits it may then set (setInotifyLimits) without touching the
// rest of the system's. Empty on success, else the reason.
QString enterPrivateUserNamespace();

// Sets the inotify limits of the calling process's user namespace: the
// instances and the watches it may hold. Empty on success, else the reason.
QString setInotifyLimits(int instances, int watches);

// Makes the system call of that number end the calling process (and every
// thread of it) with SIGSYS, for good: for a case that must never make it.
// Empty on success, else the reason.
QString forbidSystemCall(long number);
