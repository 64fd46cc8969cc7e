#pragma once

#include "pictures/picture.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>

class Folder;
class FolderListing;

// The image slots that a skin folder fills.
enum class Slot {
    PreviewBackground,   // Form1's window background
    SelectorBackground,  // Form2's window background
    Sticker,             // Form1's Picture1
    DesktopPanel,        // Form1's Picture2
    ScreenSaverPanel,    // Form1's Picture3
    AdvancedPanel,       // Form1's Picture4
};

// One loading step: the file whose picture goes into the slot. The name
// follows the folder text directly.
struct SkinFile
{
    Slot slot;
    const char *name;
};

// The name of a step's file within its folder, without the separator that
// begins it: "background.bmp".
QString fileName(const SkinFile &file);

// The names of a skin's files, each once, in the order the preview window
// loads them.
QStringList skinFileNames();

// The files of a skin in the order they are loaded into the preview window.
// A later load wins, so a plain name overrides its "_us" twin whenever both
// load, and the "_us" file shows when the plain one is missing or broken.
inline constexpr SkinFile ApplySkinSteps[] = {
    {Slot::PreviewBackground, "/background_us.bmp"},
    {Slot::PreviewBackground, "/background.bmp"},
    {Slot::Sticker, "/sticker_background.bmp"},
    {Slot::DesktopPanel, "/backsettings_us.bmp"},
    {Slot::ScreenSaverPanel, "/backscreensaver_us.bmp"},
    {Slot::AdvancedPanel, "/backadvanced_us.bmp"},
    {Slot::DesktopPanel, "/backsettings.bmp"},
    {Slot::ScreenSaverPanel, "/backscreensaver.bmp"},
    {Slot::AdvancedPanel, "/backadvanced.bmp"},
};

// The files that preview a folder's background in the selector.
inline constexpr SkinFile BackgroundPreviewSteps[] = {
    {Slot::SelectorBackground, "/background_us.bmp"},
    {Slot::SelectorBackground, "/background.bmp"},
};

// How large each slot is, and how large the picture made for it is: the
// built-in sticker is four pixels taller than its box and each built-in
// panel one pixel wider and taller, the excess cut off. A skin picture
// smaller than its slot leaves a strip of the slot's background colour.
struct SlotSize
{
    Slot slot;
    QSize box;
    QSize designed;
};

inline constexpr SlotSize SlotSizes[] = {
    {Slot::PreviewBackground, {800, 600}, {800, 600}},
    {Slot::SelectorBackground, {800, 600}, {800, 600}},
    {Slot::Sticker, {178, 357}, {178, 361}},
    {Slot::DesktopPanel, {615, 599}, {616, 600}},
    {Slot::ScreenSaverPanel, {615, 599}, {616, 600}},
    {Slot::AdvancedPanel, {615, 599}, {616, 600}},
};

// Where a load sequence puts what it loads: the preview window for
// ApplySkin, the selector for the background preview, or anything else
// that wants to know what a folder would show. A target learns of every
// step in order: reading() with the entry the step reads (after the
// letter-case lookup), then either loadFile(), which puts the picture, or
// notLoaded() with the loader's reason. A slot none of whose files loads
// keeps what it had, and its target learns so from kept().
class SlotTarget
{
public:
    virtual ~SlotTarget() = default;

    virtual void put(Slot slot, const Picture &picture) = 0;

    // Loads the folder's entry name into the slot, or raises PictureError.
    // The picture is decoded now and put; a target may instead read the
    // file now and decode it when it is first needed.
    virtual void loadFile(Slot slot, Folder &folder, const QString &name) { put(slot, LoadPicture(folder, name)); }

    // Only a target that keeps a record of the steps needs these.
    virtual void reading(const SkinFile &file, Folder &folder, const QString &name)
    {
        (void)file, (void)folder, (void)name;
    }
    virtual void notLoaded(const SkinFile &file, const PictureError &reason) { (void)file, (void)reason; }

    // After a load from folder into slot in which none of its files loaded:
    // the slot keeps its picture. broken is the path of the last of its
    // files that is there and does not load, empty when none of them is.
    virtual void kept(Slot slot, const QString &folder, const QString &broken)
    {
        (void)slot, (void)folder, (void)broken;
    }
};

// Runs loading steps on a folder's files in order, each on its own: a file
// that is missing or does not load leaves its slot as it was. Every file is
// read anew; the folder is listed at most once, for names that differ from
// the files' only in letter case.
void LoadSteps(std::span<const SkinFile> steps, Folder &folder, SlotTarget &target);

// Whether a folder holds any of the skin's files, by the letter-case rule
// of the loading steps.
bool holdsSkinFile(Folder &folder);

// The folder that holds the skin at path: path itself, unless it holds none
// of the skin's files and a single subfolder (junk that archivers add
// passed over) that holds some. That is how skins are most often packed:
// "Ember.zip" holding "Ember/background.bmp", and the folder unpacked from
// it. A listing of path read for the same event, if given, serves instead
// of reading it again.
std::unique_ptr<Folder> openSkinFolder(const QString &path, const FolderListing *listing = nullptr);

// Loads the skin in skinFolder into the preview window's slots.
void ApplySkin(SlotTarget &preview, const QString &skinFolder);

// Loads skinFolder's background into the selector's window background, the
// same way; the selector reads each file now and decodes it when the
// background is next drawn or asked for. A listing of skinFolder read for
// the same event, if given, serves the letter-case look-ups instead of
// reading the folder again.
void LoadBackgroundPreview(SlotTarget &selector, const QString &skinFolder,
                           const FolderListing *listing = nullptr);
