#include "files/filereplacement.h"

#include "files/descriptor.h"
#include "files/error.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

// The signals that end a program from outside (a terminal, a session
// ending, kill, a timer): none of them may fall into an in-place write.
constexpr int Interrupts[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2};

std::atomic<bool> interruptCame[NSIG];
static_assert(std::atomic<bool>::is_always_lock_free); // usable in a handler

extern "C" void recordInterrupt(int signal)
{
    interruptCame[signal] = true;
}

// Holds the interrupts back while it lives, in whichever thread they
// arrive: each that comes meanwhile is recorded, and is raised once the
// last holder goes, when the program's own handling of it (its handler, or
// the end of the program) stands again. Blocking them in one thread would
// not do: another thread would take them. An ignored signal stays ignored.
class HeldInterrupts
{
public:
    HeldInterrupts()
    {
        const std::lock_guard lock(mutex());
        if (holders()++ > 0)
            return;
        struct sigaction record = {};
        record.sa_handler = recordInterrupt;
        record.sa_flags = SA_RESTART;
        sigemptyset(&record.sa_mask);
        for (const int signal : Interrupts)
            sigaddset(&record.sa_mask, signal);
        for (std::size_t i = 0; i < std::size(Interrupts); ++i) {
            struct sigaction &previous = saved()[i];
            if (::sigaction(Interrupts[i], nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
                ::sigaction(Interrupts[i], &record, nullptr);
        }
    }

    ~HeldInterrupts()
    {
        const std::lock_guard lock(mutex());
        if (--holders() > 0)
            return;
        for (std::size_t i = 0; i < std::size(Interrupts); ++i) {
            if (saved()[i].sa_handler != SIG_IGN)
                ::sigaction(Interrupts[i], &saved()[i], nullptr);
        }
        for (const int signal : Interrupts) {
            if (interruptCame[signal].exchange(false))
                ::raise(signal);
        }
    }

    HeldInterrupts(const HeldInterrupts &) = delete;
    HeldInterrupts &operator=(const HeldInterrupts &) = delete;

private:
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static int &holders()
    {
        static int count = 0;
        return count;
    }
    static struct sigaction *saved()
    {
        static struct sigaction actions[std::size(Interrupts)];
        return actions;
    }
};

// The first size bytes of the file at path.
QByteArray readWhole(const QByteArray &path, qint64 size)
{
    const FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!fd.isOpen() || !readAllAt(fd.get(), bytes.data(), size, 0))
        throw RuntimeError("write failed", errno);
    return bytes;
}

// Makes the rename that put a file in place last, as far as the folder allows.
void syncFolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Makes the new file beside the file at path, under a hidden name of its
// own: a dot, the start of the file's name (cut between letters, so that a
// listing shows whose it is), a dot and six random letters. However long
// the file's name, this one stays far below the 255 bytes a name may have.
// The kernel applies the umask (or a default ACL) to the mode asked for, as
// for any new file. Returns the descriptor, or -1 with errno set.
int createBeside(const QByteArray &path, mode_t mode, QByteArray *created)
{
    constexpr qsizetype StemBytes = 32;
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    qsizetype stem = std::min(StemBytes, name.size());
    while (stem > 0 && stem < name.size() && (uchar(name[stem]) & 0xc0) == 0x80)
        --stem; // not inside a UTF-8 sequence
    const QByteArray prefix = path.left(slash + 1) + '.' + name.left(stem) + '.';
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = prefix;
        for (int i = 0; i < 6; ++i)
            candidate += Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))];
        const int fd = ::open(candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            *created = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1; // errno is EEXIST
}

// An extended attribute's value, read by get(buffer, room) (getxattr or
// fgetxattr); a null array if there is none or it cannot be read.
template <class Get>
QByteArray attribute(Get get)
{
    const ssize_t size = get(nullptr, 0);
    if (size < 0)
        return {};
    QByteArray value(size, '\0');
    const ssize_t read = size == 0 ? 0 : get(value.data(), size_t(value.size()));
    if (read < 0)
        return {};
    value.truncate(read);
    return value.isNull() ? QByteArray("") : value;
}

