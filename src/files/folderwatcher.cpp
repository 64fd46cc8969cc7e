#include "files/folderwatcher.h"

#include "files/archive.h"
#include "files/filename.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Everything that may change what a file of the folder holds or whether it
// is there; opening and reading raise nothing.
constexpr uint32_t FolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE
                                  | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
// While the folder is missing, only what may bring it back matters.
constexpr uint32_t AncestorEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The parent of what is watched: its entry of that name replaced, renamed
// or removed (a link retargeted, say), or the parent itself moved.
constexpr uint32_t ParentEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF
                                  | IN_ONLYDIR | IN_MASK_ADD;
// The parts of the path further up: each moved or removed.
constexpr uint32_t AboveEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// A link on the path, as itself: replaced or removed, it loses its last
// name (IN_ATTRIB) and goes.
constexpr uint32_t LinkEvents = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW | IN_MASK_ADD;
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
    m_longest.setSingleShot(true);
    m_longest.setTimerType(Qt::PreciseTimer);
    m_longest.setInterval(LongestDelayMilliseconds);
    connect(&m_longest, &QTimer::timeout, this, &FolderWatcher::settle);
}

FolderWatcher::~FolderWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_mounts >= 0)
        ::close(m_mounts);
}

void FolderWatcher::follow(const QString &folder)
{
    removeWatches();
    m_quiet.stop();
    m_longest.stop();
    m_pending = {};
    m_settled = {};
    m_error = 0;
    m_folder = folder;
    // A folder in an archive changes when the archive file does: its folder
    // on disk is watched for the archive's name, which a rewrite in place
    // and a new file renamed over it both touch.
    const auto archive = splitArchivePath(folder);
    m_native = fileNameFromText(archive ? archive->archive : folder);
    m_archiveName = archive ? m_native.mid(m_native.lastIndexOf('/') + 1) : QByteArray();
    if (archive)
        m_native = parentOf(m_native);
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
    // A file system mounted or unmounted anywhere may change where the
    // path leads; the kernel flags the mount table as an exception.
    if (m_mounts < 0) {
        m_mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        if (m_mounts >= 0) {
            m_mountNotifier = new QSocketNotifier(m_mounts, QSocketNotifier::Exception, this);
            connect(m_mountNotifier, &QSocketNotifier::activated, this, [this] {
                if (rewatch()) {
                    m_pending.everything = true;
                    pend();
                }
            });
        }
    }
    watchNearest();
}

FolderChanges FolderWatcher::takeChanges()
{
    return std::exchange(m_settled, {});
}

void FolderWatcher::removeWatches()
{
    if (m_watch >= 0)
        ::inotify_rm_watch(m_fd, m_watch);
    for (int watch : std::as_const(m_above)) {
        if (watch >= 0)
            ::inotify_rm_watch(m_fd, watch);
    }
    m_watch = -1;
    m_watched.clear();
    m_above.clear();
}

// Places the watches again and tells whether the path now leads elsewhere
// than before: to another folder, or to none, or to the folder again after
// it was missing. The kernel gives a folder that it watches already the
// same watch again, so an unchanged path is told by its watch; a folder
// made anew gets a new watch even where it reuses the old one's inode.
bool FolderWatcher::rewatch()
{
    if (m_fd < 0 || m_native.isEmpty())
        return false;
    const bool wasWatchingFolder = isWatchingFolder();
    const int before = m_watch;
    const QList<int> aboveBefore = m_above;
    m_watch = -1; // kept by the kernel until removed below
    m_above.clear();
    watchNearest();
    for (int watch : aboveBefore) {
        if (watch >= 0 && watch != m_watch && watch != before && !m_above.contains(watch))
            ::inotify_rm_watch(m_fd, watch);
    }
    if (before >= 0 && before != m_watch && !m_above.contains(before))
        ::inotify_rm_watch(m_fd, before);
    return isWatchingFolder() ? !wasWatchingFolder || m_watch != before : wasWatchingFolder;
}

