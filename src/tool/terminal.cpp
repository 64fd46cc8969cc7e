#include "tool/terminal.h"

#include "files/filename.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/ioctl.h>
#include <unistd.h>

namespace skintool {

namespace {

// The errno of the first write to standard output that failed, or 0.
int outputError = 0;
bool outputErrorSaid = false;

} // namespace

void printError(const QString &message)
{
    ::printError(ProgramName, message);
}

void printOut(const QString &text)
{
    if (outputError)
        return;
    const QByteArray bytes = displayFileName(text).toUtf8();
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size()))
        outputError = errno ? errno : EIO;
}

bool finishOutput()
{
    if (!outputError && std::fflush(stdout) != 0)
        outputError = errno ? errno : EIO;
    if (outputError && !outputErrorSaid) {
        printError(QStringLiteral("standard output: %1").arg(systemReason(outputError)));
        outputErrorSaid = true;
    }
    return !outputError;
}

bool closeOutput()
{
    bool ok = finishOutput();
    // What the system says only at the close (a file system that writes
    // late) counts too.
    if (std::fclose(stdout) != 0 && ok) {
        outputError = errno ? errno : EIO;
        ok = finishOutput();
    }
    return ok;
}

bool colourWanted()
{
    return ::isatty(STDOUT_FILENO) && qEnvironmentVariableIsEmpty("NO_COLOR");
}

int terminalColumns()
{
    if (!::isatty(STDOUT_FILENO))
        return 0;
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40)
        return size.ws_col;
    return 80;
}

QString coloured(const QString &text, const char *sgr, bool colour)
{
    if (!colour)
        return text;
    return QStringLiteral("\033[%1m%2\033[0m").arg(QLatin1String(sgr), text);
}

} // namespace skintool
