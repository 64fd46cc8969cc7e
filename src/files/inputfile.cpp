#include "files/inputfile.h"

#include "files/filename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

const char *reasonOf(InputFile::Failure failure)
{
    using Failure = InputFile::Failure;
    switch (failure) {
    case Failure::BadName:
        return "bad file name";
    case Failure::NotFound:
        return "file not found";
    case Failure::NotReadable:
        return "file not readable";
    case Failure::Folder:
    case Failure::NotRegularFile:
        return "not a file";
    case Failure::TooLarge:
        return "file too large";
    case Failure::Encrypted:
        return "encrypted";
    case Failure::Damaged:
        return "damaged archive entry";
    }
    return "file not readable";
}

} // namespace

InputFile::Error::Error(Failure failure, int systemError, qint64 size)
    : RuntimeError(reasonOf(failure), systemError), m_failure(failure), m_size(size)
{
}

InputFile InputFile::open(const QString &path, qint64 maxBytes)
{
    const QByteArray native = fileNameFromText(path);
    if (native.contains('\0')) // would cut the name short
        throw Error(Failure::BadName);
    InputFile file;
    file.m_fd.reset(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.m_fd.isOpen()) {
        const int error = errno;
        throw Error(error == ENOENT ? Failure::NotFound : Failure::NotReadable, error);
    }
    struct stat status;
    if (::fstat(file.m_fd.get(), &status) != 0)
        throw Error(Failure::NotReadable, errno);
    if (S_ISDIR(status.st_mode))
        throw Error(Failure::Folder);
    if (!S_ISREG(status.st_mode))
        throw Error(Failure::NotRegularFile);
    if (maxBytes >= 0 && status.st_size > maxBytes)
        throw Error(Failure::TooLarge, 0, status.st_size);
    file.m_size = status.st_size;
    file.m_modifiedSeconds = status.st_mtim.tv_sec;
    file.m_modifiedNanoseconds = status.st_mtim.tv_nsec;
    return file;
}

InputFile::InputFile(QByteArray bytes) : m_size(bytes.size()), m_bytes(std::move(bytes))
{
}

QByteArray InputFile::read(qint64 size)
{
    if (!m_fd.isOpen()) {
        const QByteArray piece = m_bytes.mid(m_position, size);
        m_position += piece.size();
        return piece;
    }
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    const qint64 got = readUpTo(m_fd.get(), bytes.data(), size);
    if (got < 0)
        throw Error(Failure::NotReadable, errno);
    bytes.truncate(got);
    return bytes;
}

bool InputFile::changedSinceOpened(qint64 *sizeNow) const
{
    if (!m_fd.isOpen())
        return false;
    struct stat now {};
    const bool described = ::fstat(m_fd.get(), &now) == 0;
    if (sizeNow)
        *sizeNow = described ? now.st_size : 0;
    return !described || now.st_size != m_size || now.st_mtim.tv_sec != m_modifiedSeconds
           || now.st_mtim.tv_nsec != m_modifiedNanoseconds;
}
