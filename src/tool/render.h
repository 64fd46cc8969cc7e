#pragma once

#include <QImage>
#include <QString>

#include <vector>

class QCommandLineParser;

namespace skintool {

// One picture of a skin as the program's windows draw it.
struct Rendering
{
    QString fileName; // "preview.png", ...
    QImage image;
};

// What the program shows after the selector closes on folder (an absolute
// path), starting from the built-in pictures: the preview window with no
// panel and no highlight, after a click on each settings item, and the
// selector showing the folder. Only the first when previewOnly. With
// guides, each is followed by the same window with its guides on
// ("preview-guides.png", ...). The real windows draw them; "lastpath.skin"
// and the default skins folder are neither read nor written.
std::vector<Rendering> renderFolder(const QString &folder, bool previewOnly = false, bool guides = false);

// Makes the working directory "/" so that the selector's lists, which start
// at the working directory, always move to the folder shown (render and
// sheet make every path absolute first).
void leaveWorkingDirectory();

// "skintool render [--out DIR] [--guides] FOLDER..."
void addRenderOptions(QCommandLineParser &parser);
int runRender(const QCommandLineParser &parser);

} // namespace skintool
