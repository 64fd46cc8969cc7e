#include "support/child.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>
#include <QThreadPool>

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace {

// The names of this process's threads.
QStringList threads()
{
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        names << (comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : task);
    }
    return names;
}

} // namespace

QString inChild(const std::function<QString()> &body, int seconds)
{
    // Image conversions run on pooled threads, which a copy would believe
    // it still had: let them end first. QtTest's watchdog only sleeps.
    QThreadPool::globalInstance()->waitForDone();
    QStringList running;
    for (int wait = 0; wait < 200; ++wait) { // a thread that ended takes a moment to go
        running = threads();
        running.removeAll(QStringLiteral("QtTest Watchdog"));
        if (running.size() == 1)
            break;
        QThread::msleep(10);
    }
    if (running.size() != 1)
        return QStringLiteral("the test runs threads (%1); a forked copy would hold only one")
            .arg(running.join(QStringLiteral(", ")));
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return QStringLiteral("no pipe: %1").arg(qt_error_string(errno));
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child < 0)
        return QStringLiteral("no fork: %1").arg(qt_error_string(errno));
    if (child == 0) {
        ::close(channel[0]);
        QString problems;
        try {
            problems = body();
        } catch (const std::exception &error) {
            problems = QStringLiteral("exception: %1").arg(QString::fromLocal8Bit(error.what()));
        }
        const QByteArray bytes = problems.toUtf8();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::write(channel[1], bytes.constData() + done, size_t(bytes.size() - done));
            if (written <= 0)
                break;
            done += written;
        }
        ::_exit(problems.isEmpty() ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray message;
    QDeadlineTimer deadline(seconds * 1000);
    bool finished = false;
    while (!deadline.hasExpired()) {
        pollfd wait{channel[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(qMin<qint64>(deadline.remainingTime(), 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got <= 0) {
            finished = true;
            break;
        }
        message.append(buffer, got);
    }
    ::close(channel[0]);
    if (!finished) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return QStringLiteral("the case did not finish within %1 s and was killed").arg(seconds);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return QStringLiteral("the case died of signal %1 %2").arg(WTERMSIG(status)).arg(QString::fromUtf8(message));
    if (WEXITSTATUS(status) != 0 && message.isEmpty())
        return QStringLiteral("the case exited with %1").arg(WEXITSTATUS(status));
    return QString::fromUtf8(message);
}

QString enterPrivateMountNamespace()
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("no private mount namespace: %1").arg(qt_error_string(errno));
    return {};
}

bool dropPermissionOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        data[capability / 32].effective &= ~(1u << (capability % 32));
        data[capability / 32].permitted &= ~(1u << (capability % 32));
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

QString becomeUser(uid_t uid, gid_t gid, const QList<gid_t> &groups)
{
    // The groups first: once the user is another, it may no longer set them.
    if (::setgroups(size_t(groups.size()), groups.constData()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
        return QStringLiteral("cannot become user %1: %2").arg(uid).arg(qt_error_string(errno));
    return {};
}

QString enterPrivateUserNamespace()
{
    if (::unshare(CLONE_NEWUSER) != 0)
        return QStringLiteral("no private user namespace: %1").arg(qt_error_string(errno));
    return {};
}

QString setInotifyLimits(int instances, int watches)
{
    const std::pair<const char *, int> limits[] = {{"/proc/sys/user/max_inotify_instances", instances},
                                                   {"/proc/sys/user/max_inotify_watches", watches}};
    for (const auto &[file, value] : limits) {
        const QByteArray text = QByteArray::number(value);
        const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size();
        if (fd >= 0)
            ::close(fd);
        if (!written)
            return QStringLiteral("cannot set %1: %2").arg(QLatin1String(file), qt_error_string(errno));
    }
    return {};
}

QString forbidSystemCall(long number)
{
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, quint32(number), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog filter{sizeof program / sizeof *program, program};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
        return QStringLiteral("cannot forbid system call %1: %2").arg(number).arg(qt_error_string(errno));
    return {};
}
