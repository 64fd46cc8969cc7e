// Bytes to the first line of "lastpath.skin", through the text file that
// start-up reads it with.

#include "memoryfile.h"

#include "runtime/error.h"
#include "runtime/filename.h"
#include "runtime/textfile.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace {

// The first line as the file's rules define it: up to the first carriage
// return, or the whole content; a line feed is an ordinary character.
bool expectedLine(const QByteArray &bytes, QByteArray &line)
{
    const qsizetype end = bytes.indexOf('\r');
    line = end < 0 ? bytes : bytes.left(end);
    return line.size() <= TextFile::MaxLineBytes && !(end < 0 && bytes.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile file;
    const QString &path = file.hold(data, size);
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray expected;
    const bool readable = expectedLine(bytes, expected);

    TextFile text;
    bool read = false;
    QString line;
    try {
        text.openForInput(path);
        line = text.readLine();
        read = true;
        text.close();
    } catch (const RuntimeError &) {
    }
    if (read != readable || (read && line != textFromFileName(expected))) {
        std::fprintf(stderr, "first line %s, expected %s\n",
                     read ? qPrintable(line.toUtf8().toHex()) : "refused",
                     readable ? expected.toHex().constData() : "refused");
        std::abort();
    }
    return 0;
}
