#pragma once

#include "tool/commandline.h"

#include "skin/skinfiles.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <span>
#include <vector>

namespace skintool {

// How much a problem matters, the least first: a note names something the
// program passes over on purpose, and fails nothing.
enum class Severity { Note, Warning, Error };

// One problem of a skin folder, with a stable code ("no-skin", "missing",
// "broken", "size", "format", "letter-case", "ambiguous", "shadowed",
// "unknown-name") and a one-line message that names the file, as text
// output shows names (terminal.h's shownName).
struct Problem
{
    QString code;
    Severity severity;
    QString slot; // empty when the problem belongs to no slot
    QString file; // the name within the folder, empty when none
    QString message;
    QString hint; // how to fix it, where there is one fix for all
};

// What a slot shows after the selector closes on the folder: the file that
// ends up in it, or none (it then keeps its earlier picture); the picture's
// size, and the part of it that the slot shows.
struct SlotOutcome
{
    QString slot;
    QString file;
    QSize size;
    QSize shown;
};

struct FolderReport
{
    QString folder; // as given
    std::vector<SlotOutcome> outcomes;
    std::vector<Problem> problems; // errors first, notes last

    int count(Severity severity) const;
};

// A picture that a loading step put into its slot, in the order of the steps.
struct LoadedPicture
{
    Slot slot;
    QImage picture;
};

// Checks one skin folder: loads it the way the preview window does and
// looks at what every step read. Writes nothing. The pictures that loaded,
// if wanted, go into loaded: what ApplySkin would put into the preview
// window, without reading the files again.
FolderReport checkFolder(const QString &folder, std::vector<LoadedPicture> *loaded = nullptr);

// How check prints its reports.
enum class ReportForm {
    Text,    // a block a folder, for people
    Json,    // one document
    OneLine, // one line a problem: "PATH: error: CODE: message"
};

struct CheckOptions
{
    ReportForm form = ReportForm::Text;
    bool strict = false; // a warning fails the check too
};

// What "skintool check" does with its FOLDERs, callable again for a later
// look at the same folders: checks each (one that cannot be read is named
// on standard error and left out), prints the reports on standard output,
// and returns the exit status: 2 for a folder that cannot be read or output
// that cannot be written, else 1 for an error (or a warning when strict),
// else 0.
int checkFolders(const QStringList &folders, const CheckOptions &options);

// "skintool check [--json | --oneline] [--strict] FOLDER..."
std::span<const OptionSpec> checkOptions();
int runCheck(const Arguments &arguments);

} // namespace skintool
