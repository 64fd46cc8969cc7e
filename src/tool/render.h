#pragma once

#include "tool/check.h"
#include "tool/commandline.h"

#include <QImage>
#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace skintool {

// One picture of a skin as the program's windows draw it.
struct Rendering
{
    QString fileName; // "preview.png", ...
    QImage image;
};

// What the program shows after the selector closes on folder (an absolute
// path as resolvedFolder() gives it), starting from the built-in pictures:
// the preview window with no panel and no highlight, after a click on each settings item, and the
// selector showing the folder. Only the first when previewOnly. With
// guides, each is followed by the same window with its guides on
// ("preview-guides.png", ...). The real windows draw them; "lastpath.skin"
// and the default skins folder are neither read nor written.
// The skin's pictures, where check has just loaded them (checkFolder's
// loaded), go into the preview window as they are, instead of being read
// again: a zipped skin is then inflated once.
std::vector<Rendering> renderFolder(const QString &folder, bool previewOnly = false, bool guides = false,
                                    const std::vector<LoadedPicture> *loaded = nullptr);

// Makes the working directory "/" so that the selector's lists, which start
// at the working directory, always move to the folder shown (render and
// sheet make every path absolute first).
void leaveWorkingDirectory();

// Writes the pictures into the folder outFolder (made if missing, with
// its parents); any thread may. On failure, returns the message that says
// why, naming the folder as shownFolder; what is written stays, and a
// folder made for nothing goes again.
std::optional<QString> writeRenderings(const std::vector<Rendering> &pictures, const QString &outFolder,
                                       const QString &shownFolder);

// "skintool render [--out DIR] [--guides] [-j N] FOLDER..."
std::span<const OptionSpec> renderOptions();
int runRender(const Arguments &arguments);

} // namespace skintool
