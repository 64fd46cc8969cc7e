#include "tool/template.h"

#include "app/forms.h"
#include "files/filename.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/skinfiles.h"
#include "tool/folders.h"
#include "tool/png.h"
#include "tool/skinslots.h"
#include "tool/terminal.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>

#include <unistd.h>

#include <vector>

namespace skintool {

namespace {

// One file of the template, relative to its folder, and what goes in it.
struct TemplateFile
{
    QString name;
    QByteArray content;
};

// The plain name of a slot's file: of its twins, the one loaded last.
QString plainFileName(Slot slot)
{
    QString name;
    for (const SkinFile &file : ApplySkinSteps)
        if (file.slot == slot)
            name = fileName(file);
    return name;
}

// A 24-bit uncompressed BMP with the classic 40-byte header, the kind that
// every program reading skins takes.
QByteArray encodeBmp(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32)))
        return {};
    return bytes;
}

QString guidesName(const QString &base)
{
    return QStringLiteral("guides/") + base + QStringLiteral(".png");
}

// Each slot's built-in picture, from the preview window as designed, under
// the slot's plain file name.
std::vector<TemplateFile> templatePictures()
{
    std::vector<TemplateFile> files;
    Form1 &preview = form1();
    preview.loadDesign();
    for (const NamedSlot &named : PreviewSlots) {
        PictureBox *box = preview.slotBox(named.slot);
        files.push_back({plainFileName(named.slot), encodeBmp(box ? box->picture() : preview.picture())});
    }
    return files;
}

// The guides of each picture, with the template's own pictures loaded, as
// the windows show them: the background's twice, once for each window.
std::vector<TemplateFile> templateGuides(const QString &folder)
{
    std::vector<TemplateFile> files;
    Form1 &preview = form1();
    ApplySkin(preview, folder);
    for (const NamedSlot &named : PreviewSlots) {
        PictureBox *box = preview.slotBox(named.slot);
        QWidget &scope = box ? static_cast<QWidget &>(*box) : preview.window();
        const QSize size = box ? box->picture().size() : preview.picture().size();
        const QString base = QFileInfo(plainFileName(named.slot)).completeBaseName();
        files.push_back({guidesName(base), encodePng(preview.guidesPicture(scope, size))});
    }
    Form2 &selector = form2();
    selector.SkinFolder = folder;
    selector.load();
    files.push_back({guidesName(QStringLiteral("background-selector")),
                     encodePng(selector.guidesPicture(selector.window(), selector.picture().size()))});
    return files;
}

// Writes a new file whole, or says why not.
bool writeNewFile(const QString &path, const QByteArray &content, QString *error)
{
    if (content.isEmpty()) {
        *error = QStringLiteral("cannot encode the picture");
        return false;
    }
    return writeFile(path, content, error);
}

// A path as one word that a shell takes back as the same path: as it is
// when plain, else in single quotes. A name with control characters is
// shown escaped instead, as every name that may not reach a terminal raw.
QString shellWord(const QString &path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:@%=,-]+$"));
    const QString word = path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
    if (escapedName(word) != word)
        return shownName(word);
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

} // namespace

std::span<const OptionSpec> templateOptions()
{
    static const OptionSpec options[] = {{"out", "DIR"}};
    return options;
}

int runTemplate(const Arguments &arguments)
{
    const QString out = arguments.isSet(QStringLiteral("out")) ? arguments.value(QStringLiteral("out"))
                                                               : QStringLiteral(".");
    const QString folder = QDir::cleanPath(absolutePath(out));
    auto shown = [&](const QString &name) { return QDir(out).filePath(name); };

    // Nothing is written over: one file in the way, and none is written.
    std::vector<TemplateFile> files = templatePictures();
    std::vector<QString> names;
    for (const TemplateFile &file : files)
        names.push_back(file.name);
    for (const NamedSlot &named : PreviewSlots)
        names.push_back(guidesName(QFileInfo(plainFileName(named.slot)).completeBaseName()));
    names.push_back(guidesName(QStringLiteral("background-selector")));
    for (const QString &name : names) {
        if (pathExists(folder + QLatin1Char('/') + name)) {
            printError(QStringLiteral("%1: already exists; nothing written").arg(shownName(shown(name))));
            return 2;
        }
    }

    const bool folderMade = !pathExists(folder);
    const QString guidesFolder = folder + QStringLiteral("/guides");
    const bool guidesFolderMade = !pathExists(guidesFolder);
    if (const int error = makeFolders(guidesFolder)) {
        printError(QStringLiteral("%1: cannot make the folder: %2")
                       .arg(shownName(shown(QStringLiteral("guides"))), systemReason(error)));
        if (folderMade)
            removeEmptyFolder(folder);
        return 2;
    }

    // The pictures first: the guides are drawn with them loaded, so they
    // name the template's own files.
    std::vector<QString> written;
    auto writeBatch = [&](const std::vector<TemplateFile> &batch) {
        for (const TemplateFile &file : batch) {
            QString error;
            if (!writeNewFile(folder + QLatin1Char('/') + file.name, file.content, &error)) {
                printError(QStringLiteral("%1: %2").arg(shownName(shown(file.name)), error));
                return false;
            }
            written.push_back(folder + QLatin1Char('/') + file.name);
        }
        return true;
    };
    const bool done = writeBatch(files) && writeBatch(templateGuides(folder));
    releaseForms();
    if (done) {
        const QString word = shellWord(out);
        printOut(QStringLiteral("Wrote %1 pictures of the built-in look, and their guides in guides/, to %2.\n"
                                "Next: skinpreview %2\n")
                     .arg(files.size())
                     .arg(word));
        return finishOutput() ? 0 : 2;
    }
    // What this run made goes again, so that a failed run leaves nothing.
    for (const QString &path : written)
        ::unlink(fileNameFromText(path).constData());
    if (guidesFolderMade)
        removeEmptyFolder(guidesFolder);
    if (folderMade)
        removeEmptyFolder(folder);
    return 2;
}

} // namespace skintool
