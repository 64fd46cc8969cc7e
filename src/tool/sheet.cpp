#include "tool/sheet.h"

#include "files/filename.h"
#include "tool/check.h"
#include "tool/folders.h"
#include "tool/orderedwork.h"
#include "tool/png.h"
#include "tool/render.h"
#include "tool/terminal.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <utility>

namespace skintool {

namespace {

constexpr QSize DefaultThumbnail(200, 150);
constexpr QSize SmallestThumbnail(16, 12);
constexpr QSize LargestThumbnail(800, 600); // the window's own size
constexpr int Margin = 12;
constexpr int NameHeight = 22;
constexpr int PanelGap = 4;
constexpr int DefaultColumns = 5;
constexpr int MostColumns = 1000;
// The largest sheet written, so that common PNG readers open it: at most
// 16,384 pixels wide (the widest that image tools' default limits and
// graphics cards take), and at most 2^26 pixels in all (256 MiB at four
// bytes a pixel, which is as much as Qt's image reader takes by default).
constexpr qint64 WidestSheet = 16384;
constexpr qint64 LargestSheet = qint64(1) << 26;
const QColor SheetColour(0xf4, 0xf4, 0xf4);
const QColor NameColour(0x30, 0x30, 0x30);
const QColor FrameColour(0xb0, 0xb0, 0xb0);

const OptionSpec SheetOptionList[] = {
    {"out", "FILE"},
    {"columns", "N"},
    {"size", "WxH"},
    {"panels", nullptr},
    JobsOption,
};

// The pictures of a skin that a cell shows, left to right: the preview
// window, and with --panels the window after a click on each settings item.
constexpr int PanelViews = 4;

struct Layout
{
    int columns = DefaultColumns;
    QSize thumbnail = DefaultThumbnail;
    int views = 1; // pictures a cell

    int viewsWidth() const { return views * thumbnail.width() + (views - 1) * PanelGap; }
    QSize cell() const { return {viewsWidth() + Margin, thumbnail.height() + NameHeight + Margin}; }
};

// A count in a coloured box, its right edge at right; returns the box's
// left edge.
int drawBadge(QPainter &painter, int right, int top, int count, QRgb colour)
{
    const QString text = QString::number(count);
    const QFontMetrics metrics(painter.font());
    const int height = metrics.height() + 2;
    const int width = std::max(height, metrics.horizontalAdvance(text) + 8);
    const QRect box(right - width, top, width, height);
    painter.fillRect(box, QColor::fromRgb(colour));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    return box.left();
}

// One row of cells, drawn as a band the sheet's width across.
class Band
{
public:
    Band(const Layout &layout, int width) : m_layout(layout), m_image(width, layout.cell().height(), QImage::Format_RGB32)
    {
        if (m_image.isNull())
            throw std::bad_alloc();
        m_image.fill(SheetColour);
        m_painter.begin(&m_image);
        QFont font = m_painter.font();
        font.setPixelSize(13);
        font.setHintingPreference(QFont::PreferFullHinting);
        m_painter.setFont(font);
    }

    // The skin in column: its views, already scaled down (thumbnails()).
    void draw(int column, const QString &label, const std::vector<QImage> &views, const FolderReport &report)
    {
        const QSize thumbnail = m_layout.thumbnail;
        const QPoint corner(Margin + column * m_layout.cell().width(), 0);
        for (int i = 0; i < int(views.size()); ++i) {
            const QPoint at = corner + QPoint(i * (thumbnail.width() + PanelGap), 0);
            m_painter.drawImage(at, views[i]);
            m_painter.setPen(FrameColour);
            m_painter.drawRect(QRect(at, thumbnail).adjusted(-1, -1, 0, 0));
        }
        // The counts that check gives, in the preview's top right corner.
        QFont bold = m_painter.font();
        bold.setBold(true);
        bold.setPixelSize(12);
        m_painter.save();
        m_painter.setFont(bold);
        int right = corner.x() + thumbnail.width() - 3;
        if (const int errors = report.count(Severity::Error))
            right = drawBadge(m_painter, right, 3, errors, BadgeRed) - 3;
        if (const int warnings = report.count(Severity::Warning))
            drawBadge(m_painter, right, 3, warnings, BadgeAmber);
        m_painter.restore();

        m_painter.setPen(NameColour);
        const QRect nameBox(corner + QPoint(0, thumbnail.height()), QSize(m_layout.viewsWidth(), NameHeight));
        m_painter.drawText(nameBox, Qt::AlignHCenter | Qt::AlignVCenter,
                           QFontMetrics(m_painter.font()).elidedText(label, Qt::ElideMiddle, nameBox.width()));
    }

