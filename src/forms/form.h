#pragma once

#include "files/error.h"
#include "forms/design.h"
#include "forms/guides.h"
#include "pictures/picture.h"

#include <QKeySequence>
#include <QObject>
#include <QShortcut>

#include <functional>
#include <span>
#include <vector>

class Folder;
class FormWindow;
class Guides;
class QWidget;

// One window of the program. The Form object lives as long as the program
// and holds the window's module-level variables; the window and its
// controls exist only while the form is loaded.
//
// Loading builds window and controls from the design, hidden, wires their
// events and runs Form_Load. Referring to a control of an unloaded form
// loads it first, so the reference completes only after Form_Load has run.
// Unloading runs Form_Unload while everything is still usable, then
// discards the window, its controls and all that was done to them. When no
// form is loaded any more, the program ends.
class Form
{
public:
    virtual ~Form();
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;

    bool isLoaded() const { return m_window != nullptr; }
    void load();
    // Builds the window and its controls from the design and wires their
    // events, but runs no Form_Load: the window exactly as designed. For
    // drawing a window apart from the program's start-up; a later load()
    // finds the form loaded.
    void loadDesign();
    void show();   // loads if need be, then shows and brings to the front
    void unload(); // does nothing on an unloaded form
    // Makes a loaded form's window the active one, the one that keys go to,
    // without raising it; does nothing on an unloaded form. Without a
    // window manager nobody else does when the window above it goes.
    void activate();

    int top();
    int left();
    void setTop(int y);
    void setLeft(int x);
    Picture picture();
    // The window background, read from the file at source (empty for none).
    void setPicture(const Picture &picture, const QString &source = {});
    // LoadPicture of a folder's entry into the window background, with the
    // decoding left until the background is drawn or asked for: the file is
    // read now (and a file that cannot be read raises RuntimeError), and
    // bytes that do not decode then leave the background as it was.
    void loadPicture(Folder &folder, const QString &name);
    // The window background stays although a skin was loaded into it
    // (FormWindow::keepPicture).
    void keepPicture(const QString &folder, const QString &broken);

    // The guides over the window (forms/guides.h). Off until turned on;
    // the setting belongs to the form, so a window loaded anew shows them
    // as the last one did.
    bool guidesShown() const { return m_guidesShown; }
    void setGuidesShown(bool shown);
    // The guides of control (the window, or one of its picture boxes) alone,
    // on a transparent picture of the given size, whether shown or not.
    QImage guidesPicture(QWidget &control, QSize size);
    // The tags of that picture, as they lie on it.
    std::vector<GuideTag> guideTags(QWidget &control, QSize size);

    // Puts back the pictures of the design: the window's background and
    // every picture box's, as they were when the form was loaded.
    void restoreDesignPictures();

    // A left click at the middle of one of the window's controls, delivered
    // to whatever a user's click there would reach; for drawing the windows
    // apart from the screen.
    void click(QWidget &control);
    // The window as it draws itself now, shown or not.
    QImage snapshot();

    // The window itself, loading it if need be; for the tests and the runtime.
    QWidget &window();

protected:
    Form(const WindowDesign &window, std::span<const ControlDesign> controls);

    template <class Control>
    Control &control(const char *name);

    // Connects a control's event to a handler of the derived form. A failure
    // that escapes the handler ends the handler, silently. The connection
    // is cut when the form unloads: the controls outlive the unload until
    // the event loop deletes them, and whatever they still send then must
    // not load the form again.
    template <class Control, class Signal, class Derived>
    void on(Control &control, Signal signal, void (Derived::*handler)());

    // Connects a key, pressed while the window is active (whichever of its
    // controls has the focus), to a handler of the derived form, in the
    // same way as on().
    template <class Derived>
    void onKey(const QKeySequence &key, void (Derived::*handler)());

    // Connects a folder dropped on the window (by a file manager, say) to a
    // handler of the derived form, which receives its path, in the same way
    // as on(). The window takes only a drag of one item that the folder
    // list would take (files/places.h existingFolder).
    template <class Derived>
    void onDrop(void (Derived::*handler)(const QString &path));

    // A handler for a key: turns the guides on or off.
    void toggleGuides() { setGuidesShown(!m_guidesShown); }

    virtual void wireEvents() {}
    virtual void Form_Load() {}
    virtual void Form_Unload(int &cancel) { (void)cancel; }
    // Runs when show() has made the hidden window visible.
    virtual void shown() {}

private:
    QWidget *findControl(const char *name);
    QShortcut &keyOfWindow(const QKeySequence &key);
    void connectDrop(std::function<void(const QString &)> handler);
    void build();

    const WindowDesign &m_design;
    std::span<const ControlDesign> m_controls;
    FormWindow *m_window = nullptr;
    Guides *m_guides = nullptr; // over m_window
    bool m_guidesShown = false;
    bool m_unloading = false;
    std::vector<QMetaObject::Connection> m_events; // made by on() since the load
};

template <class Control>
Control &Form::control(const char *name)
{
    return *static_cast<Control *>(findControl(name));
}

template <class Control, class Signal, class Derived>
void Form::on(Control &control, Signal signal, void (Derived::*handler)())
{
    auto *self = static_cast<Derived *>(this);
    m_events.push_back(QObject::connect(&control, signal, &control, [self, handler] {
        SkipOnFailure()([&] { (self->*handler)(); });
    }));
}

template <class Derived>
void Form::onDrop(void (Derived::*handler)(const QString &path))
{
    auto *self = static_cast<Derived *>(this);
    connectDrop([self, handler](const QString &path) { SkipOnFailure()([&] { (self->*handler)(path); }); });
}

template <class Derived>
void Form::onKey(const QKeySequence &key, void (Derived::*handler)())
{
    auto *self = static_cast<Derived *>(this);
    QShortcut &shortcut = keyOfWindow(key);
    m_events.push_back(QObject::connect(&shortcut, &QShortcut::activated, &shortcut, [self, handler] {
        SkipOnFailure()([&] { (self->*handler)(); });
    }));
}
