#include "tool/folders.h"

#include "runtime/filename.h"
#include "tool/terminal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace skintool {

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
    QString name = QFileInfo(QDir::cleanPath(folder)).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QFileInfo(QDir::cleanPath(QDir::current().absoluteFilePath(folder))).fileName();
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
