#include "skin/skinfiles.h"

#include "runtime/error.h"
#include "runtime/filesystem.h"

#include <span>

namespace {

// Runs the steps in order, each under skip-on-failure. The folder is listed
// at most once, for names that differ from the files' only in letter case.
void loadSteps(std::span<const SkinFile> steps, const QString &skinFolder, SlotTarget &target)
{
    CaseInsensitiveFolder folder(skinFolder);
    for (const SkinFile &file : steps) {
        try {
            const QString path = folder.resolve(QString::fromLatin1(file.name).mid(1));
            target.reading(file, path);
            target.put(file.slot, LoadPicture(path));
        } catch (const RuntimeError &error) {
            target.notLoaded(file, QString::fromUtf8(error.what()));
        }
    }
}

} // namespace

void ApplySkin(SlotTarget &preview, const QString &skinFolder)
{
    loadSteps(ApplySkinSteps, skinFolder, preview);
}

void LoadBackgroundPreview(SlotTarget &selector, const QString &skinFolder)
{
    loadSteps(BackgroundPreviewSteps, skinFolder, selector);
}
