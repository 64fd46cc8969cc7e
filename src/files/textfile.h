#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class FileReplacement;
class QFile;

// A sequential text file, opened either for reading or for writing.
// Lines end at a carriage return (a line feed right behind it belongs to the
// line end) or at the end of the file; a lone line feed is an ordinary
// character. Every failing operation raises RuntimeError.
//
// Writing keeps the old content until close() puts the new one in place as
// a whole (files/filereplacement.h), so a write that fails, at any point,
// leaves the file as it was. A line that could not be read back as written
// (one holding a carriage return, or longer than MaxLineBytes) fails, and
// abandons the whole write.
class TextFile
{
public:
    TextFile();
    ~TextFile();

    // Longest line readLine() takes; a longer one fails instead of filling memory.
    static constexpr qint64 MaxLineBytes = 64 * 1024;

    void openForInput(const QString &name);
    void openForOutput(const QString &name); // creates or replaces on close
    QString readLine();
    void writeLine(const QString &text); // the text, then CR LF; see above
    void close();                        // does nothing if nothing is open

private:
    std::unique_ptr<QFile> m_input;
    std::unique_ptr<FileReplacement> m_output;
    QByteArray m_written; // what close() puts in place
};
