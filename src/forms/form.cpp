#include "forms/form.h"

#include "files/folder.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "forms/formwindow.h"
#include "forms/guides.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "forms/textbox.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <map>
#include <vector>

namespace {

QFont fontFrom(const FontDesign &design, const QFont &fallback)
{
    if (design.isDefault())
        return fallback;
    QFont font(QString::fromLatin1(design.face));
    font.setPointSizeF(design.points);
    font.setWeight(design.weight >= 700 ? QFont::Bold : QFont::Normal);
    // Whole-pixel glyph advances, as the layouts were measured with: texts
    // that were designed to fit their boxes then fit them here too.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QWidget *makeControl(const ControlDesign &design, QWidget *parent)
{
    switch (design.kind) {
    case ControlKind::Label: {
        auto *label = new Label(parent);
        label->setCaption(QString::fromUtf8(design.text));
        label->setForeColor(design.foreColor);
        return label;
    }
    case ControlKind::PictureBox: {
        auto *box = new PictureBox(parent);
        if (design.picture)
            box->setBuiltInPicture(QString::fromLatin1(design.picture));
        return box;
    }
    case ControlKind::TextBox: {
        auto *box = new TextBox(parent);
        box->setBackColor(design.backColor);
        box->setText(QString::fromUtf8(design.text));
        return box;
    }
    case ControlKind::DirListBox: {
        auto *list = new DirListBox(parent);
        list->setBackColor(design.backColor);
        return list;
    }
    case ControlKind::FileListBox: {
        auto *list = new FileListBox(parent);
        list->setBackColor(design.backColor);
        return list;
    }
    }
    return nullptr;
}

// Labels are drawn on their parent's surface, below every windowed control
// (picture boxes, lists, text boxes), which also take the labels' clicks
// wherever they cover them.
void raiseWindowedControls(QWidget *container)
{
    for (QObject *child : container->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || qobject_cast<Label *>(widget))
            continue;
        widget->raise();
        raiseWindowedControls(widget);
    }
}

} // namespace

Form::Form(const WindowDesign &window, std::span<const ControlDesign> controls)
    : m_design(window), m_controls(controls)
{
}

Form::~Form()
{
    // Only reached when the program-wide forms are released, while the
    // application still exists.
    delete m_window;
}

void Form::load()
{
    if (isLoaded())
        return;
    loadDesign();
    Form_Load();
}

void Form::loadDesign()
{
    if (isLoaded())
        return;
    build();
    wireEvents();
}

