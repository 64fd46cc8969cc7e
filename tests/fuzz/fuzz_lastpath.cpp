// Bytes to the first line of "lastpath.skin", through the text file that
// start-up reads it with: the line comes back as exactly the bytes it holds.
// And bytes as the folder that the selector writes on closing: a line is
// written only where it reads back as exactly those bytes; otherwise the
// file keeps what it held.

#include "memoryfile.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/textfile.h"

#include <QByteArray>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// The first line as the file's rules define it: up to the first carriage
// return, or the whole content; a line feed is an ordinary character.
bool expectedLine(const QByteArray &bytes, QByteArray &line)
{
    const qsizetype end = bytes.indexOf('\r');
    line = end < 0 ? bytes : bytes.left(end);
    return line.size() <= TextFile::MaxLineBytes && !(end < 0 && bytes.isEmpty());
}

[[noreturn]] void fail(const char *what, const QByteArray &got, const QByteArray &expected)
{
    std::fprintf(stderr, "%s %s, expected %s\n", what, got.toHex().constData(), expected.toHex().constData());
    std::abort();
}

void checkRead(const QString &path, const QByteArray &bytes)
{
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
    if (read != readable || (read && fileNameFromText(line) != expected))
        fail("first line", read ? fileNameFromText(line) : "refused", readable ? expected : "refused");
}

// A folder on a memory file system where there is one, for the writes.
struct Folder
{
    QByteArray path;

    Folder()
    {
        QByteArray pattern = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm/fuzz-lastpath-XXXXXX"
                                                                       : "/tmp/fuzz-lastpath-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }

    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path.constData(), ignored);
    }
};

void checkWrite(const QByteArray &bytes)
{
    static const Folder folder;
    static const QByteArray previous = "/the/previous/folder\r\n";
    const QString name = textFromFileName(folder.path + "/lastpath.skin");
    {
        TextFile file;
        file.openForOutput(name);
        file.writeLine(textFromFileName(previous.chopped(2)));
        file.close();
    }

    const bool writable = !bytes.contains('\r') && bytes.size() <= TextFile::MaxLineBytes;
    bool written = false;
    TextFile file;
    try {
        file.openForOutput(name);
        file.writeLine(textFromFileName(bytes));
        file.close();
        written = true;
    } catch (const RuntimeError &) {
    }
    if (written != writable)
        fail(written ? "written" : "refused", bytes, bytes);
    QByteArray content;
    {
        TextFile in;
        in.openForInput(name);
        content = fileNameFromText(in.readLine());
    }
    if (content != (written ? bytes : previous.chopped(2)))
        fail("read back", content, written ? bytes : previous.chopped(2));
    if (QDir(QString::fromLocal8Bit(folder.path)).entryList(QDir::Files | QDir::Hidden).size() != 1)
        fail("left files beside", bytes, {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile file;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkRead(file.hold(data, size), bytes);
    checkWrite(bytes);
    return 0;
}
