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

// Characters that must not reach a terminal as they are: controls, and
// those that reverse the order in which text shows.
bool needsEscape(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f) || (c >= 0x202a && c <= 0x202e)
           || (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f || c == 0x061c;
}

// The name with every character that needsEscape() written as a C escape;
// when quoting, also its quotes and backslashes, to go between quotes.
QString escaped(const QString &name, bool quoting)
{
    QString out;
    out.reserve(name.size());
    for (const QChar character : name) {
        const char16_t c = character.unicode();
        if (quoting && (c == '"' || c == '\\')) {
            out += QLatin1Char('\\');
            out += character;
        } else if (!needsEscape(c)) {
            out += character;
        } else if (c == '\n') {
            out += QLatin1String("\\n");
        } else if (c == '\t') {
            out += QLatin1String("\\t");
        } else if (c == '\r') {
            out += QLatin1String("\\r");
        } else if (c < 0x80) {
            out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

} // namespace

void printError(const QString &message)
{
    std::fprintf(stderr, "skintool: %s\n", displayFileName(message).toUtf8().constData());
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

QString shownName(const QString &name)
{
    const bool plain = !name.isEmpty() && std::none_of(name.begin(), name.end(), [](QChar c) {
        return needsEscape(c.unicode()) || c.isSpace() || c == QLatin1Char('"') || c == QLatin1Char('\'')
               || c == QLatin1Char('\\');
    });
    return plain ? name : QLatin1Char('"') + escaped(name, true) + QLatin1Char('"');
}

QString escapedName(const QString &name)
{
    return escaped(name, false);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace skintool