// Gives the file open at fd the extended attributes of the file at path:
// its access control list, and the user's own attributes among them.
// True if every one went over (or the file system has none).
bool copyAttributes(const QByteArray &path, int fd)
{
    ssize_t size = ::listxattr(path.constData(), nullptr, 0);
    if (size <= 0)
        return size == 0 || errno == ENOTSUP;
    QByteArray names(size, '\0');
    size = ::listxattr(path.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    bool copied = true;
    for (const char *name = names.constData(); name < names.constData() + size; name += std::strlen(name) + 1) {
        const QByteArray value = attribute([&](void *data, size_t room) {
            return ::getxattr(path.constData(), name, data, room);
        });
        if (value.isNull()) {
            copied = false;
            continue;
        }
        // One the new file has already (a security label, an ACL from the
        // folder's default) needs no setting, which might not be allowed.
        const QByteArray present = attribute([&](void *data, size_t room) {
            return ::fgetxattr(fd, name, data, room);
        });
        if (present != value || present.isNull())
            copied = ::fsetxattr(fd, name, value.constData(), size_t(value.size()), 0) == 0 && copied;
    }
    return copied;
}

// Gives the new file at fd what the old file at path has: its owner and
// group, its permission bits, its extended attributes. True if all of it
// could be kept; otherwise as much as this process may, and never a setuid
// or setgid bit for another owner or group than the old file's. Sets mode
// to the permission bits given.
bool takeOver(int fd, const QByteArray &path, const struct stat &old, mode_t *mode)
{
    struct stat made;
    if (::fstat(fd, &made) != 0)
        return false;
    if (made.st_uid != old.st_uid || made.st_gid != old.st_gid) {
        // Where the owner cannot be kept, the group often can: the writer
        // may be one of its members.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, uid_t(-1), old.st_gid);
        if (::fstat(fd, &made) != 0)
            return false;
    }
    *mode = old.st_mode & 07777;
    if (made.st_uid != old.st_uid)
        *mode &= ~S_ISUID;
    if (made.st_gid != old.st_gid)
        *mode &= ~S_ISGID;
    // The mode only now, as a change of owner clears setuid and setgid.
    bool kept = ::fchmod(fd, *mode) == 0;
    kept = copyAttributes(path, fd) && kept;
    // The kernel drops setgid silently for a group that is not the writer's.
    return ::fstat(fd, &made) == 0 && (made.st_mode & 07777) == (old.st_mode & 07777) && made.st_uid == old.st_uid
           && made.st_gid == old.st_gid && kept;
}

// Writing into a file clears its setuid and setgid bits, unless root
// writes: sets them again as the mode has them. False if that fails.
bool restoreSetIds(int fd, mode_t mode)
{
    struct stat status;
    if ((mode & (S_ISUID | S_ISGID)) == 0 || (::fstat(fd, &status) == 0 && (status.st_mode & 07777) == mode))
        return true;
    return ::fchmod(fd, mode) == 0;
}

// Opens the file itself for writing into it; -1 with errno set if it may
// not be. Raises RuntimeError if what bears the name is no regular file.
int openInPlace(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw RuntimeError("not a file");
    }
    return fd;
}

} // namespace

FileReplacement::FileReplacement(const QByteArray &name) : m_target(name)
{
    if (name.isEmpty() || name.contains('\0'))
        throw RuntimeError("bad file name");
    struct stat status;
    if (::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode)) {
        // Replace what the link leads to, and keep the link.
        char resolved[PATH_MAX];
        if (!::realpath(name.constData(), resolved))
            throw RuntimeError("dangling link", errno);
        m_target = resolved;
    }
    const bool exists = ::stat(m_target.constData(), &status) == 0;
    // Never write into a folder, FIFO or device that bears the name.
    if (exists && !S_ISREG(status.st_mode))
        throw RuntimeError("not a file");
    // A file its owner made read-only stays as it is, though the folder
    // would let a new one take its place.
    if (exists && ::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        throw RuntimeError("file not writable", errno);

    // In place of an existing file, the new one is the owner's alone until
    // it has the old one's owner and mode: others must not read content
    // meant for a private file. A new file gets the mode any other would.
    m_fd = createBeside(m_target, exists ? 0600 : 0666, &m_temporary);
    if (m_fd >= 0) {
        if (!exists || takeOver(m_fd, m_target, status, &m_mode))
            return;
        // The new file would lose something of the old one (its owner,
        // mostly, which only root may give away): writing into the old
        // file keeps all of it, where it may be opened for that.
        try {
            const int inPlace = openInPlace(m_target);
            if (inPlace >= 0)
                useInPlace(inPlace);
        } catch (const RuntimeError &) {
            useInPlace(-1); // no destructor runs to remove the new file
            throw;
        }
        return;
    }
    const int error = errno;
    // Only a folder that may not be written to calls for writing in place;
    // a full or read-only file system would refuse that too.
    if (!exists || (error != EACCES && error != EPERM))
        throw RuntimeError("file not writable", error);
    m_fd = openInPlace(m_target);
    if (m_fd < 0)
        throw RuntimeError("file not writable", errno);
}

