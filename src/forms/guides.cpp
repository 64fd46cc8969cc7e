#include "forms/guides.h"

#include "files/filename.h"
#include "forms/formwindow.h"
#include "forms/label.h"
#include "forms/picturebox.h"

#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <QImage>

#include <algorithm>
#include <optional>
#include <tuple>
#include <vector>

namespace {

// Bright on dark: each mark is drawn in its colour beside black, and each
// tag on a dark backing, so that it reads on any picture.
constexpr QRgb SlotColour = qRgb(255, 214, 0);
constexpr QRgb KeptColour = qRgb(255, 128, 0); // a slot that keeps a picture from before
constexpr QRgb HotSpotColour = qRgb(255, 64, 255);
constexpr QRgb DrawingColour = qRgb(0, 229, 255);
constexpr QRgb CutOffColour = qRgb(255, 48, 48);
constexpr QRgb UncoveredColour = qRgb(64, 160, 255);
constexpr QRgb TagBacking = qRgba(0, 0, 0, 200);

constexpr int TagPadding = 3;
constexpr int StripeWidth = 3;
constexpr int SwatchSize = 9;
constexpr int TagGap = 3;        // between a tag and its box
constexpr int NeighbourGap = 12; // identical marks at most this far apart share a tag

// One marked place, in the coordinates of the scope being drawn: a control,
// or several identical neighbours.
struct Mark
{
    QRect box;                // all of it
    std::vector<QRect> boxes; // each control's
    bool slot = false;
    bool hotSpot = false;
    bool drawing = false;
    bool opaque = false;    // a control that hides what lies under it
    bool tagInside = false; // its tag may lie inside its box, where it hides nothing that matters
    QStringList lines;
    int keptLine = -1;            // the line that says a slot keeps its picture
    std::optional<QColor> swatch; // the colour a drawing's text is in
    QRegion cutOff;               // a slot's picture beyond its box
    QRegion uncovered;            // a slot's box beyond its picture

    QRgb colour() const
    {
        return slot ? (keptLine >= 0 ? KeptColour : SlotColour) : drawing ? DrawingColour : HotSpotColour;
    }
};

QFont tagFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1\u00d7%2").arg(size.width()).arg(size.height());
}

QString fontText(const FontDesign &font)
{
    if (font.isDefault())
        return QStringLiteral("desktop font");
    QString text = QStringLiteral("%1 %2pt").arg(QString::fromLatin1(font.face), QString::number(font.points));
    if (font.weight >= 700)
        text += QStringLiteral(" bold");
    return text;
}

QString fileText(const QString &path)
{
    return displayFileName(path.section(QLatin1Char('/'), -1));
}

// What filled a slot: its file, the built-in picture, or, when the last
// load found no file of the slot that loads, the picture kept from before.
struct SlotSource
{
    QString file; // empty: built in
    bool kept = false;
    QString keptFor; // the file that did not load, if any
    QString keptIn;  // the folder it was loaded from
};

Mark slotMark(const QRect &box, const char *name, const Picture &picture, const SlotSource &source,
              const QRect &area)
{
    Mark mark;
    mark.box = box;
    mark.boxes = {box};
    mark.slot = true;
    mark.opaque = true;
    mark.tagInside = true;
    const QRect shown(box.topLeft(), picture.size());
    mark.cutOff = (QRegion(shown) - box) & area;
    mark.uncovered = (QRegion(box) - shown) & area;
    QString from = source.file.isEmpty() ? QStringLiteral("built-in") : fileText(source.file);
    if (source.kept && !source.keptFor.isEmpty()) {
        from = QStringLiteral("kept%1: %2 does not load")
                   .arg(source.file.isEmpty() ? QStringLiteral(" built-in") : QString(), fileText(source.keptFor));
    } else if (source.kept && !source.file.isEmpty()) {
        // The skin's own file, since removed, or another skin's.
        const bool ownFile = QDir::cleanPath(source.file.section(QLatin1Char('/'), 0, -2))
                             == QDir::cleanPath(source.keptIn);
        from = ownFile ? QStringLiteral("kept: %1 is gone").arg(fileText(source.file))
                       : QStringLiteral("kept from an earlier skin");
    }
    if (source.kept && from != QLatin1String("built-in"))
        mark.keptLine = 1;
    mark.lines = {QString::fromUtf8(name), from,
                  QStringLiteral("picture %1 in box %2").arg(sizeText(picture.size()), sizeText(box.size()))};
    return mark;
}

