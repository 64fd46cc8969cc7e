#include "app/forms.h"

#include "preview/form1.h"
#include "selector/form2.h"

#include <QApplication>
#include <QIcon>

#include <memory>

namespace {

std::unique_ptr<Form1> theForm1;
std::unique_ptr<Form2> theForm2;

} // namespace

Form1 &form1()
{
    if (!theForm1)
        theForm1 = std::make_unique<Form1>();
    return *theForm1;
}

Form2 &form2()
{
    if (!theForm2)
        theForm2 = std::make_unique<Form2>();
    return *theForm2;
}

void startProgram()
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.bmp")));
    QApplication::setQuitOnLastWindowClosed(false); // the forms decide when the program ends
    form1().load();
    form1().show();
}

void releaseForms()
{
    theForm2.reset();
    theForm1.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
