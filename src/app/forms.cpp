#include "app/forms.h"

#include "files/error.h"
#include "forms/dirlistbox.h"
#include "pictures/picturememory.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <QApplication>
#include <QIcon>
#include <QPixmapCache>

#include <utility>

namespace {

// Owned here until releaseForms(), and never by a static destructor: a
// process that ends without releasing them (Qt's X11 connection calls
// exit() when the X server goes away) leaves them to the system, since
// deleting them would talk to a connection that is gone.
Form1 *theForm1 = nullptr;
Form2 *theForm2 = nullptr;

} // namespace

Form1 &form1()
{
    if (!theForm1)
        theForm1 = new Form1;
    return *theForm1;
}

Form2 &form2()
{
    if (!theForm2)
        theForm2 = new Form2;
    return *theForm2;
}

void startProgram(const QString &skinFolder)
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.bmp")));
    QApplication::setQuitOnLastWindowClosed(false); // the forms decide when the program ends
    setFreedPictureMemory(FreedPictureMemory::GoesBackToTheSystem);
    // The style caches the small pieces it draws keyed by palette, and each
    // new load of the selector brings new palettes, so its entries are never
    // drawn again: without the cache memory stays level over any number of
    // loads, and what the style draws is the same.
    QPixmapCache::setCacheLimit(0);
    form1().load();
    // A folder given at start is applied before the window shows, the way
    // closing the selector on it would: the folder list goes there, and the
    // close remembers and applies it.
    if (!skinFolder.isEmpty())
        SkipOnFailure()([&] { form2().closeOn(skinFolder); });
    form1().show();
}

void releaseForms()
{
    delete std::exchange(theForm2, nullptr);
    delete std::exchange(theForm1, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