// A control that is no slot: a hot spot, the program's own drawing, or both.
std::optional<Mark> controlMark(const ControlDesign &design, QWidget &control, const QRect &box)
{
    Mark mark;
    mark.box = box;
    mark.boxes = {box};
    mark.hotSpot = design.guide.hotSpot;
    const QString name = QString::fromUtf8(design.guide.name);
    if (auto *label = qobject_cast<Label *>(&control)) {
        // A label's text fills its box: its tag goes beside it.
        mark.drawing = !label->caption().isEmpty();
        mark.lines = {mark.drawing ? QStringLiteral("%1 \u00b7 %2 \u00b7 %3")
                                         .arg(name, fontText(design.font), label->foreColor().name())
                                   : name};
        if (mark.drawing)
            mark.swatch = label->foreColor().resolve(label->palette());
    } else {
        // Lists and the path box draw their entries in the desktop's text
        // colour on their background: the tag goes beside them where there
        // is room, else inside at the bottom, away from the first entries.
        mark.drawing = true;
        mark.opaque = true;
        mark.tagInside = true;
        mark.lines = {name, QStringLiteral("%1 \u00b7 on %2").arg(fontText(design.font), design.backColor.name())};
        mark.swatch = design.backColor.resolve(control.palette());
    }
    if (!mark.drawing && !mark.hotSpot)
        return std::nullopt;
    if (mark.hotSpot)
        mark.lines.front().prepend(QStringLiteral("click: "));
    return mark;
}

// The slots that a mark lies on: those that hold the middle of each of its
// boxes. A tag may cover these (the background behind a menu item), and
// nothing else that is marked.
bool liesOn(const Mark &mark, const Mark &slot)
{
    if (!slot.slot || &mark == &slot || slot.box == mark.box)
        return false;
    return std::all_of(mark.boxes.begin(), mark.boxes.end(),
                       [&](const QRect &box) { return slot.box.contains(box.center()); });
}

// Identical marks side by side (the menu's items, two close hot spots over
// one glyph) share one tag, unless another control lies between them.
void mergeNeighbours(std::vector<Mark> &marks)
{
    auto same = [](const Mark &a, const Mark &b) {
        return !a.slot && !b.slot && a.lines == b.lines && a.swatch == b.swatch && a.hotSpot == b.hotSpot
               && a.drawing == b.drawing && a.tagInside == b.tagInside;
    };
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < marks.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < marks.size() && !merged; ++j) {
                if (!same(marks[i], marks[j])
                    || !marks[i].box.adjusted(-NeighbourGap, -NeighbourGap, NeighbourGap, NeighbourGap)
                            .intersects(marks[j].box))
                    continue;
                const QRect both = marks[i].box | marks[j].box;
                const bool between = std::any_of(marks.begin(), marks.end(), [&](const Mark &other) {
                    return &other != &marks[i] && &other != &marks[j] && !other.slot && other.box.intersects(both);
                });
                if (between)
                    continue;
                marks[i].box = both;
                marks[i].boxes.insert(marks[i].boxes.end(), marks[j].boxes.begin(), marks[j].boxes.end());
                marks.erase(marks.begin() + std::ptrdiff_t(j));
                merged = true;
            }
        }
    }
}

