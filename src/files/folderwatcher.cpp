#include "files/folderwatcher.h"

#include "files/filename.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Everything that may change what a file of the folder holds or whether it
// is there; opening and reading raise nothing.
constexpr uint32_t FolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE
                                  | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
// While the folder is missing, only what may bring it back matters.
constexpr uint32_t AncestorEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watched folder itself went away, or its watch did.
constexpr uint32_t WatchEnds = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The first part of path below ancestor: "b" for "/a" in "/a/b/c".
QByteArray nextPart(const QByteArray &path, const QByteArray &ancestor)
{
    const qsizetype start = ancestor == "/" ? 1 : ancestor.size() + 1;
    const qsizetype end = path.indexOf('/', start);
    return path.mid(start, end < 0 ? -1 : end - start);
}

bool isFolder(const QByteArray &path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

bool FolderChanges::touches(const QString &name) const
{
    if (everything)
        return true;
    for (const QString &changed : names) {
        if (changed.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

FolderWatcher::FolderWatcher(QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    m_quiet.setInterval(QuietMilliseconds);
    connect(&m_quiet, &QTimer::timeout, this, &FolderWatcher::settle);
}

FolderWatcher::~FolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderWatcher::follow(const QString &folder)
{
    removeWatch();
    m_quiet.stop();
    m_pending = {};
    m_settled = {};
    m_error = 0;
    m_folder = folder;
    m_native = fileNameFromText(folder);
    if (folder.isEmpty() || m_native.contains('\0'))
        return;
    // Made at the first folder followed: most windows never follow one.
    if (m_fd < 0) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno; // the user's inotify instances are spent
            return;
        }
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
    }
    watchNearest();
}

FolderChanges FolderWatcher::takeChanges()
{
    return std::exchange(m_settled, {});
}

void FolderWatcher::removeWatch()
{
    if (m_watch >= 0)
        ::inotify_rm_watch(m_fd, m_watch);
    m_watch = -1;
    m_watched.clear();
}

// Watches the folder, or, while it is missing, its nearest existing
// ancestor. A part of the path may appear between the failed look and the
// watch on its parent; then the look starts again.
void FolderWatcher::watchNearest()
{
    removeWatch();
    m_error = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        QByteArray path = m_native;
        for (;;) {
            const bool isFolderItself = path == m_native;
            const int watch = ::inotify_add_watch(m_fd, path.constData(), isFolderItself ? FolderEvents : AncestorEvents);
            if (watch >= 0) {
                m_watch = watch;
                m_watched = path;
                if (isFolderItself || !isFolder(path + '/' + nextPart(m_native, path)))
                    return;
                removeWatch();
                break;
            }
            if ((errno != ENOENT && errno != ENOTDIR) || path == "/") {
                m_error = errno; // limits or permissions: nothing is watched
                return;
            }
            path = parentOf(path);
        }
    }
}

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool rewatch = false;
    bool changed = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                m_pending.everything = true;
                changed = true;
                continue;
            }
            if (event->wd != m_watch)
                continue; // a watch given up since
            const QByteArray name(event->name, qsizetype(event->len ? ::strnlen(event->name, event->len) : 0));
            if (m_watched != m_native) {
                // An ancestor: the folder, or a part of the path to it, may be back.
                if ((event->mask & WatchEnds) || name == nextPart(m_native, m_watched))
                    rewatch = true;
            } else if (event->mask & WatchEnds) {
                rewatch = true;
            } else if (!name.isEmpty()) {
                m_pending.names.insert(textFromFileName(name));
                changed = true;
            }
        }
    }
    if (rewatch) {
        watchNearest();
        if (isWatchingFolder()) {
            // Back, or replaced by another folder of that name: what it
            // holds now is compared as a whole.
            m_pending.everything = true;
            changed = true;
        }
    }
    if (changed)
        m_quiet.start();
}

void FolderWatcher::settle()
{
    m_settled.names.unite(m_pending.names);
    m_settled.everything = m_settled.everything || m_pending.everything;
    m_pending = {};
    if (!m_settled.isEmpty())
        emit change();
}
