#include "app/commandline.h"
#include "app/forms.h"
#include "app/windowsystem.h"
#include "files/archive.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CommandLine command = readCommandLine(argc, argv);
    if (command.exitStatus)
        return *command.exitStatus;
    if (!useReachableWindowSystem(SessionVariables::fromEnvironment(command.qtPlatform, command.qtDisplay)))
        return 1;
    nameLocalTimeZone();
    QApplication app(command.qtArgc, command.qtArgv.data());
    startProgram(command.skinFolder);
    const int status = QApplication::exec();
    releaseForms();
    return status;
}
