#include "commandline/messages.h"

#include "files/filename.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

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

void printError(const char *program, const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", program, displayFileName(message).toUtf8().constData());
}

int usageError(const char *program, const QString &message, const char *usage)
{
    printError(program, message);
    std::fputs(usage, stderr);
    return 2;
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

QString failureReason(const RuntimeError &failure)
{
    QString reason = QString::fromUtf8(failure.what());
    if (failure.systemError())
        reason += QStringLiteral(": ") + systemReason(failure.systemError());
    return reason;
}