    QImage finish()
    {
        m_painter.end();
        return m_image;
    }

private:
    const Layout &m_layout;
    QImage m_image;
    QPainter m_painter;
};

// The views of a skin that a cell shows, scaled down to the layout's size.
std::vector<QImage> thumbnails(const Layout &layout, const std::vector<Rendering> &views)
{
    std::vector<QImage> scaled;
    for (int i = 0; i < layout.views && i < int(views.size()); ++i)
        scaled.push_back(views[i].image.scaled(layout.thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return scaled;
}

std::optional<QSize> sizeOption(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,4})x([0-9]{1,4})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    if (size.width() < SmallestThumbnail.width() || size.height() < SmallestThumbnail.height()
        || size.width() > LargestThumbnail.width() || size.height() > LargestThumbnail.height())
        return std::nullopt;
    return size;
}

// Why a sheet of that size is not written; nothing if it may be.
std::optional<QString> tooLarge(qint64 width, qint64 height)
{
    if (width > WidestSheet)
        return QStringLiteral("the sheet would be %1 pixels wide, more than the %2 that a PNG reader can be expected "
                              "to open; give fewer --columns or a smaller --size")
            .arg(width)
            .arg(WidestSheet);
    if (width * height > LargestSheet)
        return QStringLiteral("the sheet would be %1 pixels wide and %2 high, more than the %3 pixels in all that a PNG "
                              "reader can be expected to open; give fewer FOLDERs or a smaller --size")
            .arg(width)
            .arg(height)
            .arg(LargestSheet);
    return std::nullopt;
}

} // namespace

QStringList sheetLabels(const QStringList &folders)
{
    std::vector<QStringList> parts;
    for (const QString &folder : folders)
        parts.push_back(folder.split(QLatin1Char('/'), Qt::SkipEmptyParts));
    std::vector<qsizetype> depth(parts.size(), 1);
    // One component more than the path has is the whole path from the root.
    const auto label = [&](std::size_t i) {
        if (depth[i] > parts[i].size())
            return QLatin1Char('/') + parts[i].join(QLatin1Char('/'));
        return parts[i].mid(parts[i].size() - depth[i]).join(QLatin1Char('/'));
    };
    // Each label shared by different folders grows by a component, until
    // none is shared or a shared one is whole.
    for (bool grown = true; grown;) {
        grown = false;
        std::map<QString, std::vector<std::size_t>> users;
        for (std::size_t i = 0; i < parts.size(); ++i)
            users[label(i)].push_back(i);
        for (const auto &[text, indices] : users) {
            const bool different = std::any_of(indices.begin(), indices.end(),
                                               [&](std::size_t i) { return folders[i] != folders[indices.front()]; });
            if (!different)
                continue;
            for (const std::size_t i : indices) {
                if (depth[i] <= parts[i].size()) {
                    ++depth[i];
                    grown = true;
                }
            }
        }
    }
    QStringList labels;
    for (std::size_t i = 0; i < parts.size(); ++i)
        labels.append(label(i));
    return labels;
}

std::span<const OptionSpec> sheetOptions()
{
    return SheetOptionList;
}

int runSheet(const Arguments &arguments)
{
    if (!arguments.isSet(QStringLiteral("out")))
        return usageError(arguments, QStringLiteral("option '--out' is required"));
    Layout layout;
    if (arguments.isSet(QStringLiteral("columns"))) {
        const std::optional<int> columns = wholeNumberOption(arguments, QStringLiteral("columns"), 1, MostColumns);
        if (!columns)
            return 2;
        layout.columns = *columns;
    }
    if (arguments.isSet(QStringLiteral("size"))) {
        const QString text = arguments.value(QStringLiteral("size"));
        const std::optional<QSize> size = sizeOption(text);
        if (!size)
            return usageError(arguments, QStringLiteral("option '--size' needs WIDTHxHEIGHT from %1x%2 to %3x%4, not '%5'")
                                             .arg(SmallestThumbnail.width())
                                             .arg(SmallestThumbnail.height())
                                             .arg(LargestThumbnail.width())
                                             .arg(LargestThumbnail.height())
                                             .arg(shownName(text)));
        layout.thumbnail = *size;
    }
    if (arguments.isSet(QStringLiteral("panels")))
        layout.views = PanelViews;
    const std::optional<int> threads = jobsOption(arguments);
    if (!threads)
        return 2;
    const QString out = arguments.value(QStringLiteral("out"));
    const QString outFile = absolutePath(out);

    // One folder is one skin, however it is written ("v1/Skin1", "v1/Skin1/",
    // "./v1/Skin1", a link to it): drawn once, where it is first named.
    QStringList folders;
    std::set<std::pair<dev_t, ino_t>> drawn;
    bool allFolders = true;
    for (const QString &folder : usableSkins(arguments.positionalArguments(), allFolders)) {
        struct stat status;
        if (::stat(fileNameFromText(folder).constData(), &status) == 0
            && !drawn.insert({status.st_dev, status.st_ino}).second)
            continue;
        folders.append(resolvedFolder(folder));
    }
    if (!allFolders)
        return 2;
    const QStringList labels = sheetLabels(folders);
    leaveWorkingDirectory();

    // Drawn a row of skins at a time and compressed as it goes: only the
    // rows being drawn and compressed are held, and the skins waiting for
    // their cell (a few a thread), whatever the number of skins.
    const int count = int(folders.size());
    // Never more columns than skins: empty ones would only widen the sheet.
    layout.columns = std::clamp(count, 1, arguments.isSet(QStringLiteral("columns")) ? layout.columns : DefaultColumns);
    const int rows = std::max(1, (count + layout.columns - 1) / layout.columns);
    const QSize cell = layout.cell();
    const qint64 sheetWidth = qint64(layout.columns) * cell.width() + Margin;
    if (const std::optional<QString> problem = tooLarge(sheetWidth, qint64(rows) * cell.height() + Margin)) {
        printError(QStringLiteral("%1: %2").arg(arguments.command(), *problem));
        return 2;
    }
    const int width = int(sheetWidth);
    // The compressed sheet goes straight into the file that will take the
    // old one's place: it is not held in memory, and an interrupt leaves
    // nothing behind.
    OutputFile file;
    QString error;
    if (!file.open(outFile, &error)) {
        printError(QStringLiteral("%1: %2").arg(shownName(out), error));
        return 2;
    }
    // Written by the thread that compresses; error is read once it is done.
    std::atomic<bool> written = true;
    try {
        PngStream png(width, rows * cell.height() + Margin, false, [&](QByteArrayView bytes) {
            if (written && !file.append(bytes, &error))
                written = false;
        });
        QImage top(width, Margin, QImage::Format_RGB32);
        if (top.isNull())
            throw std::bad_alloc();
        top.fill(SheetColour);
        png.addLines(top);
        // The skins are checked and their windows drawn here, a skin after
        // another, each skin's files read once for its badges and its
        // pictures. Their scaling down runs on the other threads meanwhile,
        // and each finished row is compressed on one of its own, in order;
        // the cells are drawn into their row back here, in order too.
        const int workers = *threads > 1 ? *threads : 0;
        std::optional<Band> band;
        OrderedWork compressing(workers > 0 ? 1 : 0);
        OrderedWork cells(workers);
        for (int index = 0; index < count && written; ++index) {
            const QString folder = folders[index];
            std::vector<LoadedPicture> loaded;
            FolderReport report = checkFolder(folder, &loaded);
            std::vector<Rendering> views = renderFolder(folder, layout.views == 1, false, &loaded);
            cells.add([&, index, report = std::move(report), views = std::move(views)]() -> OrderedWork::Delivery {
                const std::vector<QImage> scaled = thumbnails(layout, views);
                return [&, index, report, scaled] {
                    const int column = index % layout.columns;
                    if (column == 0)
                        band.emplace(layout, width);
                    band->draw(column, displayFileName(labels[index]), scaled, report);
                    if (column + 1 < layout.columns && index + 1 < count)
                        return;
                    compressing.add([&png, lines = band->finish()]() -> OrderedWork::Delivery {
                        png.addLines(lines);
                        return {};
                    });
                    band.reset();
                };
            });
        }
        cells.finish();
        compressing.finish();
        const bool finished = written && png.finish();
        if (written && !finished)
            error = QStringLiteral("cannot encode PNG");
        else if (written && file.commit(&error))
            return 0;
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("out of memory");
    }
    printError(QStringLiteral("%1: %2").arg(shownName(out), error));
    return 2;
}

} // namespace skintool
