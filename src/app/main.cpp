#include "app/forms.h"
#include "app/windowsystem.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (!useReachableWindowSystem())
        return 1;
    QApplication app(argc, argv);
    startProgram();
    const int status = QApplication::exec();
    releaseForms();
    return status;
}
