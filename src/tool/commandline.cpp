#include "tool/commandline.h"

#include "files/archive.h"
#include "files/filename.h"
#include "pictures/picturememory.h"
#include "tool/check.h"
#include "tool/interrupt.h"
#include "tool/orderedwork.h"
#include "tool/pack.h"
#include "tool/render.h"
#include "tool/sheet.h"
#include "tool/template.h"
#include "tool/terminal.h"

#include <QApplication>

#include <algorithm>
#include <memory>

namespace skintool {

namespace {

const char Usage[] =
    "Usage: skintool COMMAND [OPTION]... FOLDER...\n"
    "Check skin folders, or draw them with skinpreview's own windows.\n"
    "\n"
    "Commands:\n"
    "  check [--json | --oneline] [--strict] [--watch] FOLDER...\n"
    "                       report what each slot shows and every problem found\n"
    "  render [--out DIR] [--guides] [-j N] FOLDER...\n"
    "                       write PNG pictures of the windows\n"
    "  sheet --out FILE.png [--columns N] [--size WxH] [--panels] [-j N] FOLDER...\n"
    "                       write a contact sheet of the skins\n"
    "  template [--out DIR]\n"
    "                       write a new skin to start from\n"
    "  pack --out NAME.zip [--force] FOLDER\n"
    "                       write the skin's files as a zip to share\n"
    "\n"
    "  -h, --help     show this help, or a command's: skintool COMMAND --help\n"
    "      --version  show the version\n"
    "\n"
    "Exit status: 0 if all is well, 1 if check finds an error (or a warning\n"
    "with --strict), 2 on a usage error, a FOLDER that cannot be read, or\n"
    "output that cannot be written. See skintool(1).\n";

struct Command
{
    const char *name;
    const char *usage;
    bool drawsWindows;
    std::span<const OptionSpec> options;
    int (*run)(const Arguments &);
    bool takesFolders = true;
};

const Command Commands[] = {
    {"check",
     "Usage: skintool check [--json | --oneline] [--strict] [--watch] FOLDER...\n"
     "Report, for each skin folder, the file that ends up in each slot and every\n"
     "problem found, each with a code and a severity, errors first. Writes\n"
     "nothing.\n"
     "\n"
     "      --json     one JSON document for all folders\n"
     "      --oneline  one line a problem: PATH: error: CODE: message\n"
     "      --strict   warnings fail the check too (exit status 1)\n"
     "      --watch    check again after every change, until Ctrl-C\n"
     "  -h, --help     show this help\n",
     false, checkOptions(), runCheck},
    {"render",
     "Usage: skintool render [--out DIR] [--guides] [-j N] FOLDER...\n"
     "Write preview.png, desktop-settings.png, screensaver-settings.png,\n"
     "advanced-settings.png and selector.png for each skin folder into a\n"
     "subfolder of DIR named after the folder.\n"
     "\n"
     "      --out DIR  write into DIR (default: the working directory)\n"
     "      --guides   also write NAME-guides.png beside each: the window with\n"
     "                 its guides on, as Ctrl+G shows them\n"
     "  -j, --jobs N   encode on N threads while the next skin is drawn\n"
     "                 (default: the number of cores); the files are the same\n"
     "  -h, --help     show this help\n",
     true, renderOptions(), runRender},
    {"sheet",
     "Usage: skintool sheet --out FILE.png [OPTION]... FOLDER...\n"
     "Write one contact sheet: each skin's preview with a label that tells it\n"
     "apart and, for a skin with problems, the counts of its errors (red) and\n"
     "warnings (amber) as check finds them.\n"
     "\n"
     "      --out FILE   the PNG file to write\n"
     "      --columns N  skins in a row (default: up to 5)\n"
     "      --size WxH   the size of each picture (default: 200x150)\n"
     "      --panels     each skin's three panels beside its preview\n"
     "  -j, --jobs N     check, scale and compress on N threads while the next\n"
     "                   skin is drawn (default: the number of cores); the\n"
     "                   sheet is the same\n"
     "  -h, --help       show this help\n",
     true, sheetOptions(), runSheet},
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
     true, templateOptions(), runTemplate, false},
    {"pack",
     "Usage: skintool pack --out NAME.zip [--force] FOLDER\n"
     "Write the skin in FOLDER as a zip: the files that its slots load, found\n"
     "as the program finds them, at the zip's root under the names the slots\n"
     "look for, so that every unpacker and skinpreview read it alike. The same\n"
     "files always give the same bytes. Writes nothing when check finds an\n"
     "error.\n"
     "\n"
     "      --out NAME.zip  the zip to write\n"
     "      --force         pack it even when check finds errors\n"
     "  -h, --help          show this help\n",
     false, packOptions(), runPack},
};

const OptionSpec HelpOption{"help", nullptr};

// Qt's own notes (the offscreen platform cannot raise windows, and so on)
// are not the user's business; skintool says what matters itself.
void onlySeriousMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

int usageError(const QString &message, const char *usage)
{
    return ::usageError(ProgramName, message, usage);
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : Commands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

// Everything after parsing the command line; its status.
int runCommand(const Command &command, const Arguments &arguments, int argc, char **argv)
{
    if (arguments.isSet(QStringLiteral("help"))) {
        printOut(QString::fromLatin1(command.usage));
        return 0;
    }
    if (command.takesFolders && arguments.positionalArguments().isEmpty())
        return usageError(arguments, QStringLiteral("no FOLDER given"));
    if (!command.takesFolders && !arguments.positionalArguments().isEmpty())
        return usageError(arguments,
                          QStringLiteral("unexpected argument '%1'").arg(shownName(arguments.positionalArguments().first())));

    qInstallMessageHandler(onlySeriousMessages);
    setFreedPictureMemory(FreedPictureMemory::StaysForTheNextSkin);
    nameLocalTimeZone();
    removeTemporaryFileOnInterrupt();
    // Qt gets the program's name alone: every other argument is skintool's,
    // and a FOLDER named like one of Qt's options (-reverse, -platform)
    // must not reach it as one.
    int qtArgc = 1;
    char *qtArgv[] = {argc > 0 ? argv[0] : const_cast<char *>("skintool"), nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (command.drawsWindows) {
        // The windows draw off screen, whatever the environment says: no
        // display is needed, and the pictures do not depend on one.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(qtArgc, qtArgv);
    } else {
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    }
    return command.run(arguments);
}

int runArguments(const QStringList &arguments, int argc, char **argv)
{
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
    const Command *command = findCommand(first);
    if (!command) {
        return usageError(first.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option '%1'").arg(shownName(first))
                                                             : QStringLiteral("unknown command '%1'").arg(shownName(first)),
                          Usage);
    }
    std::vector<OptionSpec> options(command->options.begin(), command->options.end());
    options.push_back(HelpOption);
    QString error;
    std::optional<ParsedOptions> parsed = ParsedOptions::parse(arguments.mid(2), options, &error);
    if (!parsed)
        return usageError(QStringLiteral("%1: %2").arg(first, error), command->usage);
    return runCommand(*command, Arguments(first, std::move(*parsed)), argc, argv);
}

} // namespace

int usageError(const Arguments &arguments, const QString &message)
{
    const Command *command = findCommand(arguments.command());
    return usageError(QStringLiteral("%1: %2").arg(arguments.command(), message), command ? command->usage : Usage);
}

std::optional<int> wholeNumberOption(const Arguments &arguments, const QString &name, int least, int most)
{
    const QString text = arguments.value(name);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= least && value <= most)
        return value;
    usageError(arguments, QStringLiteral("option '--%1' needs a whole number from %2 to %3, not '%4'")
                              .arg(name)
                              .arg(least)
                              .arg(most)
                              .arg(shownName(text)));
    return std::nullopt;
}

std::optional<int> jobsOption(const Arguments &arguments)
{
    const QString name = QLatin1String(JobsOption.name);
    if (!arguments.isSet(name))
        return std::min(defaultJobs(), MostJobs);
    return wholeNumberOption(arguments, name, 1, MostJobs);
}

int run(int argc, char **argv)
{
    // Arguments are bytes: a FOLDER's name need not be UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(textFromFileName(QByteArray(argv[i])));
    const int status = runArguments(arguments, argc, argv);
    // Output that did not reach standard output is a failure, whatever the
    // command found.
    return closeOutput() ? status : 2;
}

} // namespace skintool
