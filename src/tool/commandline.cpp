#include "tool/commandline.h"

#include "runtime/filename.h"
#include "tool/check.h"
#include "tool/memory.h"
#include "tool/render.h"
#include "tool/sheet.h"
#include "tool/template.h"
#include "tool/terminal.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

namespace skintool {

namespace {

const char Usage[] =
    "Usage: skintool COMMAND [OPTION]... FOLDER...\n"
    "Check skin folders, or draw them with skinpreview's own windows.\n"
    "\n"
    "Commands:\n"
    "  check [--json] [--strict] [--watch] FOLDER...\n"
    "                                       report what each slot shows and\n"
    "                                       every problem found\n"
    "  render [--out DIR] [--guides] FOLDER...\n"
    "                                       write PNG pictures of the windows\n"
    "  sheet --out FILE.png FOLDER...       write a contact sheet of the skins\n"
    "  template [--out DIR]                 write a new skin to start from\n"
    "\n"
    "  -h, --help     show this help, or a command's: skintool COMMAND --help\n"
    "      --version  show the version\n"
    "\n"
    "Exit status: 0 if all is well, 1 if check finds an error (or a warning\n"
    "with --strict), 2 on a usage error, a FOLDER that is missing or not a\n"
    "folder, or output that cannot be written. See skintool(1).\n";

struct Command
{
    const char *name;
    const char *usage;
    bool drawsWindows;
    void (*addOptions)(QCommandLineParser &);
    int (*run)(const QCommandLineParser &);
    bool takesFolders = true;
};

const Command Commands[] = {
    {"check",
     "Usage: skintool check [--json] [--strict] [--watch] FOLDER...\n"
     "Report, for each skin folder, the file that ends up in each slot and every\n"
     "problem found, each with a code and a severity. Writes nothing.\n"
     "\n"
     "      --json     one JSON document for all folders\n"
     "      --strict   warnings fail the check too (exit status 1)\n"
     "      --watch    check again after every change, until Ctrl-C\n"
     "  -h, --help     show this help\n",
     false, addCheckOptions, runCheck},
    {"render",
     "Usage: skintool render [--out DIR] [--guides] FOLDER...\n"
     "Write preview.png, desktop-settings.png, screensaver-settings.png,\n"
     "advanced-settings.png and selector.png for each skin folder into a\n"
     "subfolder of DIR named after the folder.\n"
     "\n"
     "      --out DIR  write into DIR (default: the working directory)\n"
     "      --guides   also write NAME-guides.png beside each: the window with\n"
     "                 its guides on, as Ctrl+G shows them\n"
     "  -h, --help     show this help\n",
     true, addRenderOptions, runRender},
    {"sheet",
     "Usage: skintool sheet --out FILE.png FOLDER...\n"
     "Write one contact sheet: each skin's preview at 200 x 150 with its\n"
     "folder's name under it, in a grid.\n"
     "\n"
     "      --out FILE  the PNG file to write\n"
     "  -h, --help      show this help\n",
     true, addSheetOptions, runSheet},
    {"template",
     "Usage: skintool template [--out DIR]\n"
     "Write a new skin to start from into DIR: background.bmp,\n"
     "sticker_background.bmp, backsettings.bmp, backscreensaver.bmp and\n"
     "backadvanced.bmp, the built-in pictures as 24-bit uncompressed BMPs at\n"
     "their designed sizes, and in guides/ a transparent PNG for each with the\n"
     "guides that fall on it (the background's twice: background.png for the\n"
     "preview window, background-selector.png for the selector). Writes\n"
     "nothing if any of these files exists.\n"
     "\n"
     "      --out DIR  write into DIR (default: the working directory)\n"
     "  -h, --help     show this help\n",
     true, addTemplateOptions, runTemplate, false},
};

// Qt's own notes (the offscreen platform cannot raise windows, and so on)
// are not the user's business; skintool says what matters itself.
void onlySeriousMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

int usageError(const QString &message, const char *usage)
{
    printError(message);
    std::fputs(usage, stderr);
    return 2;
}

} // namespace

int run(int argc, char **argv)
{
    // Arguments are bytes: a FOLDER's name need not be UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(textFromFileName(QByteArray(argv[i])));
    const QString first = arguments.value(1);
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        printOut(QString::fromLatin1(Usage));
        return 0;
    }
    if (first == QLatin1String("--version")) {
        printOut(QStringLiteral("skintool " SKINTOOL_VERSION "\n"));
        return 0;
    }
    if (first.isEmpty())
        return usageError(QStringLiteral("no command given"), Usage);
    const Command *command = nullptr;
    for (const Command &candidate : Commands)
        if (first == QLatin1String(candidate.name))
            command = &candidate;
    if (!command) {
        return usageError(first.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option '%1'").arg(first)
                                                             : QStringLiteral("unknown command '%1'").arg(first),
                          Usage);
    }

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    command->addOptions(parser);
    if (command->takesFolders)
        parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("A skin folder."), QStringLiteral("FOLDER..."));
    if (!parser.parse(arguments.mid(1)))
        return usageError(parser.errorText(), command->usage);
    if (parser.isSet(help)) {
        printOut(QString::fromLatin1(command->usage));
        return 0;
    }
    if (command->takesFolders && parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("%1: no FOLDER given").arg(first), command->usage);
    if (!command->takesFolders && !parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("%1: unexpected argument '%2'").arg(first, parser.positionalArguments().first()),
                          command->usage);

    qInstallMessageHandler(onlySeriousMessages);
    reuseFreedMemory();
    std::unique_ptr<QCoreApplication> app;
    if (command->drawsWindows) {
        // The windows draw off screen, whatever the environment says: no
        // display is needed, and the pictures do not depend on one.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    return command->run(parser);
}

} // namespace skintool
