#include "files/filesignature.h"

#include "files/filename.h"

#include <sys/stat.h>

FileSignature FileSignature::of(const QString &path)
{
    struct stat status;
    if (::stat(fileNameFromText(path).constData(), &status) != 0)
        return {};
    return of(status);
}

FileSignature FileSignature::of(const struct stat &status)
{
    return {true,
            S_ISREG(status.st_mode),
            quint64(status.st_dev),
            quint64(status.st_ino),
            qint64(status.st_size),
            qint64(status.st_mtim.tv_sec),
            qint64(status.st_mtim.tv_nsec)};
}
