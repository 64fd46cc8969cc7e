#include "app/commandline.h"

#include "commandline/messages.h"
#include "commandline/options.h"
#include "files/archivefolder.h"
#include "files/filename.h"
#include "files/places.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

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
    "Keys in the preview window:\n"
    "  F5        load the applied skin again\n"
    "  Shift+F5  load it again from the built-in pictures, as a new user sees it\n"
    "  Ctrl+G    show or hide the guides (also in the Skin Selector)\n"
    "Keys in the Skin Selector:\n"
    "  F5        read its folder again\n"
    "  Enter     open the folder chosen in the folder list, as a double click does\n"
    "Folders on network file systems may report no changes: press F5 there.\n"
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

const OptionSpec Options[] = {{"help"}, {"version"}};

template <std::size_t N>
bool isOneOf(const QString &name, const char *const (&names)[N])
{
    for (const char *candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

template <std::size_t N>
bool startsWithOneOf(const QString &name, const char *const (&prefixes)[N])
{
    for (const char *prefix : prefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

// Qt's own options, which go on to Qt as they are given, with their values.
int qtOption(const QStringList &arguments, qsizetype index)
{
    const QString &argument = arguments[index];
    const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    if (isOneOf(name, QtOptionsWithValue))
        return index + 1 < arguments.size() ? 2 : -1;
    if (isOneOf(name, QtFlags) || startsWithOneOf(name, QtOptionsWithAttachedValue))
        return 1;
    return 0;
}

void printError(const QString &message)
{
    printError(ProgramName, message);
}

int usageError(const QString &message)
{
    return usageError(ProgramName, message, SkinpreviewUsage);
}

// The folder as an absolute, cleaned path, or nothing after saying on
// standard error why it is no folder.
std::optional<QString> skinFolder(const QString &given)
{
    // The system judges the path as given; ".." is then taken its way.
    const QString path = given.startsWith(QLatin1Char('/')) ? given : workingDirectory() + QLatin1Char('/') + given;
    if (!given.isEmpty() && isFolderInArchive(resolvedFolder(path)))
        return resolvedFolder(path);
    struct stat status;
    if (given.isEmpty() || ::stat(fileNameFromText(path).constData(), &status) != 0) {
        const int error = given.isEmpty() ? ENOENT : errno;
        printError(QStringLiteral("%1: %2").arg(given, error == ENOENT || error == ENOTDIR
                                                           ? QStringLiteral("no such folder")
                                                           : systemReason(error)));
        return std::nullopt;
    }
    if (!S_ISDIR(status.st_mode)) {
        printError(QStringLiteral("%1: not a folder").arg(given));
        return std::nullopt;
    }
    return resolvedFolder(path);
}

} // namespace

CommandLine readCommandLine(int argc, char **argv)
{
    CommandLine command;
    // Arguments are bytes: a FOLDER's name need not be UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(textFromFileName(QByteArray(argv[i])));
    QString error;
    const std::optional<ParsedOptions> parsed = ParsedOptions::parse(arguments, Options, &error, qtOption);
    if (!parsed) {
        command.exitStatus = usageError(error);
        return command;
    }
    if (parsed->isSet(QStringLiteral("help"))) {
        std::fputs(SkinpreviewUsage, stdout);
        command.exitStatus = 0;
        return command;
    }
    if (parsed->isSet(QStringLiteral("version"))) {
        std::fputs("skinpreview " SKINPREVIEW_VERSION "\n", stdout);
        command.exitStatus = 0;
        return command;
    }
    if (parsed->operands().size() > 1) {
        command.exitStatus = usageError(QStringLiteral("more than one FOLDER given"));
        return command;
    }
    if (!parsed->operands().isEmpty()) {
        const std::optional<QString> path = skinFolder(parsed->operands().first());
        if (!path) {
            command.exitStatus = 2;
            return command;
        }
        command.skinFolder = *path;
    }
    command.qtArgv.push_back(argv[0]);
    for (const qsizetype index : parsed->foreign())
        command.qtArgv.push_back(argv[index + 1]);
    command.qtArgc = int(command.qtArgv.size());
    // Qt's options stand in qtArgv as given, each followed by its value if
    // it takes one.
    for (int i = 1; i < command.qtArgc; ++i) {
        const QString option = textFromFileName(QByteArray(command.qtArgv[std::size_t(i)]));
        const QString name = option.mid(option.startsWith(QLatin1String("--")) ? 2 : 1);
        if (i + 1 >= command.qtArgc || qtOption({option, QString()}, 0) != 2)
            continue;
        const std::string value = command.qtArgv[std::size_t(++i)];
        if (name == QLatin1String("platform"))
            command.qtPlatform = value;
        else if (name == QLatin1String("display"))
            command.qtDisplay = value;
    }
    command.qtArgv.push_back(nullptr);
    return command;
}
