#include "skin/skinfiles.h"

#include "files/error.h"
#include "files/folderlisting.h"

#include <span>

namespace {

// Runs the steps in order, each under skip-on-failure. The folder is listed
// at most once, for names that differ from the files' only in letter case,
// and not at all when a listing of it is at hand.
void loadSteps(std::span<const SkinFile> steps, const QString &skinFolder, const FolderListing *listing,
               SlotTarget &target)
{
    CaseInsensitiveFolder folder(skinFolder, listing);
    for (const SkinFile &file : steps) {
        try {
            const QString path = folder.resolve(QString::fromLatin1(file.name).mid(1));
            target.reading(file, path);
            target.loadFile(file.slot, path);
        } catch (const PictureError &error) {
            target.notLoaded(file, error);
        } catch (const RuntimeError &) {
            // Skipped like any failing step.
        }
    }
}

} // namespace

void ApplySkin(SlotTarget &preview, const QString &skinFolder)
{
    loadSteps(ApplySkinSteps, skinFolder, nullptr, preview);
}

void LoadBackgroundPreview(SlotTarget &selector, const QString &skinFolder, const FolderListing *listing)
{
    loadSteps(BackgroundPreviewSteps, skinFolder, listing, selector);
}