QSize tagSize(const Mark &mark, const QFontMetrics &metrics)
{
    int width = 0;
    for (const QString &line : mark.lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    if (mark.swatch)
        width += SwatchSize + TagPadding;
    return {StripeWidth + TagPadding + width + TagPadding, int(mark.lines.size()) * metrics.height() + 2};
}

// Where a tag may go, in the order tried: a slot's inside its box, at a
// corner (top left first); any other's beside its box on each side in turn
// (right, left, below, above: at the usual gap, then closer), and a list's
// then inside its box at the bottom, away from its first entries.
std::vector<QRect> tagPlaces(const Mark &mark, QSize size)
{
    const QRect box = mark.box;
    std::vector<QRect> places;
    auto at = [&](int x, int y) { places.emplace_back(QPoint(x, y), size); };
    const bool roomInside = box.width() >= size.width() + 2 * TagGap && box.height() >= size.height() + 2 * TagGap;
    const int left = box.left() + TagGap, right = box.right() - TagGap - size.width() + 1;
    const int top = box.top() + TagGap, bottom = box.bottom() - TagGap - size.height() + 1;
    if (mark.slot && roomInside)
        at(left, top), at(right, top), at(left, bottom), at(right, bottom);
    const int middle = box.center().y() - size.height() / 2;
    const int alignedRight = box.right() + 1 - size.width();
    const int alignedBottom = box.bottom() + 1 - size.height();
    for (int gap : {TagGap, 1}) {
        const int rightOf = box.right() + 1 + gap, leftOf = box.left() - gap - size.width();
        const int below = box.bottom() + 1 + gap, above = box.top() - gap - size.height();
        at(rightOf, middle), at(rightOf, box.top()), at(rightOf, alignedBottom);
        at(leftOf, middle), at(leftOf, box.top()), at(leftOf, alignedBottom);
        at(box.left(), below), at(alignedRight, below);
        at(box.left(), above), at(alignedRight, above);
    }
    if (!mark.slot && mark.tagInside && roomInside)
        at(right, bottom), at(left, bottom), at(right, top), at(left, top);
    return places;
}

QRect keptInside(QRect place, const QRect &area)
{
    place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() + 1 - place.width())));
    place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() + 1 - place.height())));
    return place;
}

