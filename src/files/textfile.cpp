#include "files/textfile.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/filereplacement.h"
#include "files/inputfile.h"

#include <QFile>

#include <utility>

TextFile::TextFile() = default;
TextFile::~TextFile() = default; // an output never closed is discarded

void TextFile::openForInput(const QString &name)
{
    close();
    InputFile input = InputFile::open(name);
    auto file = std::make_unique<QFile>();
    if (!file->open(input.descriptor(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw RuntimeError("file not readable");
    input.releaseDescriptor(); // the QFile's now
    m_input = std::move(file);
}

void TextFile::openForOutput(const QString &name)
{
    close();
    m_output = std::make_unique<FileReplacement>(fileNameFromText(name));
    m_written.clear();
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
    const QByteArray line = fileNameFromText(text);
    // A line that would not read back as written (it would end at its
    // carriage return, or be refused as too long) is not written, and the
    // whole write is abandoned: the file keeps what it held, instead of
    // naming another folder.
    const char *refused = line.contains('\r') ? "line holds a line end"
                          : line.size() > MaxLineBytes ? "line too long"
                                                       : nullptr;
    if (refused) {
        m_output.reset();
        m_written.clear();
        throw RuntimeError(refused);
    }
    m_written += line + "\r\n";
}

void TextFile::close()
{
    m_input.reset();
    if (m_output) {
        const std::unique_ptr<FileReplacement> output = std::move(m_output);
        output->commit(std::exchange(m_written, {}));
    }
}
