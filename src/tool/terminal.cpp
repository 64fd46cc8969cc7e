#include "tool/terminal.h"

#include "runtime/filename.h"

#include <cstdio>

#include <unistd.h>

namespace skintool {

void printError(const QString &message)
{
    std::fprintf(stderr, "skintool: %s\n", displayFileName(message).toUtf8().constData());
}

void printOut(const QString &text)
{
    const QByteArray bytes = displayFileName(text).toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
}

bool colourWanted()
{
    return ::isatty(STDOUT_FILENO) && qEnvironmentVariableIsEmpty("NO_COLOR");
}

QString coloured(const QString &text, const char *sgr, bool colour)
{
    if (!colour)
        return text;
    return QStringLiteral("\033[%1m%2\033[0m").arg(QLatin1String(sgr), text);
}

} // namespace skintool
