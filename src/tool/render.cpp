#include "tool/render.h"

#include "app/forms.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/skinfiles.h"
#include "tool/folders.h"
#include "tool/orderedwork.h"
#include "tool/png.h"
#include "tool/terminal.h"

#include <QCoreApplication>
#include <QDir>

namespace skintool {

namespace {

// The preview window's settings items and the picture each click makes.
struct MenuShot
{
    const char *fileName;
    Label &(Form1::*item)();
};

constexpr MenuShot MenuShots[] = {
    {"desktop-settings", &Form1::Label3},
    {"screensaver-settings", &Form1::Label4},
    {"advanced-settings", &Form1::Label5},
};

// The form's window as it shows now, and then with its guides on, if wanted.
void takeShots(std::vector<Rendering> &pictures, Form &form, const char *fileName, bool guides)
{
    const QString name = QString::fromLatin1(fileName);
    pictures.push_back({name + QStringLiteral(".png"), form.snapshot()});
    if (!guides)
        return;
    form.setGuidesShown(true);
    pictures.push_back({name + QStringLiteral("-guides.png"), form.snapshot()});
    form.setGuidesShown(false);
}

} // namespace

void leaveWorkingDirectory()
{
    QDir::setCurrent(QStringLiteral("/"));
}

std::vector<Rendering> renderFolder(const QString &folder, bool previewOnly, bool guides,
                                    const std::vector<LoadedPicture> *loaded)
{
    // Fresh windows for every skin: the built-in pictures, nothing of an
    // earlier skin. The preview window is loaded as designed, without its
    // start-up handler, which would read "lastpath.skin".
    releaseForms();
    Form1 &preview = form1();
    preview.loadDesign();
    if (loaded) {
        SlotTarget &target = preview;
        for (const LoadedPicture &picture : *loaded)
            target.put(picture.slot, picture.picture);
    } else {
        ApplySkin(preview, folder);
    }

    // Drawn while hidden: a shown window would also paint every change
    // into its own backing store, which nobody sees here.
    std::vector<Rendering> pictures;
    takeShots(pictures, preview, "preview", guides);
    if (!previewOnly) {
        for (const MenuShot &menu : MenuShots) {
            preview.click((preview.*menu.item)());
            takeShots(pictures, preview, menu.fileName, guides);
        }
        // The selector as it loads after closing on the folder: back at it,
        // its files listed and its background previewed.
        // It is shown, as the program shows it: active, its folder list
        // holding the focus and laid out.
        Form2 &selector = form2();
        selector.SkinFolder = folder;
        selector.show();
        QCoreApplication::processEvents();
        takeShots(pictures, selector, "selector", guides);
    }
    releaseForms();
    return pictures;
}

std::optional<QString> writeRenderings(const std::vector<Rendering> &pictures, const QString &outFolder,
                                       const QString &shownFolder)
{
    const bool made = !pathExists(outFolder);
    if (const int error = makeFolders(outFolder))
        return QStringLiteral("%1: cannot make the folder: %2").arg(shownName(shownFolder), systemReason(error));
    for (const Rendering &picture : pictures) {
        QString error;
        if (!writePng(outFolder + QLatin1Char('/') + picture.fileName, picture.image, &error)) {
            if (made)
                removeEmptyFolder(outFolder); // only if nothing went in
            return QStringLiteral("%1: %2").arg(shownName(QDir(shownFolder).filePath(picture.fileName)), error);
        }
    }
    return std::nullopt;
}

std::span<const OptionSpec> renderOptions()
{
    static const OptionSpec options[] = {{"out", "DIR"}, {"guides", nullptr}, JobsOption};
    return options;
}

int runRender(const Arguments &arguments)
{
    const std::optional<int> threads = jobsOption(arguments);
    if (!threads)
        return 2;
    const QString out = arguments.isSet(QStringLiteral("out")) ? arguments.value(QStringLiteral("out"))
                                                               : QStringLiteral(".");
    const QString outFolder = absolutePath(out);
    if (const int error = makeFolders(outFolder)) {
        printError(QStringLiteral("%1: cannot make the folder: %2").arg(shownName(out), systemReason(error)));
        return 2;
    }
    struct Job
    {
        QString folder;  // resolved
        QString outName;
    };
    std::vector<Job> jobs;
    bool allWritten = true;
    OutputNames names;
    for (const QString &skin : usableSkins(arguments.positionalArguments(), allWritten))
        jobs.push_back({resolvedFolder(skin), names.take(skin)});
    leaveWorkingDirectory();
    // The windows are drawn here, one skin after another; the pictures are
    // encoded and written on the other threads meanwhile, and their failures
    // said in the order of the folders. A folder whose output fails is
    // named, and the others are still drawn.
    OrderedWork writing(*threads > 1 ? *threads : 0);
    const bool guides = arguments.isSet(QStringLiteral("guides"));
    for (const Job &job : jobs) {
        writing.add([pictures = renderFolder(job.folder, false, guides), outFolder = outFolder + QLatin1Char('/') + job.outName,
                     shownFolder = QDir(out).filePath(job.outName), &allWritten]() -> OrderedWork::Delivery {
            const std::optional<QString> failure = writeRenderings(pictures, outFolder, shownFolder);
            if (!failure)
                return {};
            return [failure, &allWritten] {
                printError(*failure);
                allWritten = false;
            };
        });
    }
    writing.finish();
    return allWritten ? 0 : 2;
}

} // namespace skintool
