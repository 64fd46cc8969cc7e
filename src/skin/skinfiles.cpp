#include "skin/skinfiles.h"

#include "files/error.h"
#include "files/folder.h"

QString fileName(const SkinFile &file)
{
    return QString::fromLatin1(file.name).mid(1);
}

void LoadSteps(std::span<const SkinFile> steps, Folder &folder, SlotTarget &target)
{
    for (const SkinFile &file : steps) {
        try {
            const QString name = folder.resolve(fileName(file));
            target.reading(file, folder, name);
            target.loadFile(file.slot, folder, name);
        } catch (const PictureError &error) {
            target.notLoaded(file, error);
        } catch (const RuntimeError &) {
            // Skipped like any failing step.
        }
    }
}

void ApplySkin(SlotTarget &preview, const QString &skinFolder)
{
    LoadSteps(ApplySkinSteps, *openFolder(skinFolder), preview);
}

void LoadBackgroundPreview(SlotTarget &selector, const QString &skinFolder, const FolderListing *listing)
{
    LoadSteps(BackgroundPreviewSteps, *openFolder(skinFolder, listing), selector);
}