FileReplacement::~FileReplacement()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

void FileReplacement::useInPlace(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
    m_fd = fd;
}

void FileReplacement::commit(const QByteArray &content)
{
    append(content);
    commit();
}

void FileReplacement::append(QByteArrayView piece)
{
    if (m_fd < 0)
        throw RuntimeError("file not open");
    if (m_temporary.isEmpty()) {
        m_pending.append(piece);
        return;
    }
    if (!writeAllAt(m_fd, piece, m_appended))
        throw RuntimeError("write failed", errno); // the destructor removes the new file
    m_appended += piece.size();
}

void FileReplacement::commit()
{
    if (m_fd < 0)
        throw RuntimeError("file not open");
    if (m_temporary.isEmpty())
        commitInPlace(std::exchange(m_pending, {}));
    else
        commitBeside();
}

void FileReplacement::commitBeside()
{
    int error = 0;
    if (!restoreSetIds(m_fd, m_mode) || ::fsync(m_fd) != 0)
        error = errno;
    if (::close(m_fd) != 0 && error == 0)
        error = errno;
    m_fd = -1;
    if (error != 0)
        throw RuntimeError("write failed", error); // the destructor removes the new file
    if (::rename(m_temporary.constData(), m_target.constData()) != 0) {
        error = errno;
        // Nothing may take the file's place: another file is mounted on
        // it (EBUSY), or a sticky folder keeps it for its owner (EPERM,
        // EACCES). Writing into it works there, with the content read
        // back from the new file.
        const int inPlace = error == EBUSY || error == EPERM || error == EACCES ? openInPlace(m_target) : -1;
        if (inPlace < 0)
            throw RuntimeError("write failed", error);
        const QByteArray content = readWhole(m_temporary, m_appended);
        useInPlace(inPlace);
        commitInPlace(content);
        return;
    }
    m_temporary.clear();
    syncFolderOf(m_target);
}

void FileReplacement::commitInPlace(const QByteArray &content)
{
    // Bytes written over the old ones cannot be put in place at once: an
    // interrupt between the first write and the cut to length would leave
    // the new content followed by the old one's tail.
    const HeldInterrupts held;
    const int fd = m_fd;
    m_fd = -1;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw RuntimeError("write failed", error);
    }
    // Only the bytes that the new content covers can be lost before the
    // file is cut to length: keep them to put back.
    const qint64 oldSize = status.st_size;
    QByteArray old(std::min<qint64>(oldSize, content.size()), Qt::Uninitialized);
    if (!readAllAt(fd, old.data(), old.size(), 0)) {
        const int error = errno;
        ::close(fd);
        throw RuntimeError("file not readable", error);
    }
    const bool written = writeAllAt(fd, content, 0) && ::fsync(fd) == 0
                         && ::ftruncate(fd, content.size()) == 0;
    int error = written ? 0 : errno;
    if (!written) {
        writeAllAt(fd, old, 0);
        if (content.size() > oldSize)
            (void)::ftruncate(fd, oldSize);
    }
    // The write cleared setuid and setgid; only the owner can set them
    // again, another writer loses them.
    (void)restoreSetIds(fd, status.st_mode & 07777);
    if (::fsync(fd) != 0 && error == 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        throw RuntimeError("write failed", error);
}
