#include "skin/skinfiles.h"

#include "files/error.h"
#include "files/archive.h"
#include "files/folder.h"
#include "files/folderlisting.h"

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

QStringList skinFileNames()
{
    QStringList names;
    for (const SkinFile &file : ApplySkinSteps) {
        if (!names.contains(fileName(file)))
            names.append(fileName(file));
    }
    return names;
}

bool holdsSkinFile(Folder &folder)
{
    const QStringList names = skinFileNames();
    for (const QString &name : names) {
        if (folder.contains(name))
            return true;
    }
    return folder.listing().holdsAnyIgnoringCase(names);
}

std::unique_ptr<Folder> openSkinFolder(const QString &path, const FolderListing *listing)
{
    std::unique_ptr<Folder> folder = openFolder(path, listing);
    if (holdsSkinFile(*folder))
        return folder;
    const std::optional<QString> only = folder->listing().onlySubfolder();
    if (!only)
        return folder;
    std::unique_ptr<Folder> below = folder->subfolder(*only);
    return holdsSkinFile(*below) ? std::move(below) : std::move(folder);
}

void ApplySkin(SlotTarget &preview, const QString &skinFolder)
{
    LoadSteps(ApplySkinSteps, *openSkinFolder(skinFolder), preview);
}

void LoadBackgroundPreview(SlotTarget &selector, const QString &skinFolder, const FolderListing *listing)
{
    LoadSteps(BackgroundPreviewSteps, *openSkinFolder(skinFolder, listing), selector);
}