// Watches the folder, or, while it is missing, its nearest existing
// ancestor. A part of the path may appear between the failed look and the
// watch on its parent; then the look starts again.
void FolderWatcher::watchNearest()
{
    m_error = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        QByteArray path = m_native;
        for (;;) {
            const bool isFolderItself = path == m_native;
            const int watch = ::inotify_add_watch(m_fd, path.constData(), isFolderItself ? FolderEvents : AncestorEvents);
            if (watch >= 0) {
                if (isFolderItself || !isFolder(path + '/' + nextPart(m_native, path))) {
                    m_watch = watch;
                    m_watched = path;
                    watchPathAbove();
                    return;
                }
                ::inotify_rm_watch(m_fd, watch);
                break; // looked at again from the folder down
            }
            if ((errno != ENOENT && errno != ENOTDIR) || path == "/") {
                m_error = errno; // limits or permissions: nothing is watched
                return;
            }
            path = parentOf(path);
        }
    }
}

// The parts of the path above the watched folder or ancestor: a change to
// one may make the path lead elsewhere. One that cannot be watched is left
// out; the mounts and each settled change still make the path be looked at.
void FolderWatcher::watchPathAbove()
{
    if (m_watched == "/")
        return;
    uint32_t events = m_watched == m_native ? ParentEvents : AboveEvents;
    for (QByteArray part = parentOf(m_watched);; part = parentOf(part)) {
        const int watch = ::inotify_add_watch(m_fd, part.constData(), events);
        if (watch >= 0 && watch != m_watch)
            m_above.append(watch);
        else
            m_above.append(-1); // keeps the first one the parent
        events = AboveEvents;
        if (part == "/")
            break;
    }
    // The links on the way, which the watches above follow: one pointed
    // elsewhere leaves the folders that they led to as they were.
    for (QByteArray part = m_watched;; part = parentOf(part)) {
        struct stat info;
        if (::lstat(part.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
            const int watch = ::inotify_add_watch(m_fd, part.constData(), LinkEvents);
            if (watch >= 0)
                m_above.append(watch);
        }
        if (part == "/")
            break;
    }
}

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool lookAgain = false; // at the path, once the events are read
    bool changed = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were dropped, the end of a watch among them, maybe.
                m_pending.everything = true;
                changed = true;
                lookAgain = true;
                continue;
            }
            const QByteArray name(event->name, qsizetype(event->len ? ::strnlen(event->name, event->len) : 0));
            if (event->wd != m_watch) {
                const qsizetype above = m_above.indexOf(event->wd);
                if (above < 0)
                    continue; // a watch given up since
                // A part of the path above moved or went away, or the
                // parent's entry that the path goes through changed.
                if ((event->mask & (WatchEnds | IN_ATTRIB)) || (above == 0 && name == nextPart(m_native, parentOf(m_watched))))
                    lookAgain = true;
            } else if (m_watched != m_native) {
                // An ancestor: the folder, or a part of the path to it, may be back.
                if ((event->mask & WatchEnds) || name == nextPart(m_native, m_watched))
                    lookAgain = true;
            } else if (event->mask & WatchEnds) {
                lookAgain = true;
            } else if (!m_archiveName.isEmpty()) {
                if (name == m_archiveName) {
                    m_pending.everything = true; // any entry may differ
                    changed = true;
                }
            } else if (!name.isEmpty()) {
                m_pending.names.insert(textFromFileName(name));
                changed = true;
            }
        }
    }
    // Back, gone, or replaced by another folder at the path: what it holds
    // now is compared as a whole.
    if (lookAgain && rewatch()) {
        m_pending.everything = true;
        changed = true;
    }
    if (changed)
        pend();
}

// A change is pending: it settles once the folder is quiet, or at the
// longest delay after the first event of the burst.
void FolderWatcher::pend()
{
    if (!m_longest.isActive())
        m_longest.start();
    m_quiet.start();
}

void FolderWatcher::settle()
{
    m_quiet.stop();
    m_longest.stop();
    // After each change, the path may lead elsewhere though no event said so.
    if (rewatch())
        m_pending.everything = true;
    m_settled.names.unite(m_pending.names);
    m_settled.everything = m_settled.everything || m_pending.everything;
    m_pending = {};
    if (!m_settled.isEmpty())
        emit change();
}
