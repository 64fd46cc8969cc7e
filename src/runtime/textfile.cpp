#include "runtime/textfile.h"

#include "runtime/error.h"
#include "runtime/filename.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TextFile::TextFile() = default;
TextFile::~TextFile() = default; // an output never closed is discarded

void TextFile::openForInput(const QString &name)
{
    close();
    const int fd = ::open(fileNameFromText(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw RuntimeError("file not found");
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw RuntimeError("not a file");
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw RuntimeError("file not readable");
    }
    m_input = std::move(file);
}

void TextFile::openForOutput(const QString &name)
{
    close();
    // Never write into a folder, FIFO or device that bears the name.
    struct stat status;
    if (::stat(fileNameFromText(name).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        throw RuntimeError("not a file");
    auto file = std::make_unique<QSaveFile>(name);
    // Where no temporary file can be made beside it (a read-only folder
    // holding a writable file), write in place.
    file->setDirectWriteFallback(true);
    // Unbuffered, so that a write that fails (a full file system) fails at
    // once and the commit discards the new file instead of putting an empty
    // one in place of the old.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw RuntimeError("file not writable");
    m_output = std::move(file);
}

QString TextFile::readLine()
{
    if (!m_input)
        throw RuntimeError("file not open");
    QByteArray line;
    char c;
    bool readAny = false;
    while (m_input->getChar(&c)) {
        readAny = true;
        if (c == '\r') {
            char next;
            if (m_input->getChar(&next) && next != '\n')
                m_input->ungetChar(next);
            return textFromFileName(line);
        }
        if (line.size() >= MaxLineBytes)
            throw RuntimeError("line too long");
        line.append(c);
    }
    if (!readAny)
        throw RuntimeError("input past end of file");
    return textFromFileName(line);
}

void TextFile::writeLine(const QString &text)
{
    if (!m_output)
        throw RuntimeError("file not open");
    const QByteArray bytes = fileNameFromText(text) + "\r\n";
    if (m_output->write(bytes) != bytes.size())
        throw RuntimeError("write failed");
}

void TextFile::close()
{
    m_input.reset();
    if (m_output) {
        const std::unique_ptr<QSaveFile> output = std::move(m_output);
        if (!output->commit())
            throw RuntimeError("write failed");
    }
}