qint64 overlap(const QRect &a, const QRect &b)
{
    const QRect both = a & b;
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

// Each tag at the first of its places that is free: it covers no tag placed
// before it, not its own box (unless it belongs inside), and nothing else
// marked but the slots that its mark lies on. Where no place is free (a
// menu item beside a shown panel), the one that covers least of the others'
// pictures, and never their controls; only short of that, any that covers
// no tag. Hot spots are placed first, then the program's drawing, then the
// slots from the smallest: those with the fewest places first.
std::vector<QRect> placeTags(const std::vector<Mark> &marks, const QFontMetrics &metrics, const QRect &area)
{
    std::vector<std::size_t> order(marks.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto rank = [&](const Mark &mark) {
        return mark.slot ? 2 + qint64(mark.box.width()) * mark.box.height() : mark.drawing ? 1 : 0;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return rank(marks[a]) < rank(marks[b]); });

    std::vector<QRect> tags(marks.size());
    std::vector<QRect> placed;
    for (std::size_t index : order) {
        const Mark &mark = marks[index];
        // What a place covers that it should not: tags, controls (its own
        // too, unless its tag belongs inside), other pictures.
        struct Cost
        {
            qint64 tags = 0, controls = 0, pictures = 0;
            auto key() const { return std::tuple(tags, controls, pictures); }
        };
        auto costOf = [&](const QRect &place) {
            Cost cost;
            for (const QRect &tag : placed)
                cost.tags += overlap(tag, place);
            for (const Mark &other : marks) {
                if (!other.box.intersects(place))
                    continue;
                if (&other == &mark) {
                    if (!(mark.tagInside && mark.box.contains(place)))
                        cost.controls += overlap(other.box, place);
                    continue;
                }
                if (liesOn(mark, other))
                    continue;
                for (const QRect &box : other.boxes)
                    (other.slot ? cost.pictures : cost.controls) += overlap(box, place);
            }
            return cost;
        };
        std::optional<std::pair<Cost, QRect>> best;
        for (const QRect &candidate : tagPlaces(mark, tagSize(mark, metrics))) {
            const QRect place = keptInside(candidate, area);
            const Cost cost = costOf(place);
            if (!best || cost.key() < best->first.key())
                best.emplace(cost, place);
            if (cost.key() == Cost().key())
                break;
        }
        tags[index] = best->second;
        placed.push_back(tags[index]);
    }
    return tags;
}

void hatch(QPainter &painter, const QRegion &region, QRgb colour, Qt::BrushStyle lines)
{
    if (region.isEmpty())
        return;
    painter.save();
    painter.setClipRegion(region);
    painter.setBrushOrigin(1, 0);
    painter.fillRect(region.boundingRect(), QBrush(Qt::black, lines));
    painter.setBrushOrigin(0, 0);
    painter.fillRect(region.boundingRect(), QBrush(QColor::fromRgb(colour), lines));
    painter.restore();
}

void outline(QPainter &painter, const Mark &mark, const QRect &box)
{
    const QRect edge = box.adjusted(0, 0, -1, -1);
    painter.setBrush(Qt::NoBrush);
    if (mark.hotSpot) {
        painter.setPen(QPen(Qt::black, 0));
        painter.drawRect(edge);
        QPen dashes(QColor::fromRgb(HotSpotColour), 0, Qt::CustomDashLine);
        dashes.setDashPattern({3, 3});
        painter.setPen(dashes);
        painter.drawRect(edge);
        return;
    }
    painter.setPen(QPen(QColor::fromRgb(mark.slot ? SlotColour : DrawingColour), 0));
    painter.drawRect(edge);
    if (edge.width() > 2 && edge.height() > 2) {
        painter.setPen(QPen(Qt::black, 0));
        painter.drawRect(edge.adjusted(1, 1, -1, -1));
    }
}

void tag(QPainter &painter, const Mark &mark, const QRect &place, const QFontMetrics &metrics)
{
    painter.fillRect(place, QColor::fromRgba(TagBacking));
    painter.fillRect(QRect(place.topLeft(), QSize(StripeWidth, place.height())), QColor::fromRgb(mark.colour()));
    int x = place.left() + StripeWidth + TagPadding;
    if (mark.swatch) {
        const QRect swatch(x, place.top() + (metrics.height() + 2 - SwatchSize) / 2, SwatchSize, SwatchSize);
        painter.fillRect(swatch, Qt::white);
        painter.fillRect(swatch.adjusted(1, 1, -1, -1), *mark.swatch);
        x += SwatchSize + TagPadding;
    }
    int y = place.top() + 1;
    for (int i = 0; i < mark.lines.size(); ++i) {
        painter.setPen(i == mark.keptLine ? QColor::fromRgb(KeptColour) : QColor(Qt::white));
        painter.drawText(QRect(x, y, place.right() - x + 1, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         mark.lines[i]);
        y += metrics.height();
    }
}

} // namespace

Guides::Guides(FormWindow &window, const WindowDesign &design, std::span<const ControlDesign> controls)
    : QWidget(&window), m_window(window), m_design(design), m_controls(controls)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(window.rect());

    // The marks follow what the controls show: pictures, captions and
    // colours, and which controls are shown. Each of these repaints its
    // control, and the marks over it with it, but a mark may also reach
    // beyond the control (a picture cut off, a tag beside its box), or a
    // tag move. The window's own background repaints all of it.
    for (const ControlDesign &control : m_controls) {
        QWidget *widget = window.findChild<QWidget *>(QString::fromLatin1(control.name));
        if (!widget || !control.guide.name)
            continue;
        widget->installEventFilter(this);
        if (auto *label = qobject_cast<Label *>(widget))
            connect(label, &Label::looksChanged, this, qOverload<>(&QWidget::update));
        if (auto *box = qobject_cast<PictureBox *>(widget))
            connect(box, &PictureBox::pictureChanged, this, qOverload<>(&QWidget::update));
    }
    connect(&window, &FormWindow::pictureChanged, this, qOverload<>(&QWidget::update));
    raise();
}

