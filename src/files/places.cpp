#include "files/places.h"

#include "files/archivefolder.h"
#include "files/filename.h"

#include <QDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

QString workingDirectory()
{
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return textFromFileName(QByteArray(buffer.constData()));
}

QString homeFolder()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd *entry = ::getpwuid(::getuid()))
            home = entry->pw_dir;
    }
    if (home.isEmpty())
        return QStringLiteral("/");
    return QDir::cleanPath(textFromFileName(home));
}

QString userDataFolder()
{
    const QString data = textFromFileName(qgetenv("XDG_DATA_HOME"));
    if (data.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(data);
    return homeFolder() + QStringLiteral("/.local/share");
}

std::optional<QString> existingFolder(const QString &text)
{
    QString path = text;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = homeFolder() + path.mid(1);
    // A NUL would cut the name short on its way to the file system.
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return std::nullopt;
    path = QDir::cleanPath(path);
    struct stat status;
    if (::stat(fileNameFromText(path).constData(), &status) == 0 && S_ISDIR(status.st_mode))
        return path;
    if (isFolderInArchive(path))
        return path;
    return std::nullopt;
}

QString resolvedFolder(const QString &folder)
{
    const QString absolute = folder.startsWith(QLatin1Char('/')) ? folder : workingDirectory() + QLatin1Char('/') + folder;
    const QStringList parts = absolute.split(QLatin1Char('/'));
    const qsizetype up = parts.lastIndexOf(QStringLiteral(".."));
    if (up < 0)
        return QDir::cleanPath(absolute);
    const QString through = parts.mid(0, up + 1).join(QLatin1Char('/'));
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(fileNameFromText(through).constData(), nullptr),
                                                     &std::free);
    if (!real)
        return QDir::cleanPath(absolute); // the caller finds out why
    return QDir::cleanPath(textFromFileName(QByteArray(real.get())) + QLatin1Char('/')
                           + parts.mid(up + 1).join(QLatin1Char('/')));
}
