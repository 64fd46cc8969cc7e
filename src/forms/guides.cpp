#include "forms/guides.h"

#include "files/filename.h"
#include "forms/formwindow.h"
#include "forms/label.h"
#include "forms/picturebox.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// Bright on dark: each mark is drawn in its colour beside black, and each
// tag on a dark backing, so that it reads on any picture.
constexpr QRgb SlotColour = qRgb(255, 214, 0);
constexpr QRgb HotSpotColour = qRgb(255, 64, 255);
constexpr QRgb DrawingColour = qRgb(0, 229, 255);
constexpr QRgb CutOffColour = qRgb(255, 48, 48);
constexpr QRgb UncoveredColour = qRgb(64, 160, 255);
constexpr QRgb TagBacking = qRgba(0, 0, 0, 200);

constexpr int TagPadding = 3;
constexpr int StripeWidth = 3;
constexpr int SwatchSize = 9;
constexpr int TagGap = 3; // between a tag and its box

// One marked place, in the coordinates of the scope being drawn.
struct Mark
{
    QRect box;
    bool slot = false;
    bool hotSpot = false;
    bool drawing = false;
    bool opaque = false;    // a control that hides what lies under it
    bool tagInside = false; // its tag may lie inside its box, where it hides nothing that matters
    QStringList lines;
    std::optional<QColor> swatch; // the colour a drawing's text is in
    QRegion cutOff;               // a slot's picture beyond its box
    QRegion uncovered;            // a slot's box beyond its picture
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

Mark slotMark(const QRect &box, const char *name, const Picture &picture, const QString &source, const QRect &area)
{
    Mark mark;
    mark.box = box;
    mark.slot = true;
    mark.opaque = true;
    mark.tagInside = true;
    const QRect shown(box.topLeft(), picture.size());
    mark.cutOff = (QRegion(shown) - box) & area;
    mark.uncovered = (QRegion(box) - shown) & area;
    mark.lines = {QString::fromUtf8(name),
                  source.isEmpty() ? QStringLiteral("built-in") : displayFileName(source.section(QLatin1Char('/'), -1)),
                  QStringLiteral("picture %1 in box %2").arg(sizeText(picture.size()), sizeText(box.size()))};
    return mark;
}

// A control that is no slot: a hot spot, the program's own drawing, or both.
std::optional<Mark> controlMark(const ControlDesign &design, QWidget &control, const QRect &box)
{
    Mark mark;
    mark.box = box;
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
        // colour on their background; a list starts at its top.
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

QSize tagSize(const Mark &mark, const QFontMetrics &metrics)
{
    int width = 0;
    for (const QString &line : mark.lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    if (mark.swatch)
        width += SwatchSize + TagPadding;
    return {StripeWidth + TagPadding + width + TagPadding, int(mark.lines.size()) * metrics.height() + 2};
}

// Where a tag may go, best first: inside a box that may hold it and has
// room for it (a slot's tag at its top, a list's at its bottom, away from
// its first entries), else beside it.
std::vector<QRect> tagPlaces(const Mark &mark, QSize size)
{
    const QRect box = mark.box;
    std::vector<QRect> places;
    auto at = [&](int x, int y) { places.emplace_back(QPoint(x, y), size); };
    const int left = box.left() + TagGap, right = box.right() - TagGap - size.width() + 1;
    const int top = box.top() + TagGap, bottom = box.bottom() - TagGap - size.height() + 1;
    if (mark.tagInside && box.width() >= size.width() + 2 * TagGap && box.height() >= size.height() + 2 * TagGap) {
        if (mark.slot) {
            at(left, top), at(right, top), at(left, bottom), at(right, bottom);
        } else {
            at(right, bottom), at(left, bottom), at(right, top), at(left, top);
        }
    }
    const int middle = box.center().y() - size.height() / 2;
    const int below = box.bottom() + 1 + TagGap, above = box.top() - TagGap - size.height();
    const int alignedRight = box.right() + 1 - size.width();
    at(box.right() + 1 + TagGap, middle);
    at(box.left() - TagGap - size.width(), middle);
    at(box.left(), below), at(alignedRight, below);
    at(box.left(), above), at(alignedRight, above);
    return places;
}

QRect keptInside(QRect place, const QRect &area)
{
    place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() + 1 - place.width())));
    place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() + 1 - place.height())));
    return place;
}

