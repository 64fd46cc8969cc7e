#pragma once

#include <QString>

#include <memory>

class QFile;
class QSaveFile;

// A sequential text file, opened either for reading or for writing.
// Lines end at a carriage return (a line feed right behind it belongs to the
// line end) or at the end of the file; a lone line feed is an ordinary
// character. Every failing operation raises RuntimeError.
//
// Writing keeps the old content until close() has the new one complete, so
// a write that fails half-way leaves the file as it was.
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
    void writeLine(const QString &text); // the text, then CR LF
    void close();                        // does nothing if nothing is open

private:
    std::unique_ptr<QFile> m_input;
    std::unique_ptr<QSaveFile> m_output;
};
