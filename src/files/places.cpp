#include "files/places.h"

#include "files/filename.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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
