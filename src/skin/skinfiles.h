#pragma once

#include "runtime/picture.h"

#include <QString>

class FolderListing;
class Form;
class Form1;

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

// Loads the skin in skinFolder into the preview window's slots, each file
// on its own: a file that is missing or does not load leaves its slot as it
// was. Every file is read anew.
void ApplySkin(Form1 &preview, const QString &skinFolder);

// Loads skinFolder's background into the selector's window background, the
// same way; each file is read now and decoded when the background is next
// drawn or asked for (Form::loadPicture), which for the selector hidden
// during start-up is when it is first shown. A listing of skinFolder read
// for the same event, if given, is used for the letter-case look-ups
// instead of reading the folder again.
void LoadBackgroundPreview(Form &selector, const QString &skinFolder,
                           const FolderListing *listing = nullptr);
