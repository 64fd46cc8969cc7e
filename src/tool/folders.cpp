#include "tool/folders.h"

#include "runtime/filename.h"
#include "runtime/places.h"
#include "tool/terminal.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace skintool {

QString absolutePath(const QString &path)
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return workingDirectory() + QLatin1Char('/') + path;
}

bool makeFolders(const QString &folder)
{
    const QByteArray path = fileNameFromText(absolutePath(folder));
    // Each parent in turn, from the root down; one that exists already is
    // passed by.
    for (qsizetype slash = path.indexOf('/', 1); ; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        struct stat status;
        if (::mkdir(part.constData(), 0777) != 0
            && (errno != EEXIST || ::stat(part.constData(), &status) != 0 || !S_ISDIR(status.st_mode)))
            return false;
        if (slash < 0)
            return true;
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

bool checkFolderArgument(const QString &folder)
{
    struct stat status;
    if (folder.isEmpty() || ::stat(fileNameFromText(folder).constData(), &status) != 0) {
        printError(QStringLiteral("%1: no such folder").arg(folder));
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        printError(QStringLiteral("%1: not a folder").arg(folder));
        return false;
    }
    return true;
}

QString lastComponent(const QString &folder)
{
    QString name = nameOf(QDir::cleanPath(folder));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = nameOf(QDir::cleanPath(absolutePath(folder)));
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
