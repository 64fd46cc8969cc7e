#pragma once

#include <QSize>
#include <QString>

#include <vector>

class QCommandLineParser;

namespace skintool {

enum class Severity { Warning, Error };

// One problem of a skin folder, with a stable code ("missing", "broken",
// "size", "format", "letter-case", "ambiguous", "shadowed",
// "unknown-name") and a one-line message that names the file.
struct Problem
{
    QString code;
    Severity severity;
    QString slot; // empty when the problem belongs to no slot
    QString file; // the name within the folder, empty when none
    QString message;
};

// What a slot shows after the selector closes on the folder: the file that
// ends up in it, or none (it then keeps its earlier picture).
struct SlotOutcome
{
    QString slot;
    QString file;
    QSize size;
};

struct FolderReport
{
    QString folder; // as given
    std::vector<SlotOutcome> outcomes;
    std::vector<Problem> problems;

    int count(Severity severity) const;
};

// Checks one skin folder: loads it the way the preview window does and
// looks at what every step read. Writes nothing.
FolderReport checkFolder(const QString &folder);

// "skintool check [--json] [--strict] FOLDER..."
void addCheckOptions(QCommandLineParser &parser);
int runCheck(const QCommandLineParser &parser);

} // namespace skintool
