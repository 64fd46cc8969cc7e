#include "tool/sheet.h"

#include "runtime/filename.h"
#include "tool/folders.h"
#include "tool/png.h"
#include "tool/render.h"
#include "tool/terminal.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFontMetrics>
#include <QPainter>

namespace skintool {

namespace {

constexpr QSize Thumbnail(200, 150);
constexpr int Margin = 12;
constexpr int NameHeight = 22;
constexpr int MaxColumns = 5;
const QColor SheetColour(0xf4, 0xf4, 0xf4);
const QColor NameColour(0x30, 0x30, 0x30);
const QColor FrameColour(0xb0, 0xb0, 0xb0);

} // namespace

QImage contactSheet(const std::vector<std::pair<QString, QImage>> &previews)
{
    const int count = int(previews.size());
    const int columns = std::clamp(count, 1, MaxColumns);
    const int rows = std::max(1, (count + columns - 1) / columns);
    const QSize cell(Thumbnail.width() + Margin, Thumbnail.height() + NameHeight + Margin);
    QImage sheet(columns * cell.width() + Margin, rows * cell.height() + Margin, QImage::Format_RGB32);
    sheet.fill(SheetColour);

    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setHintingPreference(QFont::PreferFullHinting);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (int i = 0; i < count; ++i) {
        const QPoint corner(Margin + (i % columns) * cell.width(), Margin + (i / columns) * cell.height());
        const QImage thumbnail = previews[i].second.scaled(Thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(corner, thumbnail);
        painter.setPen(FrameColour);
        painter.drawRect(QRect(corner, Thumbnail).adjusted(-1, -1, 0, 0));
        painter.setPen(NameColour);
        const QRect nameBox(corner + QPoint(0, Thumbnail.height()), QSize(Thumbnail.width(), NameHeight));
        painter.drawText(nameBox, Qt::AlignHCenter | Qt::AlignVCenter,
                         metrics.elidedText(previews[i].first, Qt::ElideMiddle, Thumbnail.width()));
    }
    return sheet;
}

void addSheetOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("out"), QStringLiteral("Write the sheet to FILE (PNG)."), QStringLiteral("FILE")});
}

int runSheet(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("out"))) {
        printError(QStringLiteral("sheet: --out FILE.png is required"));
        return 2;
    }
    const QString out = parser.value(QStringLiteral("out"));
    const QString outFile = absolutePath(out);
    std::vector<std::pair<QString, QString>> folders; // name, absolute path
    bool allFolders = true;
    for (const QString &folder : parser.positionalArguments()) {
        if (!checkFolderArgument(folder)) {
            allFolders = false;
            continue;
        }
        folders.emplace_back(displayFileName(lastComponent(folder)), QDir::cleanPath(absolutePath(folder)));
    }
    if (!allFolders)
        return 2;
    leaveWorkingDirectory();
    std::vector<std::pair<QString, QImage>> previews;
    for (const auto &[name, folder] : folders)
        previews.emplace_back(name, renderFolder(folder, true).front().image);
    QString error;
    if (!writePng(outFile, contactSheet(previews), &error)) {
        printError(QStringLiteral("%1: %2").arg(out, error));
        return 2;
    }
    return 0;
}

} // namespace skintool