// Each tag at the first of its places that covers no other tag and no box
// it should leave readable: the boxes of the marks that are no slots (its
// own too, unless its tag belongs inside), and for a slot also the slots
// that lie on it. Hot spots are placed first, then the program's drawing,
// then the slots from the smallest: those with the fewest places first.
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
        auto coversTag = [&](const QRect &place) {
            return std::any_of(placed.begin(), placed.end(), [&](const QRect &tag) { return tag.intersects(place); });
        };
        // Boxes of other marks that are no slots, its own where the tag
        // does not belong, and with slotsToo the slots that lie on a slot.
        auto coversBox = [&](const QRect &place, bool slotsToo) {
            return std::any_of(marks.begin(), marks.end(), [&](const Mark &other) {
                if (!other.box.intersects(place))
                    return false;
                if (&other == &mark)
                    return !(mark.tagInside && mark.box.contains(place));
                if (!other.slot)
                    return true;
                return slotsToo && mark.slot && mark.box.contains(other.box) && mark.box != other.box;
            });
        };
        std::vector<QRect> places;
        for (const QRect &place : tagPlaces(mark, tagSize(mark, metrics)))
            places.push_back(keptInside(place, area));
        // Short of a free place, a tag may cover the slots that lie on its
        // own (the background's under a panel), then any box, never a tag.
        auto found = places.end();
        for (int strictness = 2; strictness >= 0 && found == places.end(); --strictness) {
            found = std::find_if(places.begin(), places.end(), [&](const QRect &place) {
                return !coversTag(place) && (strictness == 0 || !coversBox(place, strictness == 2));
            });
        }
        tags[index] = found != places.end() ? *found : places.front();
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

void outline(QPainter &painter, const Mark &mark)
{
    const QRect edge = mark.box.adjusted(0, 0, -1, -1);
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
    const QRgb stripe = mark.slot ? SlotColour : mark.drawing ? DrawingColour : HotSpotColour;
    painter.fillRect(place, QColor::fromRgba(TagBacking));
    painter.fillRect(QRect(place.topLeft(), QSize(StripeWidth, place.height())), QColor::fromRgb(stripe));
    int x = place.left() + StripeWidth + TagPadding;
    if (mark.swatch) {
        const QRect swatch(x, place.top() + (metrics.height() + 2 - SwatchSize) / 2, SwatchSize, SwatchSize);
        painter.fillRect(swatch, Qt::white);
        painter.fillRect(swatch.adjusted(1, 1, -1, -1), *mark.swatch);
        x += SwatchSize + TagPadding;
    }
    painter.setPen(Qt::white);
    int y = place.top() + 1;
    for (const QString &line : mark.lines) {
        painter.drawText(QRect(x, y, place.right() - x + 1, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
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
    raise();
}

void Guides::draw(QPainter &painter, QWidget &scope, const QRect &area) const
{
    std::vector<Mark> marks;
    if (&scope == &m_window)
        marks.push_back(slotMark(scope.rect(), m_design.guide, m_window.picture(), m_window.pictureSource(), area));
    for (const ControlDesign &design : m_controls) {
        QWidget *control = m_window.findChild<QWidget *>(QString::fromLatin1(design.name));
        if (!control || !design.guide.name)
            continue;
        const bool inScope = control == &scope || (scope.isAncestorOf(control) && control->isVisibleTo(&scope));
        if (!inScope)
            continue;
        const QRect box(control->mapTo(&scope, QPoint(0, 0)), control->size());
        if (auto *picture = qobject_cast<PictureBox *>(control))
            marks.push_back(slotMark(box, design.guide.name, picture->picture(), picture->pictureSource(), area));
        else if (std::optional<Mark> mark = controlMark(design, *control, box))
            marks.push_back(*mark);
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

    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Mark &mark : marks)
        outline(painter, mark);
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
