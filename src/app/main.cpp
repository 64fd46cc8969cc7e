#include "app/forms.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    startProgram();
    const int status = QApplication::exec();
    releaseForms();
    return status;
}
