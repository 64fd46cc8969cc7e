#include "app/commandline.h"

#include "files/filename.h"
#include "files/places.h"

#include <QDir>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

const char SkinpreviewUsage[] =
    "Usage: skinpreview [OPTION]... [FOLDER]\n"
    "Try out a skin: a mock-up of its application's main window, built from the\n"
    "skin's pictures. Click the logo to choose a skin folder in the Skin Selector.\n"
    "\n"
    "With FOLDER, the skin in FOLDER is applied at once and remembered, as closing\n"
    "the Skin Selector on it would. The window follows the applied folder: a\n"
    "picture saved there shows as soon as it is saved.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -display, -style and the like) are passed to Qt.\n"
    "\n"
    "Keys: F5 loads the applied skin again, Shift+F5 from the built-in pictures;\n"
    "in the Skin Selector, F5 reads its folder again. Folders on network file\n"
    "systems may report no changes: press F5 there.\n"
    "\n"
    "Exit status: 0 when closed, 1 when there is no display, 2 on a usage error\n"
    "or a FOLDER that is missing or not a folder. See skinpreview(1).\n";

namespace {

// Qt's options that take a value as the next argument, and those that take
// none; Qt also takes each with two leading dashes, and -style and
// -stylesheet as -style=VALUE.
const char *const QtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "icon", "qwindowtitle", "title", "session", "display", "name", "visual",
    "style", "stylesheet",
};
const char *const QtFlags[] = {"reverse", "testability", "widgetcount", "nograb", "dograb"};
const char *const QtOptionsWithAttachedValue[] = {"style=", "stylesheet=", "qmljsdebugger="};

template <std::size_t N>
bool isOneOf(const QByteArray &name, const char *const (&names)[N])
{
    for (const char *candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

template <std::size_t N>
bool startsWithOneOf(const QByteArray &name, const char *const (&prefixes)[N])
{
    for (const char *prefix : prefixes) {
        if (name.startsWith(prefix))
            return true;
    }
    return false;
}

void printError(const QString &message)
{
    std::fprintf(stderr, "skinpreview: %s\n", displayFileName(message).toUtf8().constData());
}

int usageError(const QString &message)
{
    printError(message);
    std::fputs(SkinpreviewUsage, stderr);
    return 2;
}

// The folder as an absolute, cleaned path, or nothing after saying on
// standard error why it is no folder.
std::optional<QString> skinFolder(const QByteArray &argument)
{
    const QString given = textFromFileName(argument);
    QString path = given.startsWith(QLatin1Char('/')) ? given : workingDirectory() + QLatin1Char('/') + given;
    struct stat status;
    if (argument.isEmpty() || ::stat(fileNameFromText(path).constData(), &status) != 0) {
        const int error = argument.isEmpty() ? ENOENT : errno;
        printError(QStringLiteral("%1: %2").arg(given, error == ENOENT || error == ENOTDIR
                                                           ? QStringLiteral("no such folder")
                                                           : QString::fromLocal8Bit(std::strerror(error))));
        return std::nullopt;
    }
    if (!S_ISDIR(status.st_mode)) {
        printError(QStringLiteral("%1: not a folder").arg(given));
        return std::nullopt;
    }
    return QDir::cleanPath(path);
}

} // namespace

CommandLine readCommandLine(int argc, char **argv)
{
    CommandLine command;
    command.qtArgv.push_back(argv[0]);
    std::optional<QByteArray> folder;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        const bool isOption = !optionsEnd && argument.size() > 1 && argument.startsWith('-');
        if (!isOption) {
            if (folder) {
                command.exitStatus = usageError(QStringLiteral("more than one FOLDER given"));
                return command;
            }
            folder = argument;
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
        } else if (argument == "-h" || argument == "--help") {
            std::fputs(SkinpreviewUsage, stdout);
            command.exitStatus = 0;
            return command;
        } else if (argument == "--version") {
            std::fputs("skinpreview " SKINPREVIEW_VERSION "\n", stdout);
            command.exitStatus = 0;
            return command;
        } else {
            const QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
            if (isOneOf(name, QtOptionsWithValue)) {
                if (i + 1 >= argc) {
                    command.exitStatus = usageError(QStringLiteral("option '%1' needs a value")
                                                        .arg(textFromFileName(argument)));
                    return command;
                }
                command.qtArgv.push_back(argv[i]);
                command.qtArgv.push_back(argv[++i]);
            } else if (isOneOf(name, QtFlags) || startsWithOneOf(name, QtOptionsWithAttachedValue)) {
                command.qtArgv.push_back(argv[i]);
            } else {
                command.exitStatus = usageError(QStringLiteral("unknown option '%1'").arg(textFromFileName(argument)));
                return command;
            }
        }
    }
    if (folder) {
        const std::optional<QString> path = skinFolder(*folder);
        if (!path) {
            command.exitStatus = 2;
            return command;
        }
        command.skinFolder = *path;
    }
    command.qtArgc = int(command.qtArgv.size());
    command.qtArgv.push_back(nullptr);
    return command;
}
