#include "skin/skinfiles.h"

#include "files/error.h"
#include "files/folder.h"

#include <map>

QString fileName(const SkinFile &file)
{
    return QString::fromLatin1(file.name).mid(1);
}

void LoadSteps(std::span<const SkinFile> steps, Folder &folder, SlotTarget &target)
{
    struct Outcome
    {
        bool loaded = false;
        QString broken;
    };
    std::map<Slot, Outcome> outcomes;
    for (const SkinFile &file : steps) {
        Outcome &outcome = outcomes[file.slot];
        QString name = fileName(file);
        try {
            name = folder.resolve(fileName(file));
            target.reading(file, folder, name);
            target.loadFile(file.slot, folder, name);
            outcome.loaded = true;
        } catch (const PictureError &error) {
            if (error.kind() != PictureError::Kind::NotFound)
                outcome.broken = folder.pathOf(name);
            target.notLoaded(file, error);
        } catch (const RuntimeError &) {
            // Skipped like any failing step.
        }
    }
    for (const auto &[slot, outcome] : outcomes) {
        if (!outcome.loaded)
            target.kept(slot, folder.path(), outcome.broken);
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
