#include "skin/skinfiles.h"

#include "preview/form1.h"
#include "runtime/error.h"
#include "runtime/filesystem.h"
#include "runtime/picturebox.h"

#include <span>

namespace {

void putIntoSlot(Form1 &preview, Slot slot, const Picture &picture)
{
    switch (slot) {
    case Slot::PreviewBackground:
        preview.setPicture(picture);
        break;
    case Slot::Sticker:
        preview.Picture1().setPicture(picture);
        break;
    case Slot::DesktopPanel:
        preview.Picture2().setPicture(picture);
        break;
    case Slot::ScreenSaverPanel:
        preview.Picture3().setPicture(picture);
        break;
    case Slot::AdvancedPanel:
        preview.Picture4().setPicture(picture);
        break;
    case Slot::SelectorBackground:
        break;
    }
}

// Runs the steps in order, each under skip-on-failure, handing each file's
// path to put. The folder is listed at most once, for names that differ from
// the files' only in letter case.
template <class Put>
void loadSteps(std::span<const SkinFile> steps, const QString &skinFolder, const FolderListing *listing,
               Put put)
{
    const SkipOnFailure step;
    CaseInsensitiveFolder folder(skinFolder, listing);
    for (const SkinFile &file : steps) {
        step([&] {
            const QString name = QString::fromLatin1(file.name).mid(1);
            put(file.slot, folder.resolve(name));
        });
    }
}

} // namespace

void ApplySkin(Form1 &preview, const QString &skinFolder)
{
    loadSteps(ApplySkinSteps, skinFolder, nullptr,
              [&](Slot slot, const QString &path) { putIntoSlot(preview, slot, LoadPicture(path)); });
}

void LoadBackgroundPreview(Form &selector, const QString &skinFolder, const FolderListing *listing)
{
    loadSteps(BackgroundPreviewSteps, skinFolder, listing,
              [&](Slot, const QString &path) { selector.loadPicture(path); });
}
