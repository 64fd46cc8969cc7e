#include "files/filesignature.h"

#include "files/filename.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <tuple>

FileSignature FileSignature::of(const QString &path)
{
    struct stat status;
    if (::stat(fileNameFromText(path).constData(), &status) != 0)
        return {};
    return of(status);
}

FileSignature FileSignature::of(const struct stat &status)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const timespec newest = std::max(status.st_mtim, status.st_ctim, [](const timespec &a, const timespec &b) {
        return std::tie(a.tv_sec, a.tv_nsec) < std::tie(b.tv_sec, b.tv_nsec);
    });
    // Compared in whole seconds first: a time set far ahead or back must
    // not overflow the nanoseconds.
    const qint64 ageSeconds = qint64(now.tv_sec) - qint64(newest.tv_sec);
    const bool racy = ageSeconds < 0 || ageSeconds < RacySeconds
                      || (ageSeconds == RacySeconds && now.tv_nsec < newest.tv_nsec);
    return {true,
            S_ISREG(status.st_mode),
            quint64(status.st_dev),
            quint64(status.st_ino),
            qint64(status.st_size),
            qint64(status.st_mtim.tv_sec),
            qint64(status.st_mtim.tv_nsec),
            qint64(status.st_ctim.tv_sec),
            qint64(status.st_ctim.tv_nsec),
            racy};
}

bool FileSignature::operator==(const FileSignature &other) const
{
    const auto described = [](const FileSignature &s) {
        return std::tie(s.exists, s.regularFile, s.device, s.inode, s.size, s.modifiedSeconds, s.modifiedNanoseconds,
                        s.changedSeconds, s.changedNanoseconds);
    };
    return described(*this) == described(other);
}
