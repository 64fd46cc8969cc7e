#include "tool/folders.h"

#include "files/archive.h"
#include "files/archivefolder.h"
#include "files/filename.h"
#include "files/folder.h"
#include "files/folderlisting.h"
#include "files/places.h"
#include "skin/skinfiles.h"
#include "tool/terminal.h"

#include <QDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace skintool {

QString absolutePath(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return workingDirectory() + QLatin1Char('/') + path;
}

int makeFolders(const QString &folder)
{
    const QByteArray path = fileNameFromText(absolutePath(folder));
    // Each parent in turn, from the root down; one that exists already is
    // passed by, and one that is no folder makes the next step fail with
    // the system's reason.
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0) {
            struct stat status;
            if (::stat(part.constData(), &status) != 0)
                return errno;
            return S_ISDIR(status.st_mode) ? 0 : EEXIST;
        }
    }
}

void removeEmptyFolder(const QString &folder)
{
    ::rmdir(fileNameFromText(folder).constData());
}

bool pathExists(const QString &path)
{
    struct stat status;
    return ::lstat(fileNameFromText(path).constData(), &status) == 0;
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<QString> folderProblem(const QString &folder)
{
    if (folder.isEmpty())
        return QStringLiteral("no such folder");
    const QString resolved = resolvedFolder(folder);
    if (isArchiveFile(resolved)) {
        const int fd = ::open(fileNameFromText(resolved).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return QStringLiteral("cannot read the archive: %1").arg(systemReason(errno));
        ::close(fd);
        return std::nullopt;
    }
    if (splitArchivePath(resolved)) {
        if (isFolderInArchive(resolved))
            return std::nullopt;
        return QStringLiteral("no such folder");
    }
    const QByteArray native = fileNameFromText(folder);
    struct stat status;
    if (::stat(native.constData(), &status) != 0) {
        if (errno == ENOENT)
            return QStringLiteral("no such folder");
        return QStringLiteral("cannot read the folder: %1").arg(systemReason(errno));
    }
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("not a folder");
    // A folder that cannot be listed would look like an empty skin; one
    // that can be listed but not searched (read permission without execute)
    // would look like one whose files are all missing.
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return QStringLiteral("cannot read the folder: %1").arg(systemReason(errno));
    ::closedir(dir);
    if (::stat((native + "/.").constData(), &status) != 0)
        return QStringLiteral("cannot read the folder: %1").arg(systemReason(errno));
    return std::nullopt;
}

namespace {

QStringList skinsOf(const QString &folder)
{
    const QString resolved = resolvedFolder(folder);
    struct stat status;
    if (::stat(fileNameFromText(resolved).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return {folder};
    const std::unique_ptr<Folder> skin = openSkinFolder(resolved);
    if (holdsSkinFile(*skin))
        return {folder};
    // The archives as the selector lists them among the subfolders.
    NameList names;
    std::vector<bool> isArchive;
    skin->listing().subfoldersAndArchives(names, isArchive);
    const QString given = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    QStringList archives;
    for (qsizetype i = 0; i < names.size(); ++i)
        if (isArchive[std::size_t(i)])
            archives.append(given + names.at(i).toString());
    return archives.isEmpty() ? QStringList{folder} : archives;
}

} // namespace

QStringList usableSkins(const QStringList &folders, bool &allUsable)
{
    QStringList skins;
    for (const QString &folder : folders) {
        if (!checkFolderArgument(folder)) {
            allUsable = false;
            continue;
        }
        for (const QString &skin : skinsOf(folder)) {
            // An archive of a collection may be unreadable on its own.
            if (skin == folder || checkFolderArgument(skin))
                skins.append(skin);
            else
                allUsable = false;
        }
    }
    return skins;
}

bool checkFolderArgument(const QString &folder)
{
    if (const std::optional<QString> problem = folderProblem(folder)) {
        printError(QStringLiteral("%1: %2").arg(shownName(folder), *problem));
        return false;
    }
    return true;
}

QString lastComponent(const QString &folder)
{
    const QString name = nameOf(resolvedFolder(folder));
    return name.isEmpty() ? QStringLiteral("root") : name;
}

QString OutputNames::take(const QString &folder)
{
    const QString name = lastComponent(folder);
    QString candidate = name;
    for (int suffix = 2; m_taken.contains(candidate); ++suffix)
        candidate = QStringLiteral("%1-%2").arg(name).arg(suffix);
    m_taken.insert(candidate);
    return candidate;
}

} // namespace skintool