void Form::build()
{
    m_window = new FormWindow(this);
    m_window->setWindowTitle(QString::fromUtf8(m_design.caption));
    m_window->setWindowIcon(QIcon(QString::fromLatin1(m_design.icon)));
    m_window->setFixedSize(m_design.clientSize);
    m_window->placeAt(m_design.position);
    m_window->setBuiltInPicture(QString::fromLatin1(m_design.picture));

    std::map<std::string, QWidget *> made;
    std::vector<std::pair<int, QWidget *>> tabOrder;
    for (const ControlDesign &design : m_controls) {
        QWidget *parent = design.parent ? made.at(design.parent) : m_window;
        QWidget *control = makeControl(design, parent);
        control->setObjectName(QString::fromLatin1(design.name));
        control->setGeometry(design.geometry);
        control->setFont(fontFrom(design.font, control->font()));
        control->setFocusPolicy(design.tabIndex >= 0 ? Qt::StrongFocus : Qt::NoFocus);
        control->setVisible(design.visible);
        if (design.tabIndex >= 0)
            tabOrder.emplace_back(design.tabIndex, control);
        made[design.name] = control;
    }
    raiseWindowedControls(m_window);
    m_guides = new Guides(*m_window, m_design, m_controls);
    m_guides->setVisible(m_guidesShown);

    std::sort(tabOrder.begin(), tabOrder.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
    if (!tabOrder.empty())
        m_window->setFocusProxy(tabOrder.front().second);
}

void Form::show()
{
    load();
    const bool wasVisible = m_window->isVisible();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    if (!wasVisible && m_window->focusProxy())
        m_window->focusProxy()->setFocus(Qt::ActiveWindowFocusReason);
    if (!wasVisible)
        SkipOnFailure()([&] { shown(); });
}

void Form::activate()
{
    if (m_window)
        m_window->activateWindow();
}

void Form::unload()
{
    if (!isLoaded() || m_unloading)
        return;
    m_unloading = true;
    int cancel = 0;
    Form_Unload(cancel);
    m_unloading = false;
    if (cancel != 0)
        return;

    for (const QMetaObject::Connection &event : m_events)
        QObject::disconnect(event);
    m_events.clear();

    // The unload may have been asked for from inside one of the window's
    // own event handlers, so the window goes at the next turn of the event
    // loop; from now on it belongs to no form.
    FormWindow *window = m_window;
    m_window = nullptr;
    m_guides = nullptr;
    window->detach();
    window->hide();
    window->deleteLater();

    if (!FormWindow::anyLoaded())
        QCoreApplication::exit(0);
}

QWidget &Form::window()
{
    load();
    return *m_window;
}

void Form::connectDrop(std::function<void(const QString &)> handler)
{
    load();
    m_window->setAcceptDrops(true);
    m_events.push_back(QObject::connect(m_window, &FormWindow::dropped, m_window, std::move(handler)));
}

int Form::top()
{
    return window().y();
}

int Form::left()
{
    return window().x();
}

void Form::setTop(int y)
{
    window().move(window().x(), y);
}

void Form::setLeft(int x)
{
    window().move(x, window().y());
}

Picture Form::picture()
{
    load();
    return m_window->picture();
}

void Form::setPicture(const Picture &picture, const QString &source)
{
    load();
    m_window->setPicture(picture, source);
}

void Form::loadPicture(Folder &folder, const QString &name)
{
    const QByteArray bytes = ReadPictureFile(folder, name);
    load();
    m_window->setEncodedPicture(bytes, folder.pathOf(name));
}

void Form::keepPicture(const QString &folder, const QString &broken)
{
    load();
    m_window->keepPicture(folder, broken);
}

void Form::setGuidesShown(bool shown)
{
    m_guidesShown = shown;
    if (m_guides)
        m_guides->setVisible(shown);
}

QImage Form::guidesPicture(QWidget &control, QSize size)
{
    load();
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    m_guides->draw(painter, control, QRect(QPoint(0, 0), size));
    return picture;
}

std::vector<GuideTag> Form::guideTags(QWidget &control, QSize size)
{
    load();
    return m_guides->tags(control, QRect(QPoint(0, 0), size));
}

void Form::restoreDesignPictures()
{
    load();
    m_window->setBuiltInPicture(QString::fromLatin1(m_design.picture));
    for (const ControlDesign &design : m_controls) {
        if (design.kind == ControlKind::PictureBox && design.picture)
            control<PictureBox>(design.name).setBuiltInPicture(QString::fromLatin1(design.picture));
    }
}

void Form::click(QWidget &control)
{
    QWidget &window = this->window();
    const QPoint point = control.mapTo(&window, control.rect().center());
    QWidget *hit = window.childAt(point);
    if (!hit)
        hit = &window;
    const QPointF local = hit->mapFrom(&window, point);
    const QPointF global = window.mapToGlobal(QPointF(point));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(hit, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(hit, &release);
}

QImage Form::snapshot()
{
    return window().grab().toImage();
}

QShortcut &Form::keyOfWindow(const QKeySequence &key)
{
    load();
    auto *shortcut = new QShortcut(key, m_window);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(false);
    return *shortcut;
}

QWidget *Form::findControl(const char *name)
{
    load();
    return m_window->findChild<QWidget *>(QString::fromLatin1(name));
}