namespace {

// The marks of scope (the window, or one of its picture boxes) and of what
// lies on it, as they are now, with identical neighbours merged.
std::vector<Mark> marksOf(FormWindow &window, const WindowDesign &windowDesign,
                          std::span<const ControlDesign> controls, QWidget &scope, const QRect &area)
{
    std::vector<Mark> marks;
    if (&scope == &window) {
        const SlotSource source{window.pictureSource(), window.pictureKept(), window.pictureKeptFor(),
                                window.pictureKeptIn()};
        marks.push_back(slotMark(scope.rect(), windowDesign.guide, window.picture(), source, area));
    }
    for (const ControlDesign &design : controls) {
        QWidget *control = window.findChild<QWidget *>(QString::fromLatin1(design.name));
        if (!control || !design.guide.name)
            continue;
        const bool inScope = control == &scope || (scope.isAncestorOf(control) && control->isVisibleTo(&scope));
        if (!inScope)
            continue;
        const QRect box(control->mapTo(&scope, QPoint(0, 0)), control->size());
        if (auto *picture = qobject_cast<PictureBox *>(control)) {
            const SlotSource source{picture->pictureSource(), picture->pictureKept(), picture->pictureKeptFor(),
                                    picture->pictureKeptIn()};
            marks.push_back(slotMark(box, design.guide.name, picture->picture(), source, area));
        } else if (std::optional<Mark> mark = controlMark(design, *control, box)) {
            marks.push_back(*mark);
        }
    }

    // A slot's losses show only where no control lies over them.
    for (Mark &mark : marks) {
        if (!mark.slot)
            continue;
        for (const Mark &other : marks) {
            if (other.opaque && mark.box.contains(other.box) && mark.box != other.box) {
                mark.cutOff -= other.box;
                mark.uncovered -= other.box;
            }
        }
    }
    mergeNeighbours(marks);
    return marks;
}

} // namespace

void Guides::draw(QPainter &painter, QWidget &scope, const QRect &area) const
{
    const std::vector<Mark> marks = marksOf(m_window, m_design, m_controls, scope, area);
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Mark &mark : marks) {
        for (const QRect &box : mark.boxes)
            outline(painter, mark, box);
    }
    for (const Mark &mark : marks) {
        hatch(painter, mark.cutOff, CutOffColour, Qt::BDiagPattern);
        hatch(painter, mark.uncovered, UncoveredColour, Qt::FDiagPattern);
    }
    painter.setFont(tagFont());
    const QFontMetrics metrics = painter.fontMetrics();
    const std::vector<QRect> places = placeTags(marks, metrics, area);
    for (std::size_t i = 0; i < marks.size(); ++i)
        tag(painter, marks[i], places[i], metrics);
    painter.restore();
}

std::vector<GuideTag> Guides::tags(QWidget &scope, const QRect &area) const
{
    // Measured as guidesPicture() draws them.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&device);
    painter.setFont(tagFont());
    const std::vector<Mark> marks = marksOf(m_window, m_design, m_controls, scope, area);
    const std::vector<QRect> places = placeTags(marks, painter.fontMetrics(), area);
    std::vector<GuideTag> tags;
    for (std::size_t i = 0; i < marks.size(); ++i)
        tags.push_back({marks[i].lines, places[i], QColor::fromRgb(marks[i].colour()), marks[i].boxes, marks[i].slot,
                        marks[i].tagInside});
    return tags;
}

void Guides::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    draw(painter, m_window, rect());
}

bool Guides::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        update();
    return QWidget::eventFilter(watched, event);
}
