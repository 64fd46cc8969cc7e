#include "runtime/filereplacement.h"

#include "runtime/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// Reads or writes all the bytes at the offset (pread or pwrite), going on
// after a short transfer; false on an error or at the end of the file.
template <class Bytes, class Transfer>
bool transferAll(Transfer transfer, int fd, Bytes *data, qint64 size, off_t offset)
{
    while (size > 0) {
        const ssize_t done = transfer(fd, data, size_t(size), offset);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

bool writeAll(int fd, const char *data, qint64 size, off_t offset)
{
    return transferAll(::pwrite, fd, data, size, offset);
}

bool readAll(int fd, char *data, qint64 size)
{
    return transferAll(::pread, fd, data, size, 0);
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

mode_t modeForNewFiles()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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
            throw RuntimeError("dangling link");
        m_target = resolved;
    }
    const bool exists = ::stat(m_target.constData(), &status) == 0;
    // Never write into a folder, FIFO or device that bears the name.
    if (exists && !S_ISREG(status.st_mode))
        throw RuntimeError("not a file");
    // A file its owner made read-only stays as it is, though the folder
    // would let a new one take its place.
    if (exists && ::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        throw RuntimeError("file not writable");

    QByteArray temporary = m_target + ".XXXXXX";
    m_fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (m_fd >= 0) {
        m_temporary = temporary;
        // The new file takes the old one's permissions and, where allowed,
        // its owner.
        ::fchmod(m_fd, exists ? status.st_mode & 07777 : modeForNewFiles());
        if (exists && (status.st_uid != ::geteuid() || status.st_gid != ::getegid()))
            (void)::fchown(m_fd, status.st_uid, status.st_gid);
        return;
    }
    // Only a folder that may not be written to calls for writing in place;
    // a full or read-only file system would refuse that too.
    if (!exists || (errno != EACCES && errno != EPERM))
        throw RuntimeError("file not writable", errno);
    m_fd = ::open(m_target.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        throw RuntimeError("file not writable");
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        throw RuntimeError("not a file");
    }
}

FileReplacement::~FileReplacement()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

void FileReplacement::commit(const QByteArray &content)
{
    if (m_fd < 0)
        throw RuntimeError("file not open");
    if (m_temporary.isEmpty())
        commitInPlace(content);
    else
        commitBeside(content);
}

void FileReplacement::commitBeside(const QByteArray &content)
{
    bool ok = writeAll(m_fd, content.constData(), content.size(), 0) && ::fsync(m_fd) == 0;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (!ok || ::rename(m_temporary.constData(), m_target.constData()) != 0)
        throw RuntimeError("write failed", errno); // the destructor removes the new file
    m_temporary.clear();
    syncFolderOf(m_target);
}

void FileReplacement::commitInPlace(const QByteArray &content)
{
    const int fd = m_fd;
    m_fd = -1;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        throw RuntimeError("write failed");
    }
    // Only the bytes that the new content covers can be lost before the
    // file is cut to length: keep them to put back.
    const qint64 oldSize = status.st_size;
    QByteArray old(std::min<qint64>(oldSize, content.size()), Qt::Uninitialized);
    if (!readAll(fd, old.data(), old.size())) {
        ::close(fd);
        throw RuntimeError("file not readable");
    }
    const bool written = writeAll(fd, content.constData(), content.size(), 0) && ::fsync(fd) == 0
                         && ::ftruncate(fd, content.size()) == 0;
    if (!written) {
        writeAll(fd, old.constData(), old.size(), 0);
        if (content.size() > oldSize)
            (void)::ftruncate(fd, oldSize);
        ::fsync(fd);
        ::close(fd);
        throw RuntimeError("write failed");
    }
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced)
        throw RuntimeError("write failed");
}
